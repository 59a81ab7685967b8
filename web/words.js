// The page's words in its reader's language: the first of the browser's
// languages that the page has, else English. Each language's words are one
// file under web/lang/, with every key of English's and its placeholders
// ("{name}"). English is the page's own, in its script from the start; the
// others arrive after the program, in one data block of the page, and are
// taken in by cardTakeLanguages. The card's own greeting is not among them:
// it is the card's, drawn in its picture.
import en from './lang/en.json';

export const CARD_LANGUAGES = { en };
const CARD_RIGHT_TO_LEFT = ['ar', 'he'];
// Chinese in traditional characters, which the page does not have.
const CARD_TRADITIONAL = ['hant', 'tw', 'hk', 'mo'];

// Every language's words (an object of them by language code), beside English's.
export function cardTakeLanguages(languages) {
  for (const [language, words] of Object.entries(languages))
    if (language != 'en' && words && typeof words == 'object')
      CARD_LANGUAGES[language] = { ...en, ...words };  // a key missing in a saved file's copy is said in English
}

// The page's language for the browser's (language tags, best first).
export function cardLanguageFor(tags) {
  for (const tag of tags) {
    const [first, ...rest] = String(tag).toLowerCase().split(/[-_]/);
    const language = first == 'iw' ? 'he' : first;  // Hebrew's old code
    if (language == 'zh' && rest.some((part) => CARD_TRADITIONAL.includes(part)))
      continue;
    if (Object.hasOwn(CARD_LANGUAGES, language))
      return language;
  }
  return 'en';
}

export function cardDirectionOf(language) {
  return CARD_RIGHT_TO_LEFT.includes(language) ? 'rtl' : 'ltr';
}

// The text of KEY in LANGUAGE, its placeholders filled from VALUES.
export function cardSay(language, key, values = {}) {
  return CARD_LANGUAGES[language][key].replace(/\{(\w+)\}/g, (all, name) => (Object.hasOwn(values, name) ? String(values[name]) : all));
}

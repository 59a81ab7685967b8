// The page's words in its reader's language: the first of the browser's
// languages that the page has, else English. Each language's words are one
// file under web/lang/, with every key of English's and its placeholders
// ("{name}"). The card's own greeting is not among them: it is the card's,
// drawn in its picture.
import ar from './lang/ar.json';
import de from './lang/de.json';
import el from './lang/el.json';
import en from './lang/en.json';
import es from './lang/es.json';
import fr from './lang/fr.json';
import he from './lang/he.json';
import hi from './lang/hi.json';
import it from './lang/it.json';
import ja from './lang/ja.json';
import ko from './lang/ko.json';
import nl from './lang/nl.json';
import pl from './lang/pl.json';
import pt from './lang/pt.json';
import ru from './lang/ru.json';
import tr from './lang/tr.json';
import uk from './lang/uk.json';
import zh from './lang/zh.json';

export const CARD_LANGUAGES = { ar, de, el, en, es, fr, he, hi, it, ja, ko, nl, pl, pt, ru, tr, uk, zh };
const CARD_RIGHT_TO_LEFT = ['ar', 'he'];
// Chinese in traditional characters, which the page does not have.
const CARD_TRADITIONAL = ['hant', 'tw', 'hk', 'mo'];

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

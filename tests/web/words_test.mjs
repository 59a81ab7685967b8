// The page's words in every language it has (web/lang/*.json), and which
// one a reader gets. Usage: node words_test.mjs (after tools/build-web,
// which installs the page's bundler: words.js imports JSON as the bundle does).
import { buildSync } from '../../web/node_modules/esbuild/lib/main.js';
import { readdirSync, readFileSync } from 'node:fs';

const folder = new URL('../../web/lang/', import.meta.url);
const files = readdirSync(folder).filter((file) => file.endsWith('.json'));
const languages = Object.fromEntries(files.map((file) => [file.slice(0, -5), JSON.parse(readFileSync(new URL(file, folder), 'utf8'))]));
const bundled = buildSync({ entryPoints: [new URL('../../web/words.js', import.meta.url).pathname], bundle: true, format: 'esm', write: false });
const words = await import(`data:text/javascript,${encodeURIComponent(bundled.outputFiles[0].text)}`);

const failures = [];
const expect = (what, got, want) => { if (got !== want) failures.push(`${what}: got ${JSON.stringify(got)}, want ${JSON.stringify(want)}`); };
const placeholders = (text) => (text.match(/\{\w+\}/g) || []).sort().join();

// Each file has English's keys and no others, each with the same placeholders, and the page takes every one in.
const english = languages.en;
words.cardTakeLanguages(Object.fromEntries(Object.entries(languages).filter(([language]) => language != 'en')));
for (const [language, said] of Object.entries(languages)) {
  expect(`${language}'s keys`, Object.keys(said).sort().join(), Object.keys(english).sort().join());
  for (const key of Object.keys(english))
    expect(`${language}'s placeholders in ${key}`, placeholders(said[key] ?? ''), placeholders(english[key]));
  for (const [key, text] of Object.entries(said))
    expect(`${language}'s ${key} is text without direction controls`, typeof text == 'string' && !/[\u200e\u200f\u202a-\u202e\u2066-\u2069]/.test(text), true);
}
expect('the languages', Object.keys(words.CARD_LANGUAGES).sort().join(),
  'ar,de,el,en,es,fr,he,hi,it,ja,ko,nl,pl,pt,ru,tr,uk,zh');
expect('the files', Object.keys(languages).sort().join(), Object.keys(words.CARD_LANGUAGES).sort().join());

// The first of the reader's languages that the page has, else English; Chinese only in simplified characters.
for (const [tags, language] of [[['de-AT', 'fr'], 'de'], [['sw', 'pt-BR'], 'pt'], [['zh-TW', 'zh-Hant', 'ja'], 'ja'],
  [['zh-Hans-CN'], 'zh'], [['zh'], 'zh'], [['iw-IL'], 'he'], [['EN-gb'], 'en'], [['sw', 'xx'], 'en'], [[], 'en'],
  [['ar-EG'], 'ar'], [['constructor', '__proto__'], 'en'], [['uk_UA'], 'uk']])
  expect(`the language for ${tags}`, words.cardLanguageFor(tags), language);
expect('Arabic runs right to left', [words.cardDirectionOf('ar'), words.cardDirectionOf('he'), words.cardDirectionOf('de')].join(), 'rtl,rtl,ltr');
expect('a text with its placeholders', words.cardSay('en', 'nameCut', { limit: 256, count: 9 }), 'The card has room for 256 letters; it draws the first 9.');

if (failures.length) {
  console.log(failures.join('\n'));
  process.exit(1);
}
console.log(`ok: ${files.length} languages`);

// The page's name-to-bytes step, its name block and its links, on their
// own (web/card_name.js has no DOM); a name's characters as a reader counts
// them, and the desktop card's base letters against the page's. Usage:
// node name_test.mjs
import * as page from '../../web/card_name.js';
import { readFileSync } from 'node:fs';

const said = [];
console.error = (line) => said.push(line);
const failures = [];
const expect = (what, got, want) => { if (got !== want) failures.push(`${what}: got ${JSON.stringify(got)}, want ${JSON.stringify(want)}`); };
const hex = (bytes) => Buffer.from(bytes).toString('hex');

// name, the Windows-1252 bytes the card gets, what it shows as text
const names = [
  ['The Elves', '54686520456c766573', 'The Elves'],
  ['Zoë Müller', '5a6feb204dfc6c6c6572', 'Zoë Müller'],
  ['Françoise ÀÿÞ', '4672616ee76f69736520c0ffde', 'Françoise ÀÿÞ'],
  ['€ Œœ ŠšŽžŸ „“”‘’ – — …', '80208c9c208a9a8e9e9f208493949192209620972085', '€ Œœ ŠšŽžŸ „“”‘’ – — …'],
  ['Raúl Núñez ýÝù', '5261756c204e75f1657a2079dd75', 'Raul Nuñez yÝu'],
  ['ÙÚÝ', 'd9dadd', 'ÙÚÝ'],
  ['Łukasz Żółć', '4c756b61737a205af36c63', 'Lukasz Zólc'],
  ['Ωμέγα', '3f3f3f3f3f', '?????'],
  ['Ann 🎄👨‍👩‍👧!', '416e6e203f3f3f3f21', 'Ann ????!'],
  ['e\u0301 ﬁ Ａ', 'e920666920' + '41', 'é fi A'],
  ['a\tb\nc\r\u0001\u007f', '6109620a630d3f3f', 'a\tb\nc\r??'],
  ['', '', ''],
  ['</script><!--', '3c2f7363726970743e3c212d2d', '</script><!--'],
];
for (const [name, bytes, drawn] of names) {
  const got = page.cardNameBytes(name);
  expect(`bytes of ${name}`, hex(got.bytes), bytes);
  expect(`drawn form of ${name}`, got.drawn, drawn);
  expect(`cut of ${name}`, got.cut, false);
  // Every name survives the name block, hand-editable where it is plain,
  // and a link; neither can hold a "<" that would end the page's script.
  const block = page.cardNameToBlock(name);
  expect(`block of ${name}`, page.cardNameFromBlock(block.text, block.encoding), name);
  expect(`block of ${name} is plain`, block.encoding === null, !/[<\u0000-\u001f\u007f]/.test(name));
  expect(`"<" in the block of ${name}`, block.text.includes('<'), false);
  const link = page.cardLinkTo('http://127.0.0.1/card.html#from=old', name);
  expect(`link for ${name}`, page.cardNameFromAddress(link.slice(link.indexOf('#'))), name);
}
// What the card's lines show: a full line's breaking letter is dropped, a late space breaks a line.
for (const [drawn, shown] of [['ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789', 'ABCDEFGHIJKLMNOP RSTUVWXYZ01234 6789'],
  ['Zoë Müller-Lukasz', 'Zoë Müller-Lukas'], [' '.repeat(20) + '|', ' '.repeat(20) + '|'], ['Ann Lee', 'Ann Lee']])
  expect(`lines of ${drawn}`, page.cardLaidOut(drawn), shown);
const long = page.cardNameBytes('Ö'.repeat(300));
expect('a 300-letter name is cut to 256 bytes', [long.bytes.length, long.kept.length, long.cut].join(), '256,256,true');
expect('a link in the form people write by hand', page.cardLinkTo('https://example.org/c.html', 'Zoë'), 'https://example.org/c.html#from=Zo%C3%AB');
expect('a broken link falls back to the block', page.cardNameFromAddress('#from=%E0%A4%A'), null);
expect('and says so', said.join(), '#from=: not percent-encoded UTF-8; the name in the page is drawn instead');
// File names keep letters and digits: Latin ones without accents, others as written; nothing a system refuses.
for (const [name, file] of [['Zoë & José </script>', 'holiday-card-from-Zoe-Jose-script.html'], ['Маша', 'holiday-card-from-Маша.html'],
  ['王小明 2026', 'holiday-card-from-王小明-2026.html'], ['Łukasz Żółć', 'holiday-card-from-Lukasz-Zolc.html'],
  ['अनीता: "शर्मा"?', 'holiday-card-from-अनीता-शर्मा.html'], ['محمد\u200f/علي', 'holiday-card-from-محمد-علي.html'],
  ['🎄 * 🎄', 'holiday-card.html'], ['Ωμέγα'.repeat(20), `holiday-card-from-${'Ωμέγα'.repeat(12)}.html`]])
  expect(`the file name for ${name}`, page.cardFileName(name), file);

// Characters as a reader counts them, and the card's lines of them: a letter with its marks, a Hangul
// syllable, an Indic cluster, an emoji with its modifiers count one each.
// So do browsers without Intl.Segmenter (Firefox before 125), and those whose segmenter splits clusters.
const segmenter = Intl.Segmenter;
for (const way of ['Intl.Segmenter', 'without it']) {
  for (const [text, graphemes] of [['Zoe\u0301', 'Z|o|e\u0301'], ['Adébáyọ̀', 'A|d|é|b|á|y|ọ̀'], ['김민준', '김|민|준'],
    ['नमस्ते', 'न|म|स्ते'], ['สมชาย ใจดี', 'ส|ม|ช|า|ย| |ใ|จ|ดี'], ['👨‍👩‍👧🇩🇪👍🏽', '👨‍👩‍👧|🇩🇪|👍🏽'], ['a\r\nb', 'a|\r\n|b']])
    expect(`the letters of ${text} by ${way}`, page.cardGraphemes(text).join('|'), graphemes);
  delete Intl.Segmenter;
}
Intl.Segmenter = segmenter;
expect('a line of letters with marks', page.cardLaidOut(page.cardGraphemes('ọ̀'.repeat(17) + 'ab')), 'ọ̀'.repeat(16) + ' ab');

// Names drop what would reorder them; the card draws a name from its bytes only where they are all Windows-1252.
for (const [name, clean, plain] of [['Zoë\u202e', 'Zoë', true], ['\u2067Ann\u2069 \u200fLee\u200e\u061c', 'Ann Lee', true],
  ['Ann\u200d\u200c', 'Ann\u200d\u200c', false], ['e\u0301', 'e\u0301', true], ['Łukasz', 'Łukasz', false], ['a\u0001', 'a\u0001', false]]) {
  expect(`${name} cleaned`, page.cardCleanName(name), clean);
  expect(`${name} in Windows-1252`, page.cardIsWindows1252(page.cardCleanName(name)), plain);
}

// The desktop card draws a UTF-8 name file's letters beyond Windows-1252 as the page draws a letter no font
// has: its tables of base letters (src/name_text.cpp) say what the page's rule says, letter for letter.
const desktop = readFileSync(new URL('../../src/name_text.cpp', import.meta.url), 'utf8');
const table = (name) => desktop.match(new RegExp(`${name}\\[\\] =([^;]*);`))[1].match(/U"([^"]*)"/g).map((part) => part.slice(2, -1)).join('');
const pairs = Object.fromEntries([...desktop.matchAll(/\{0x([0-9A-F]+), "([A-Za-z]+)"\}/g)].map(([, code, pair]) => [parseInt(code, 16), pair]));
for (const [name, first] of [['LATIN_EXTENDED_A_B', 0x100], ['LATIN_EXTENDED_ADDITIONAL', 0x1e00]])
  [...table(name)].forEach((base, i) => expect(`the desktop's U+${(first + i).toString(16)}`, base == '*' ? pairs[first + i] : base,
    page.cardNameBytes(String.fromCodePoint(first + i)).drawn));

if (failures.length) {
  console.log(failures.join('\n'));
  process.exit(1);
}
console.log(`ok: ${names.length} names`);

// The page's name-to-bytes step, its name block and its links, on their
// own (web/card_name.js has no DOM). Usage: node name_test.mjs
import * as page from '../../web/card_name.js';

const said = [];
console.error = (line) => said.push(line);
const failures = [];
const expect = (what, got, want) => { if (got !== want) failures.push(`${what}: got ${JSON.stringify(got)}, want ${JSON.stringify(want)}`); };
const hex = (bytes) => Buffer.from(bytes).toString('hex');

// name, the Windows-1252 bytes the card gets, what it shows as text
const table = [
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
for (const [name, bytes, drawn] of table) {
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
expect('a file name of safe letters', page.cardFileName('Zoë & José </script>'), 'holiday-card-from-Zoe-Jose-script.html');
expect('a file name without letters', page.cardFileName('Ωμέγα'), 'holiday-card.html');

if (failures.length) {
  console.log(failures.join('\n'));
  process.exit(1);
}
console.log(`ok: ${table.length} names`);

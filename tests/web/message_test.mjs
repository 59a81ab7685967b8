// The sender's message on its own (web/message.js has no DOM): what it
// keeps, its 500 characters, and how a link carries it beside the name.
// Usage: node message_test.mjs
import { cardLinkTo, cardNameFromAddress } from '../../web/card_name.js';
import * as message from '../../web/message.js';

const failures = [];
const expect = (what, got, want) => { if (got !== want) failures.push(`${what}: got ${JSON.stringify(got)}, want ${JSON.stringify(want)}`); };
const many = (count, pick) => Array.from({ length: count }, (_, i) => pick(i)).join('');
const ADDRESS = 'https://cards.example.org/holiday/holiday-card.html';

// Typed, and as it is sent: lines, controls, blank ends, the cap (a family emoji or an accented letter is one character).
for (const [typed, field, sent] of [
  ['Dear Grandma,\r\nsee you\rsoon', 'Dear Grandma,\nsee you\nsoon', 'Dear Grandma,\nsee you\nsoon'],
  ['tab\there\u0007\u001b[31m\u0085x\u2029y', 'tabhere[31m\nx\ny', 'tabhere[31m\nx\ny'],
  ['\n  \nHi\n\n', '\n  \nHi\n\n', 'Hi'],
  [' \n\t ', ' \n ', ''],
  ['\u202eevil\u202c <script>', '\u202eevil\u202c <script>', '\u202eevil\u202c <script>'],
  ['👨‍👩‍👧'.repeat(501), '👨‍👩‍👧'.repeat(500), '👨‍👩‍👧'.repeat(500)],
  ['e\u0301'.repeat(500) + 'x', 'e\u0301'.repeat(500), 'e\u0301'.repeat(500)],
]) {
  expect(`the field's ${JSON.stringify(typed.slice(0, 20))}`, message.cardCleanMessage(typed), field);
  expect(`the message of ${JSON.stringify(typed.slice(0, 20))}`, message.cardMessageText(typed), sent);
}
expect('characters left of 500', message.cardMessageLeft('é'.repeat(500)), 0);
expect('characters left of 451', message.cardMessageLeft('я'.repeat(451)), 49);

// The longest message of each script in a link of at most 4,000 characters, read back as it was.
const longest = {
  Latin: many(500, (i) => 'Dear Grandma, we miss you and the cat. '[i % 39]),
  Cyrillic: many(500, (i) => 'Дорогая бабушка, мы скучаем! Ёжик и ёлка. '[(i * 7) % 42]),
  CJK: many(500, (i) => String.fromCodePoint(0x4e00 + ((i * 7919) % 20902))),
  emoji: many(500, (i) => String.fromCodePoint(0x1f400 + ((i * 37) % 0x3f))),
};
for (const [script, text] of Object.entries(longest)) {
  expect(`${script} has 500 characters`, message.cardMessageLeft(text), 0);
  const link = cardLinkTo(ADDRESS, 'Łukasz Żółć', await message.cardMessageCode(text));
  if (link.length > 4000)
    failures.push(`the longest ${script} message makes a link of ${link.length} characters`);
  const hash = link.slice(link.indexOf('#'));
  expect(`the name beside the ${script} message`, cardNameFromAddress(hash), 'Łukasz Żółć');
  expect(`the ${script} message from its link`, await message.cardMessageFromCode(message.cardMessageCodeIn(hash)), text);
}

// An old link is a name alone; a name's "&" stays the name's; no message makes no code.
expect('an old link', [cardNameFromAddress('#from=Tom%20%26%20Jerry'), message.cardMessageCodeIn('#from=Tom%20%26%20Jerry')].join('|'), 'Tom & Jerry|');
expect('a link made without a message', cardLinkTo(ADDRESS, 'Zoë', ''), `${ADDRESS}#from=Zo%C3%AB`);
expect('no message in an address without a name', message.cardMessageCodeIn('#msg=uSGk'), null);

// Codes the page does not write, or messages longer than a card's, are refused with their reason.
const tooLong = await message.cardMessageCode('a'.repeat(501)), bomb = await message.cardMessageCode('b'.repeat(500));
for (const [code, reason] of [['x', 'not a message the page writes'], ['u<b>', 'not a message the page writes'],
  ['u_w', 'not UTF-8 text'], ['zAAAA', 'not compressed as the page compresses'], [tooLong, 'longer than 500 characters'],
  [`z${Buffer.from(await new Response(new Blob([new Uint8Array(1 << 17)]).stream().pipeThrough(new CompressionStream('deflate-raw'))).arrayBuffer()).toString('base64url')}`,
    'longer than a message can be']]) {
  const got = await message.cardMessageFromCode(code).then(() => 'read', (e) => e.message);
  expect(`the code ${code.slice(0, 12)}`, got, reason);
}
expect('500 of one letter', await message.cardMessageFromCode(bomb), 'b'.repeat(500));

if (failures.length) {
  console.log(failures.join('\n'));
  process.exit(1);
}
console.log('ok: messages, their cap and their links');

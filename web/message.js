// A word from the sender: the message that travels beside the name, as
// text and as a link carries it. No DOM here: the page's message script
// (message_page.js) and the video maker import these, and so do the tests.
import { cardGraphemes } from './card_name.js';

// Characters as a reader counts them, as the composer's field counts them.
export const CARD_MESSAGE_LIMIT = 500;
// A link's message is decompressed only so far: 500 characters of any
// script stay well inside it, and no link can make the page inflate more.
const CARD_MESSAGE_BYTES = 64 * 1024;

// The message as the composer's field keeps it: lines end in "\n" alone,
// and no control character but that stays (a tab, a bell, an escape have
// no place in a card's words); at most CARD_MESSAGE_LIMIT characters.
// Characters that steer direction stay: each paragraph is shown in an
// element of its own that keeps them in.
export function cardCleanMessage(text) {
  const lines = String(text).replace(/\r\n?|[\u2028\u2029\u0085]/g, '\n').replace(/[\u0000-\u0009\u000b-\u001f\u007f-\u009f]/g, '');
  return cardGraphemes(lines).slice(0, CARD_MESSAGE_LIMIT).join('');
}

// The message as it is sent: clean, without blank lines at either end, and
// nothing at all where it holds no more than spaces.
export function cardMessageText(text) {
  const clean = cardCleanMessage(text).replace(/^(?:[^\S\n]*\n)+|(?:\n[^\S\n]*)+$/g, '');
  return /\S/.test(clean) ? clean : '';
}

// How many more characters the message may have.
export const cardMessageLeft = (text) => CARD_MESSAGE_LIMIT - cardGraphemes(text).length;

// The message's paragraphs, each shown in its own direction.
export const cardParagraphs = (text) => (text ? text.split('\n') : []);

const toBase64Url = (bytes) => btoa(Array.from(bytes, (b) => String.fromCharCode(b)).join(''))
  .replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
const fromBase64Url = (text) => Uint8Array.from(atob(text.replace(/-/g, '+').replace(/_/g, '/')), (c) => c.charCodeAt(0));

// BYTES through a compression stream of FORMAT, at most LIMIT bytes out.
async function through(stream, bytes, limit = Infinity) {
  const reader = new Blob([bytes]).stream().pipeThrough(stream).getReader(), parts = [];
  let size = 0;
  for (let part; !(part = await reader.read()).done;) {
    if ((size += part.value.length) > limit) {
      reader.cancel();
      throw new Error('longer than a message can be');
    }
    parts.push(part.value);
  }
  return new Uint8Array(await new Blob(parts).arrayBuffer());
}

// The message as a link carries it after "&msg=": "u" and its UTF-8 as
// base64url, or "z" and the same compressed (raw deflate) where that is
// shorter. Empty for no message.
export async function cardMessageCode(text) {
  if (!text)
    return '';
  const bytes = new TextEncoder().encode(text), plain = 'u' + toBase64Url(bytes);
  if (typeof CompressionStream == 'undefined')
    return plain;  // an older browser's links are only longer
  const packed = 'z' + toBase64Url(await through(new CompressionStream('deflate-raw'), bytes));
  return packed.length < plain.length ? packed : plain;
}

// The message a code gives; it throws, saying why, where the code is not
// one the page writes or its message is longer than a card's.
export async function cardMessageFromCode(code) {
  if (!/^[uz][A-Za-z0-9_-]*$/.test(code))
    throw new Error('not a message the page writes');
  let bytes;
  try {
    bytes = fromBase64Url(code.slice(1));
  } catch (e) {
    throw new Error('not base64url');
  }
  if (code[0] == 'z' && typeof DecompressionStream == 'undefined')
    throw new Error('compressed, which this browser cannot read');
  if (code[0] == 'z')
    bytes = await through(new DecompressionStream('deflate-raw'), bytes, CARD_MESSAGE_BYTES).catch((e) => {
      throw new Error(e.message == 'longer than a message can be' ? e.message : 'not compressed as the page compresses');
    });
  let text;
  try {
    text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  } catch (e) {
    throw new Error('not UTF-8 text');
  }
  if (cardMessageLeft(text) < 0)
    throw new Error(`longer than ${CARD_MESSAGE_LIMIT} characters`);
  return cardMessageText(text);
}

// The code of the message in an address (after "#from=NAME&msg="), or null.
export function cardMessageCodeIn(hash) {
  const at = hash.indexOf('&msg=');
  return hash.indexOf('#from=') == 0 && at >= 0 ? hash.slice(at + 5) : null;
}

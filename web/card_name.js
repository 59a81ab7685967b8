// The sender's name between the page and the card. The card draws bytes,
// and its letters are those of Windows-1252: a name written in them goes to
// the card as those bytes, and a character without a glyph becomes its
// nearest drawable form (accents dropped) or "?". A name in any other
// letters is drawn from glyphs the page makes (name_glyphs.js), counted and
// laid out here as a reader counts letters. Also how a name is kept in the
// page's name block, in a link and in a saved file's name. No DOM here: the
// page imports these, and so do the tests, on their own.

// Windows-1252's characters for the bytes 0x80-0x9F; a space where it has none.
const CARD_1252_HIGH = '€ ‚ƒ„…†‡ˆ‰Š‹Œ Ž  ‘’“”•–—˜™š›œ žŸ';
// These three land on the atlas cells of tab, line feed and carriage return,
// which stay empty so that a name file's line end draws nothing: the page
// draws them as their base letters.
const CARD_FOLDED = { 'ù': 'u', 'ú': 'u', 'ý': 'y' };
// Letters that dropping accents does not reach.
const CARD_NEAREST = { 'ł': 'l', 'Ł': 'L', 'đ': 'd', 'Đ': 'D', 'ı': 'i', 'ħ': 'h', 'Ħ': 'H', 'ŧ': 't', 'Ŧ': 'T',
  'ŀ': 'l', 'Ŀ': 'L', 'ſ': 's', 'ĸ': 'k', '‐': '-', '‑': '-', '−': '-' };
// Only so many bytes of a name are read by the card.
export const CARD_NAME_LIMIT = 256;

// Characters that steer the direction of text: a name drops them, so that
// it cannot reorder or hide parts of itself on the card or on the page.
const CARD_DIRECTION_CONTROLS = /[\u202a-\u202e\u2066-\u2069\u200e\u200f\u061c]/g;

export function cardCleanName(name) {
  return name.replace(CARD_DIRECTION_CONTROLS, '');
}

// The byte of a character in Windows-1252, or -1. Tab, line feed and
// carriage return pass, as they would from a name file.
export function cardByteOf(ch) {
  let code = ch.codePointAt(0);
  if (code == 9 || code == 10 || code == 13 || (code >= 0x20 && code < 0x7f) || (code >= 0xa0 && code <= 0xff))
    return code;
  let high = CARD_1252_HIGH.indexOf(ch);  // its spaces are caught above as themselves
  return high >= 0 ? 0x80 + high : -1;
}

// True where every character of the name is one of Windows-1252's: the card
// draws such a name from its bytes alone.
export function cardIsWindows1252(name) {
  return [...name.normalize('NFC')].every((ch) => cardByteOf(ch) >= 0);
}

// A grapheme whose letters the atlas has, as they are: a Windows-1252
// character with a glyph of its own (not the three that fold).
export function cardAtlasByte(grapheme) {
  const ch = grapheme.normalize('NFC');
  return [...ch].length == 1 && !CARD_FOLDED[ch] ? cardByteOf(ch) : -1;
}

// What the card draws for one character: itself, its nearest drawable
// form, nothing for marks and invisible formatting, or "?".
export function cardDrawable(ch) {
  if (CARD_FOLDED[ch])
    return CARD_FOLDED[ch];
  if (cardByteOf(ch) >= 0)
    return ch;
  let nearest = CARD_NEAREST[ch] || ch.normalize('NFKD').replace(/[\p{M}\p{Cf}]/gu, '');
  let drawn = '';
  for (let c of nearest) {
    let form = CARD_FOLDED[c] || c;
    if (cardByteOf(form) < 0 || form.codePointAt(0) < 0x20)
      return '?';
    drawn += form;
  }
  return drawn;
}

// The bytes the card draws for a name, what they show as text, the part of
// the name that fits the card, and whether the rest was cut.
export function cardNameBytes(text) {
  let bytes = [], drawn = '', kept = '';
  for (let ch of text.normalize('NFC')) {
    let form = cardDrawable(ch);
    if (bytes.length + form.length > CARD_NAME_LIMIT)
      return { bytes: new Uint8Array(bytes), drawn: drawn, kept: kept, cut: true };
    for (let c of form)
      bytes.push(cardByteOf(c));
    drawn += form;
    kept += ch;
  }
  return { bytes: new Uint8Array(bytes), drawn: drawn, kept: kept, cut: false };
}

// Viramas that join the consonants around them into one cluster (Unicode
// 15.1's rule, which older segmenters lack), in the Indic scripts that write them.
const CARD_LINKER = /[\u094d\u09cd\u0acd\u0b4d\u0c4d\u0d4d]\u200d?$/u;

// A text's characters as a reader counts them: a letter with its accents,
// a Hangul syllable, an Indic cluster, an emoji with its modifiers.
export function cardGraphemes(text) {
  const split = typeof Intl != 'undefined' && Intl.Segmenter
    ? Array.from(new Intl.Segmenter(undefined, { granularity: 'grapheme' }).segment(text), (part) => part.segment)
    : text.match(/\r\n|\p{RI}\p{RI}|\P{M}(?:\p{M}|\u200d\P{M}|[\u{1f3fb}-\u{1f3ff}])*|\p{M}+/gsu) || [];
  const graphemes = [];
  for (const part of split) {
    if (graphemes.length && CARD_LINKER.test(graphemes[graphemes.length - 1]) && /^\p{L}/u.test(part))
      graphemes[graphemes.length - 1] += part;
    else
      graphemes.push(part);
  }
  return graphemes;
}

// The card's line rule, for a name's characters (one string each): the line
// each is drawn on, or -1 where it breaks a line and is not drawn. A line
// breaks at its 16th character (14th on later lines), or at a space once 10
// are drawn on the first line (9 on later ones).
export function cardLines(characters) {
  let line = 0, column = 0;
  return characters.map((ch, j) => {
    let on = line;
    if (column >= 15 || (column >= 10 && ch == ' ')) {
      on = -1;
      line++;
      column = 0;
    }
    column += j == 0 ? 0 : 1;  // the first character does not count
    return on;
  });
}

// What the card's lines show of a drawn name (a string, or its characters),
// lines joined by a space.
export function cardLaidOut(drawn) {
  const characters = typeof drawn == 'string' ? [...drawn] : drawn, lines = [];
  cardLines(characters).forEach((line, i) => {
    if (line >= 0)
      lines[line] = (lines[line] || '') + characters[i];
  });
  return lines.join(' ');
}

// The name block holds a plain name as it is, so that it can be edited by
// hand. A name that could end or upset the script element it stands in
// (its end tag, or the opening of a comment), or holds control characters
// that HTML would change, is written percent-encoded instead (only "%", "<"
// and controls) and the block says so in its data-encoding attribute.
export function cardNameToBlock(name) {
  if (!/[<\u0000-\u001f\u007f]/.test(name))
    return { text: name, encoding: null };
  let text = name.replace(/[%<\u0000-\u001f\u007f]/g, function (c) {
    return '%' + c.charCodeAt(0).toString(16).toUpperCase().padStart(2, '0');
  });
  return { text: text, encoding: 'percent' };
}

export function cardNameFromBlock(text, encoding) {
  if (encoding != 'percent')
    return text;
  try {
    return decodeURIComponent(text);
  } catch (e) {
    console.error('sender-name: not percent-encoded as its data-encoding says; the name is drawn as it stands');
    return text;
  }
}

// Bytes as base64 text and back: how the page carries files in itself (the
// card's pictures and tune, a saved name's glyphs) and takes a canvas's PNG.
// A loop, not Uint8Array.from with a function per byte: on a slow phone that
// took a third of a second for the page's pictures and tune.
export function cardFromBase64(text) {
  const chars = atob(text), bytes = new Uint8Array(chars.length);
  for (let i = 0; i < chars.length; i++)
    bytes[i] = chars.charCodeAt(i);
  return bytes;
}
export const cardToBase64 = (bytes) => btoa(Array.from(bytes, (b) => String.fromCharCode(b)).join(''));

// A link always carries the name as #from= and its UTF-8 bytes
// percent-encoded, so that people can write such links by hand too; then
// the sender's message, where there is one, as &msg= and its code
// (message.js), which a name's "&" (as %26) never reads as.
export function cardLinkTo(address, name, messageCode) {
  return address.split('#')[0] + '#from=' + encodeURIComponent(name) + (messageCode ? '&msg=' + messageCode : '');
}

// The name in an address, or null where it has none or it cannot be read.
export function cardNameFromAddress(hash) {
  if (hash.indexOf('#from=') != 0)
    return null;
  const end = hash.indexOf('&msg=');
  try {
    return decodeURIComponent(hash.slice(6, end < 0 ? undefined : end));
  } catch (e) {
    console.error('#from=: not percent-encoded UTF-8; the name in the page is drawn instead');
    return null;
  }
}

// A saved card's file name, from letters and digits of the name alone: in
// the Latin alphabet without accents, as before, and in any other script as
// written; nothing else, so that the name is safe on every system.
const CARD_FILE_LETTERS = { 'ß': 'ss', 'æ': 'ae', 'Æ': 'AE', 'œ': 'oe', 'Œ': 'OE', 'ø': 'o', 'Ø': 'O', 'þ': 'th', 'ð': 'd' };
function cardFileWord(grapheme) {
  const drawn = cardDrawable(grapheme.normalize('NFC')[0]);
  if (/^[\p{L}\p{N}]/u.test(drawn))
    return drawn.replace(/[ßæÆœŒøØþð]/g, (c) => CARD_FILE_LETTERS[c]).normalize('NFKD').replace(/\p{M}/gu, '').replace(/[^A-Za-z0-9]+/g, '-');
  return /^[\p{L}\p{N}]/u.test(grapheme) ? grapheme.replace(/[^\p{L}\p{N}\p{M}]/gu, '') : '-';
}

export function cardFileName(name) {
  const words = cardGraphemes(cardCleanName(name).normalize('NFC')).map(cardFileWord);
  const kept = words.join('').replace(/-+/g, '-').replace(/^-/, '');
  const cut = cardGraphemes(kept).slice(0, 60).join('').replace(/-$/, '');
  return cut ? 'holiday-card-from-' + cut + '.html' : 'holiday-card.html';
}

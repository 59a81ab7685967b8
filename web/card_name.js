// The sender's name between the page and the card. The card draws bytes,
// and its letters are those of Windows-1252, so the page turns a name's
// text into those bytes; a character without a glyph becomes its nearest
// drawable form (accents dropped) or "?". Also how a name is kept in the
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

// The byte of a character in Windows-1252, or -1. Tab, line feed and
// carriage return pass, as they would from a name file.
function cardByteOf(ch) {
  let code = ch.codePointAt(0);
  if (code == 9 || code == 10 || code == 13 || (code >= 0x20 && code < 0x7f) || (code >= 0xa0 && code <= 0xff))
    return code;
  let high = CARD_1252_HIGH.indexOf(ch);  // its spaces are caught above as themselves
  return high >= 0 ? 0x80 + high : -1;
}

// What the card draws for one character: itself, its nearest drawable
// form, nothing for marks and invisible formatting, or "?".
function cardDrawable(ch) {
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

// What the card's lines show of a drawn name, lines joined by a space: a
// line breaks at its 16th character (14th on later lines), or at a space
// once 10 are drawn on the first line (9 on later ones), and the character
// that breaks a line is not drawn.
export function cardLaidOut(drawn) {
  let lines = [''], column = 0, first = true;
  for (let ch of drawn) {
    if (column >= 15 || (column >= 10 && ch == ' ')) {
      lines.push('');
      column = 0;
    } else {
      lines[lines.length - 1] += ch;
    }
    column += first ? 0 : 1;  // the first character does not count
    first = false;
  }
  if (lines.length > 1 && lines[lines.length - 1] == '')
    lines.pop();  // the name ended with the character that broke its last line
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

// A link always carries the name as #from= and its UTF-8 bytes
// percent-encoded, so that people can write such links by hand too.
export function cardLinkTo(address, name) {
  return address.split('#')[0] + '#from=' + encodeURIComponent(name);
}

// The name in an address, or null where it has none or it cannot be read.
export function cardNameFromAddress(hash) {
  if (hash.indexOf('#from=') != 0)
    return null;
  try {
    return decodeURIComponent(hash.slice(6));
  } catch (e) {
    console.error('#from=: not percent-encoded UTF-8; the name in the page is drawn instead');
    return null;
  }
}

// A saved card's file name, from letters and digits of the name alone.
const CARD_FILE_LETTERS = { 'ß': 'ss', 'æ': 'ae', 'Æ': 'AE', 'œ': 'oe', 'Œ': 'OE', 'ø': 'o', 'Ø': 'O', 'þ': 'th', 'ð': 'd' };
export function cardFileName(name) {
  let letters = cardNameBytes(name).drawn.replace(/[ßæÆœŒøØþð]/g, function (c) { return CARD_FILE_LETTERS[c]; });
  let words = letters.normalize('NFKD').replace(/\p{M}/gu, '').replace(/[^A-Za-z0-9]+/g, '-').replace(/^-+|-+$/g, '').slice(0, 60);
  return words ? 'holiday-card-from-' + words.replace(/-+$/, '') + '.html' : 'holiday-card.html';
}

// The letters of a name beyond Windows-1252, drawn by the page with the
// browser's own fonts (which shape joined scripts, order right-to-left text
// and fall back from font to font) into an atlas of 16 x 16 cells like the
// card's, and the list that tells the card which glyph each letter of the
// name is: the card lays them out by its own line rules and draws them with
// its own shadow. Letters the card's atlas has still come from the atlas.
import { CARD_NAME_LIMIT, cardAtlasByte, cardFromBase64, cardGraphemes, cardLines, cardNameBytes } from './card_name.js';

// The card's atlas: cells of 32 x 32 texels, each shown as a box 1.5 times as
// tall as wide; its letters stand on row 24 at 36 texels an em across and 28
// down, a texel clear all round. On the card a glyph of n cells covers n - 1
// advances of 1.1 cells and one cell, so that a joined word has no gaps.
const CELL = 32, COLUMNS = 16, BASELINE = 24, MARGIN = 1, EM_ACROSS = 36, EM_DOWN = 28, TALLER = 1.5, ADVANCE = 1.1;
const FONT = `bold ${EM_DOWN}px sans-serif`;
// A glyph list entry: where from, which byte or cell, how many cells across.
const FROM_ATLAS = 0, FROM_PAGE = 1, BLANK_CELL = 0;  // the page's cell 0 stays empty
// The card's fifth line of a name starts below its window.
const VISIBLE_LINES = 4;
// Scripts whose letters join or run right to left: a word of them is drawn
// whole, as the browser shapes it; the first list also orders its line.
const RIGHT_TO_LEFT = ['Arabic', 'Hebrew', 'Syriac', 'Thaana', 'Nko', 'Samaritan', 'Mandaic', 'Adlam', 'Hanifi_Rohingya'];
const JOINED = [...RIGHT_TO_LEFT, 'Mongolian', 'Devanagari', 'Bengali', 'Gurmukhi'];
const SCRIPTS = JOINED.map((script) => [script, new RegExp(`^\\p{Script=${script}}`, 'u')]);
const RIGHT_TO_LEFT_LETTER = new RegExp(RIGHT_TO_LEFT.map((script) => `\\p{Script=${script}}`).join('|'), 'u');
const EMOJI = /\p{Extended_Pictographic}|\p{RI}/u;
// A code point no font has a glyph for: what the browser draws for it is what it draws for a missing one.
const UNASSIGNED = '\u0378';

// The name's joined script of a grapheme, or null.
function cardJoinedScript(grapheme) {
  const found = SCRIPTS.find(([, letter]) => letter.test(grapheme));
  return found ? found[0] : null;
}

// True where the device has no font for the grapheme, as far as the page
// can tell: it comes out as the browser's sign for a missing glyph. One
// canvas serves every test, and the sign is drawn once.
const cardNoGlyphCache = new Map();
let cardGlyphProbe = null;

function cardNoFontHas(grapheme) {
  if (!cardGlyphProbe) {
    const context = Object.assign(document.createElement('canvas'), { width: 96, height: 48 }).getContext('2d');
    context.font = FONT;
    const look = (text) => (context.clearRect(0, 0, 96, 48), context.fillText(text, 8, 36), context.getImageData(0, 0, 96, 48).data.join());
    cardGlyphProbe = { context, look, width: context.measureText(UNASSIGNED).width, missing: look(UNASSIGNED) };
  }
  if (!cardNoGlyphCache.has(grapheme)) {
    const probe = cardGlyphProbe;
    cardNoGlyphCache.set(grapheme, probe.context.measureText(grapheme).width == probe.width && probe.look(grapheme) == probe.missing);
  }
  return cardNoGlyphCache.get(grapheme);
}

// How one grapheme is drawn: from the atlas (its byte), by the page, or, for
// control characters and letters no font has, as the atlas's nearest form.
function cardGlyphOf(grapheme) {
  const byte = cardAtlasByte(grapheme);
  if (byte >= 0)
    return { byte, shown: grapheme };
  if (!/\p{Cc}/u.test(grapheme) && !cardNoFontHas(grapheme))
    return { text: grapheme, shown: grapheme, script: cardJoinedScript(grapheme) };
  const nearest = cardNameBytes(grapheme).drawn, fits = [...nearest].length == 1 && cardAtlasByte(nearest) >= 0;
  return { byte: fits ? cardAtlasByte(nearest) : 0x3f, shown: fits ? nearest : '?' };
}

// The pieces of one line in reading order: a glyph a grapheme, but a word in
// a joined script is one piece. Each knows how many graphemes it stands for.
function cardPieces(glyphs) {
  const pieces = [];
  for (const glyph of glyphs) {
    const last = pieces[pieces.length - 1];
    if (glyph.script && last && last.script == glyph.script)
      last.text += glyph.text, last.count++;
    else
      pieces.push({ ...glyph, count: 1 });
  }
  return pieces;
}

// The order in which the browser shows the line's pieces from left to right,
// in a paragraph that runs right to left or not.
function cardVisualOrder(pieces, rightToLeft) {
  const order = pieces.map((_, i) => i), texts = pieces.map((piece) => piece.text ?? piece.shown);
  if (!rightToLeft && !texts.some((text) => RIGHT_TO_LEFT_LETTER.test(text)))
    return order;
  const line = Object.assign(document.createElement('p'), { className: 'unseen', dir: rightToLeft ? 'rtl' : 'ltr' });
  const spans = texts.map((text) => line.appendChild(Object.assign(document.createElement('span'), { textContent: text })));
  document.body.append(line);
  const lefts = spans.map((span) => span.getBoundingClientRect().left);
  line.remove();
  return order.sort((a, b) => lefts[a] - lefts[b]);
}

// The page's atlas: cells handed out along rows, a piece of several cells
// kept within one row; the same letter drawn once.
function cardNewAtlas() {
  const canvas = Object.assign(document.createElement('canvas'), { width: CELL * COLUMNS, height: CELL * COLUMNS });
  const context = Object.assign(canvas.getContext('2d'), { direction: 'ltr' });  // whatever the page's: the ink is placed by its box
  return { canvas, context, next: BLANK_CELL + 1, drawn: new Map() };
}

function cardTakeCells(atlas, cells) {
  if (atlas.next % COLUMNS + cells > COLUMNS)
    atlas.next += COLUMNS - atlas.next % COLUMNS;
  const cell = atlas.next;
  atlas.next += cells;
  return cell;
}

// How many cells a piece needs on the card: as wide as its text, at most a cell a grapheme.
function cardCellsFor(atlas, piece) {
  if (piece.count == 1)
    return 1;
  atlas.context.font = FONT;
  const metrics = atlas.context.measureText(piece.text);
  const width = (metrics.actualBoundingBoxLeft + metrics.actualBoundingBoxRight) * EM_ACROSS / EM_DOWN + 2 * MARGIN;
  const cells = Math.ceil((width / CELL - 1) / ADVANCE + 1);
  return Math.max(1, Math.min(piece.count, cells));
}

// Draws TEXT into CELLS cells from CELL on, as the atlas's own letters are
// drawn: centred across and standing on the baseline, narrowed to fit and
// shrunk where it would reach the top; an emoji in its own proportions on
// the card. White, where the font does not give its own colours.
function cardDrawPiece(atlas, text, cell, cells) {
  const context = atlas.context, left = (cell % COLUMNS) * CELL, top = Math.floor(cell / COLUMNS) * CELL;
  context.font = FONT;
  const m = context.measureText(text), box = CELL * ((cells - 1) * ADVANCE + 1);
  let across = EMOJI.test(text) ? TALLER : EM_ACROSS / EM_DOWN, down = 1;
  const shrink = (by) => (across *= by, down *= by);
  if (m.actualBoundingBoxAscent * down > BASELINE - MARGIN)
    shrink((BASELINE - MARGIN) / (m.actualBoundingBoxAscent * down));
  if ((m.actualBoundingBoxAscent + m.actualBoundingBoxDescent) * down > CELL - 2 * MARGIN)
    shrink((CELL - 2 * MARGIN) / ((m.actualBoundingBoxAscent + m.actualBoundingBoxDescent) * down));
  const inked = m.actualBoundingBoxLeft + m.actualBoundingBoxRight, room = box - 2 * MARGIN;
  if (inked * across > room && EMOJI.test(text))
    shrink(room / (inked * across));
  else if (inked * across > room)
    across *= room / (inked * across);
  const baseline = Math.min(Math.max(BASELINE, MARGIN + m.actualBoundingBoxAscent * down), CELL - MARGIN - m.actualBoundingBoxDescent * down);
  const squeeze = cells * CELL / box;  // the card stretches a glyph of several cells by the advances between them
  context.save();
  context.beginPath();
  context.rect(left, top, cells * CELL, CELL);
  context.clip();
  context.fillStyle = 'white';
  context.setTransform(across * squeeze, 0, 0, down, left + squeeze * ((box - inked * across) / 2 + m.actualBoundingBoxLeft * across), top + baseline);
  context.fillText(text, 0, 0);
  context.restore();
}

// The entry of a piece on the card, its picture drawn into the atlas where it is the page's.
function cardEntryOf(atlas, piece) {
  if (piece.byte !== undefined)
    return piece.byte == 0x20 ? [FROM_PAGE, BLANK_CELL, 1] : [FROM_ATLAS, piece.byte, 1];
  const cells = cardCellsFor(atlas, piece);
  if (piece.count == 1 && atlas.drawn.has(piece.text))
    return [FROM_PAGE, atlas.drawn.get(piece.text), 1];
  const cell = cardTakeCells(atlas, cells);
  cardDrawPiece(atlas, piece.text, cell, cells);
  if (piece.count == 1)
    atlas.drawn.set(piece.text, cell);
  return [FROM_PAGE, cell, cells];
}

// One visible line of the name: its pieces in the order the browser shows
// them, in the card's slots for its graphemes. A space within a line is a
// blank of the page's, so that where the order changed it breaks no line.
function cardPlaceLine(atlas, glyphs, slots, entries, rightToLeft) {
  const pieces = cardPieces(glyphs);
  let slot = 0;
  for (const i of cardVisualOrder(pieces, rightToLeft)) {
    entries[slots[slot++]] = cardEntryOf(atlas, pieces[i]);
    for (let more = 1; more < pieces[i].count; more++)
      entries[slots[slot++]] = [FROM_PAGE, BLANK_CELL, 0];
  }
}

// The card's glyphs for a name beyond Windows-1252: the glyph list (three
// bytes a grapheme) and the atlas as PNG; the name's bytes as the card would
// draw them without (its nearest letters); what each line shows; the part of
// the name kept, and whether the rest was cut.
export function cardNameGlyphs(name) {
  const all = cardGraphemes(name.normalize('NFC')), graphemes = all.slice(0, CARD_NAME_LIMIT), lines = cardLines(graphemes);
  const firstLetter = name.match(/\p{L}/u), rightToLeft = !!firstLetter && RIGHT_TO_LEFT_LETTER.test(firstLetter[0]);
  const atlas = cardNewAtlas(), glyphs = graphemes.map(cardGlyphOf);
  // Breaking graphemes and those below the card take a cell of the atlas with nothing in it, spaces staying spaces.
  const entries = graphemes.map((grapheme) => [FROM_ATLAS, grapheme == ' ' ? 0x20 : 0, 1]);
  for (let line = 0; line < VISIBLE_LINES; line++) {
    const slots = lines.flatMap((on, i) => (on == line ? [i] : []));
    cardPlaceLine(atlas, slots.map((i) => glyphs[i]), slots, entries, rightToLeft);
  }
  const kept = graphemes.join('');
  return { cells: Uint8Array.from(entries.flat()), png: cardFromBase64(atlas.canvas.toDataURL('image/png').split(',')[1]),
    bytes: cardNameBytes(kept).bytes, shown: glyphs.map((glyph) => glyph.shown), kept, cut: all.length > graphemes.length };
}

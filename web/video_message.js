// The end of a video with a message: the card's last frame dimmed, and the
// sender's message over it in white lettering with a dark shadow, a page at
// a time. The browser lays the text out, as it lays out the page: each
// paragraph in a hidden element of the page's width, finding its own
// direction, its lines read back where the browser breaks them; the canvas
// then draws each line, shaping joined and right-to-left scripts as the
// page does. Frames stay I420 in BT.601's limited range, as the card's.
import { cardGraphemes } from './card_name.js';
import { cardParagraphs } from './message.js';

const WIDTH = 640, HEIGHT = 480, MARGIN = 40;
const FONT_PX = 28, LINE_PX = 40, FONT = `bold ${FONT_PX}px sans-serif`;
const LINES_PER_PAGE = Math.floor((HEIGHT - 2 * MARGIN) / LINE_PX);
// How long a page stays: long enough to read it at a slow pace (15 characters a second), 5 s at least.
const pageSeconds = (characters) => Math.min(15, Math.max(5, 1 + characters / 15));
const DIM = 0.3;  // how much of the card's light stays under the words

// The lines of TEXT as the browser breaks them at the page's width: each
// its text and its paragraph's direction.
function messageLines(text) {
  const box = document.createElement('div');
  Object.assign(box.style, { position: 'fixed', left: '-10000px', top: '0', width: `${WIDTH - 2 * MARGIN}px`, font: FONT,
    lineHeight: `${LINE_PX}px`, whiteSpace: 'pre-wrap', overflowWrap: 'anywhere', visibility: 'hidden' });
  const paragraphs = cardParagraphs(text).map((line) => Object.assign(document.createElement('p'), { dir: 'auto', textContent: line }));
  for (const p of paragraphs)
    p.style.margin = '0';
  box.append(...paragraphs);
  document.body.append(box);
  const lines = [], range = document.createRange();
  for (const p of paragraphs) {
    const direction = getComputedStyle(p).direction, node = p.firstChild;
    let line = null, top = -Infinity, at = 0;
    for (const grapheme of node ? cardGraphemes(node.data) : []) {
      range.setStart(node, at);
      range.setEnd(node, at += grapheme.length);
      const rect = range.getClientRects()[0];
      if (!line || (rect && rect.top > top + LINE_PX / 2)) {
        lines.push(line = { text: '', direction });
        top = rect ? rect.top : top;
      }
      line.text += grapheme;
    }
    if (!line)
      lines.push({ text: '', direction });
  }
  box.remove();
  return lines.map((line) => ({ ...line, text: line.text.trim() }));
}

// The message's pages: each the RGBA of its words (640 x 480, transparent
// round them) and how many seconds it stays.
export function messagePages(text) {
  const lines = messageLines(text), pages = [];
  for (let first = 0; first < lines.length; first += LINES_PER_PAGE) {
    const page = lines.slice(first, first + LINES_PER_PAGE), canvas = Object.assign(document.createElement('canvas'), { width: WIDTH, height: HEIGHT });
    const context = canvas.getContext('2d', { willReadFrequently: true });
    Object.assign(context, { font: FONT, textAlign: 'center', textBaseline: 'middle', fillStyle: '#fff', shadowColor: 'rgba(0, 0, 0, 0.9)',
      shadowBlur: 6, shadowOffsetX: 2, shadowOffsetY: 2 });
    const top = (HEIGHT - page.length * LINE_PX) / 2 + LINE_PX / 2;
    page.forEach((line, i) => {
      context.direction = line.direction;
      context.fillText(line.text, WIDTH / 2, top + i * LINE_PX);
    });
    const characters = page.reduce((sum, line) => sum + cardGraphemes(line.text).length, 0);
    pages.push({ words: context.getImageData(0, 0, WIDTH, HEIGHT).data, seconds: pageSeconds(characters) });
  }
  return pages;
}

// BT.601 limited range, as the card's own frames are made.
const luma = (r, g, b) => 16 + (65.738 * r + 129.057 * g + 25.064 * b) / 256;
const blue = (r, g, b) => 128 + (-37.945 * r - 74.494 * g + 112.439 * b) / 256;
const red = (r, g, b) => 128 + (112.439 * r - 94.154 * g - 18.285 * b) / 256;

// The card's I420 frame PLANES dimmed, with WORDS (RGBA, not premultiplied) laid over it.
export function framedWords(planes, words) {
  const frame = new Uint8Array(planes), chroma = WIDTH * HEIGHT, quarter = chroma / 4;
  for (let i = 0; i < chroma; i++) {
    const a = words[i * 4 + 3] / 255, dimmed = 16 + (frame[i] - 16) * DIM;
    frame[i] = Math.round(dimmed * (1 - a) + luma(words[i * 4], words[i * 4 + 1], words[i * 4 + 2]) * a);
  }
  for (let y = 0; y < HEIGHT / 2; y++) {
    for (let x = 0; x < WIDTH / 2; x++) {
      let a = 0, r = 0, g = 0, b = 0;
      for (const at of [2 * y * WIDTH + 2 * x, 2 * y * WIDTH + 2 * x + 1, (2 * y + 1) * WIDTH + 2 * x, (2 * y + 1) * WIDTH + 2 * x + 1]) {
        const w = words[at * 4 + 3] / 255;
        a += w / 4, r += words[at * 4] * w / 4, g += words[at * 4 + 1] * w / 4, b += words[at * 4 + 2] * w / 4;
      }
      const [u, v] = [chroma + y * WIDTH / 2 + x, chroma + quarter + y * WIDTH / 2 + x];
      frame[u] = Math.round((128 + (frame[u] - 128) * DIM) * (1 - a) + (a ? blue(r / a, g / a, b / a) * a : 0));
      frame[v] = Math.round((128 + (frame[v] - 128) * DIM) * (1 - a) + (a ? red(r / a, g / a, b / a) * a : 0));
    }
  }
  return frame;
}

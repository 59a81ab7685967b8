// The browser card's one HTML file (a copy with engines.mjs's probe in it):
// a sender's session in Chromium, Firefox and WebKit, and what only Chromium
// emulates. Each wait is for something seen, within LIMITS (engines.mjs). Usage:
// node card_test.mjs scenario.ENGINE|video|no_webgl|scripts_off|screens PAGE.html WORK_DIR
import { launch, fail, LIMITS, PROBE } from './engines.mjs';
import axe from 'axe-core';
import { execFileSync, spawnSync } from 'node:child_process';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { createServer } from 'node:http';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [testCase, pagePath, work] = process.argv.slice(2);
mkdirSync(`${work}/site`, { recursive: true });
const probed = readFileSync(pagePath, 'utf8').replace('<head>', `<head>${PROBE}`);
writeFileSync(`${work}/holiday-card.html`, probed);
writeFileSync(`${work}/site/holiday-card.html`, readFileSync(pagePath));  // served, the probe put in
const pageUrl = pathToFileURL(`${work}/holiday-card.html`).href;

// The first truthy answer of CHECK, asked every 200 ms within the limit of a wait (or SECONDS).
async function waitFor(what, check, seconds = LIMITS.wait) {
  let error = '';
  for (const end = Date.now() + seconds * 1000; Date.now() < end; await new Promise((r) => setTimeout(r, 200)))
    try { const answer = await check(); if (answer) return answer; } catch (e) { error = ` (${e.message})`; }
  fail(`wait, waited ${seconds} s for ${what}${error}`);
}

// FOLDER's files over HTTP on the loopback address, the probe put in each
// page, "/" being index.html; every path asked for is kept in log. A page
// asked for with ?held=ID stops before the script element ID until release();
// one asked for with ?scripts=off runs none, as a mail program's preview.
async function serve(folder) {
  let release;
  const held = new Promise((resolve) => { release = resolve; });
  const log = [], server = createServer(async (request, response) => {
    log.push(request.url);
    const path = join(folder, request.url.split(/[?#]/)[0].replace(/\/$/, '/index.html')), hold = /[?&]held=([\w-]+)/.exec(request.url);
    try {
      const file = path.endsWith('.html') ? readFileSync(path, 'utf8').replace('<head>', `<head>${PROBE}`) : readFileSync(path);
      const cut = hold ? file.search(new RegExp(`<script[^>]* id="${hold[1]}"`)) : file.length;
      if (request.url.includes('scripts=off'))
        response.setHeader('Content-Security-Policy', "script-src 'none'");
      response.write(file.slice(0, cut));
      await (hold && held);
      response.end(file.slice(cut));
    } catch { response.statusCode = 404, response.end(); }
  }).listen(0, '127.0.0.1');
  await new Promise((resolve) => server.on('listening', resolve));
  return { url: `http://127.0.0.1:${server.address().port}`, log, release, close: () => (release(), server.close()) };
}
// Opens URL by the page's own hand: a held page never ends loading, which every driver's own navigation waits for.
const openHeld = (browser, url) => browser.evaluate((url) => { location.href = url; }, url);

// What the page shows and the probe saw.
const state = (browser) => browser.evaluate(() => {
  const $ = (id) => document.getElementById(id), canvas = $('canvas');
  return { decodes: cardTest.decodes, starts: cardTest.starts, lines: cardTest.lines, hint: !$('hint').hidden,
    status: $('status').textContent, label: canvas.getAttribute('aria-label'), drawnAs: $('drawn-as').textContent,
    alt: $('still').alt, pictured: ['canvas', 'still'].filter((id) => $(id).getClientRects().length && getComputedStyle($(id)).visibility == 'visible').join(),
    shown: ['composer', 'copy-link', 'no-link'].filter((id) => !$(id).hidden), audio: Module.cardAudio?.state,
    size: [canvas.width, canvas.height, canvas.clientWidth, devicePixelRatio].join(),
    injected: document.querySelectorAll('img:not(#still)').length || window.cardTestInjected, refused: cardTest.refused };
});
const open = async (engine, options) => { const browser = await launch(engine, options); await browser.goto(pageUrl); return browser; };
const until = (browser, what, test) => waitFor(what, async () => { const seen = await state(browser); return test(seen) && seen; });

// The points of a glyph's box at (left, top) on the 640 x 480 card; how much is white, how much dark.
const box = (left, top) => Array.from({ length: 16 * 24 }, (_, i) => [left + (i % 16) * 2, top + Math.floor(i / 16) * 2]);
const share = (colours, test) => colours.filter(test).length / colours.length;
const white = (colours) => share(colours, (c) => Math.min(...c) > 240);
const dark = (colours) => share(colours, (c) => c[0] + c[1] + c[2] < 60);
// The clear colour seen through the clear sky: red alone from half to full, or red and green adding up to half.
const pulseColour = ([r, g, b]) => b <= 5 && ((g <= 3 && r >= 122) || Math.abs(r + g - 128) <= 6);
const SKY = [[20, 210], [100, 215]];  // where the picture is fully transparent
// Colours at points of the 640 x 480 card, read from the canvas or the still.
const pixels = (browser, points, id = 'canvas') => browser.evaluate((points, id) => {
  const card = document.getElementById(id), [width, height] = [card.naturalWidth || card.width, card.naturalHeight || card.height];
  const context = Object.assign(document.createElement('canvas'), { width, height }).getContext('2d');
  context.drawImage(card, 0, 0);
  return points.map(([x, y]) => [...context.getImageData(Math.floor(x * width / 640), Math.floor(y * width / 640), 1, 1).data.slice(0, 3)]);
}, points, id);

// The greeting white with dark rims and the sky the pulse colour; then the
// sky in another colour, as the card goes on drawing.
async function cardRuns(browser) {
  const sky = await waitFor('the card to be drawn', async () => {
    const seen = await pixels(browser, [...box(32, 12), ...SKY]), greeting = seen.slice(0, 384);
    return white(greeting) > 1 / 6 && dark(greeting) > 1 / 10 && seen.slice(384).every(pulseColour) && JSON.stringify(seen.slice(384));
  });
  await waitFor('the pulse colour to change', async () => JSON.stringify(await pixels(browser, SKY)) != sky);
}

// The next frame drawn both ways at one pulse, every quad and from the text
// layer. They differ by rounding alone: a quad too faint to move an 8-bit
// pixel by half a level leaves it, while the layer gathers it from white.
// Across a pulse's period that is 1.1% of pixels (4.3% in WebKit) and up to
// 43 levels; a stale, unshadowed or misblended layer is far beyond.
async function pathsAgree(browser, when) {
  const [share, worst] = await browser.evaluate(() => new Promise((resolve) => {
    const gl = document.getElementById('canvas').getContext('webgl'), frames = [], pages = Module.cardFrameDrawn;
    Module.cardFrameDrawn = () => {
      const frame = new Uint8Array(gl.drawingBufferWidth * gl.drawingBufferHeight * 4);
      gl.readPixels(0, 0, gl.drawingBufferWidth, gl.drawingBufferHeight, gl.RGBA, gl.UNSIGNED_BYTE, frame);
      if (frames.push(frame) < 2) return;
      Module.cardFrameDrawn = pages;
      let apart = 0, worst = 0;
      for (let i = 0; i < frame.length; i += 4) {
        const most = Math.max(...[0, 1, 2].map((c) => Math.abs(frames[0][i + c] - frame[i + c])));
        apart += most > 4, worst = Math.max(worst, most);
      }
      resolve([apart / (frame.length / 4), worst]);
    };
    Module.cardTestBothPaths = true;
  }));
  if (share > 0.05 || worst > 48) fail(`${when}, the layer's frame differs: ${(share * 100).toFixed(2)}% of pixels, by up to ${worst}`);
}

// The page's compressed tune against the WAV it was made from, both decoded
// here: as long, to 0.2 s, and the same waveform, correlated at 0.999 or
// better once the decoder's delay (found within 0.1 s) is taken out.
async function tuneKept(browser) {
  const wav = readFileSync(TUNE).toString('base64');
  const [longer, correlation] = await browser.evaluate(async (wav) => {
    const decode = (text) => new OfflineAudioContext(1, 1, 22050).decodeAudioData(Uint8Array.from(atob(text), (c) => c.charCodeAt(0)).buffer)
      .then((tune) => tune.getChannelData(0));
    const [tune, original] = await Promise.all([decode(JSON.parse(document.getElementById('card-tune').textContent)['/assets/ha_xmas.m4a']), decode(wav)]);
    const correlate = (lag, from, to) => {
      let xy = 0, xx = 0, yy = 0;
      for (let i = from; i < to; i++) { const x = original[i], y = tune[i + lag] || 0; xy += x * y, xx += x * x, yy += y * y; }
      return xy / Math.sqrt(xx * yy);
    };
    const lags = Array.from({ length: 4411 }, (_, i) => i - 2205), window = (lag) => correlate(lag, 22050, 44100);
    const lag = lags.reduce((best, next) => (window(next) > window(best) ? next : best));
    return [(tune.length - original.length) / 22050, correlate(lag, 2205, original.length - 2205)];
  }, wav);
  if (Math.abs(longer) > 0.2 || !(correlation >= 0.999)) fail(`the page's tune is ${longer} s longer, correlated at ${correlation}`);
}

// The name's glyph boxes (35.2 pixels apart) lit where LIT has a 1 and dark where a 0; with its label (the still's too).
async function glyphsLit(browser, lit, id) {
  const seen = await pixels(browser, [...lit].flatMap((_, i) => box(32 + i * 35.2, 276)), id);
  return [...lit].every((bit, i) => (white(seen.slice(i * 384, (i + 1) * 384)) > 1 / 20) == (bit == '1'));
}
const nameDrawn = async (browser, name, lit) => await glyphsLit(browser, lit) &&
  until(browser, `the label to end with ${name}`, (seen) => seen.label.endsWith(` ${name}`) && seen.alt == seen.label);

// The card drops the letter that breaks a full line: the label and the composer say so (a name beyond
// Windows-1252 is labelled as typed).
const NAME = 'Zoë & José </script>', NAME_SHOWN = 'Zoë & José </scr pt>', NAME_LIT = '1110101111';
const SAVED_BLOCK = '<script type="text/plain" id="sender-name" data-encoding="percent">Zoë & José %3C/script></script>';
const HTML_NAME = '<img src=x onerror=cardTestInjected=1>Ł', HTML_DRAWN = '<img src=x onerr r=cardTestInje ted=1>Ł';

// As an injected script would: reach ADDRESS by fetch, an image, a beacon,
// a stylesheet and a frame. What the policy refused, once each has been.
const reachOut = (browser, address) => browser.evaluate(async (address) => {
  const refused = cardTest.refused.length;
  fetch(`${address}/fetch`).catch(() => {});
  Object.assign(new Image(), { src: `${address}/image` });
  navigator.sendBeacon(`${address}/beacon`, 'name');
  document.head.append(Object.assign(document.createElement('link'), { rel: 'stylesheet', href: `${address}/style` }));
  document.body.append(Object.assign(document.createElement('iframe'), { src: `${address}/frame` }));
  for (let i = 0; i < 100 && cardTest.refused.length < refused + 5; i++) await new Promise((r) => setTimeout(r, 100));
  return cardTest.refused.slice(refused);
}, address);

// What the page hands to a download or the share sheet, kept by the probe instead.
const keepDownloads = (browser) => browser.evaluate(() => {
  URL.createObjectURL = (file) => { cardTest.file = file; return 'blob:kept'; };
  HTMLAnchorElement.prototype.click = function () { cardTest.download = this.download, cardTest.href = this.href; };
  cardTest.file = cardTest.shared = cardTest.download = null;
});

// What Save the card hands to a download: the file's text and name.
async function savedCard(browser) {
  await keepDownloads(browser);
  await browser.clickOn('#save');
  return waitFor('the saved card', () => browser.evaluate(async () => cardTest.file && { saved: await cardTest.file.text(), download: cardTest.download }));
}

async function scenario(engine) {
  // A sender's session, served: every request the page makes is seen, and it
  // makes none but for itself (its pictures, program and files are data: and
  // blob: addresses), which its policy would refuse anyway.
  const site = await serve(`${work}/site`), requests = [];
  const browser = await launch(engine, { width: 800, height: 700 });
  browser.page?.on('request', (request) => requests.push(request.url()));
  await browser.goto(`${site.url}/holiday-card.html`);
  await cardRuns(browser);
  await pathsAgree(browser, 'at the start');
  // Decoded, the tune waits with the hint shown until a click starts it, once.
  let seen = await until(browser, 'the tune decoded and the hint', (s) => s.decodes == 1 && s.hint);
  if (seen.starts) fail('the tune started before any gesture');
  await browser.click(400, 300);
  await until(browser, 'the tune to start once, the hint gone', (s) => s.starts == 1 && !s.hint);
  await tuneKept(browser);
  await browser.evaluate(`() => { ${axe.source}\n}`);  // as a script of the test's: the page's policy forbids eval
  const violations = await browser.evaluate(async () => (await axe.run(document)).violations.map((v) => `${v.id}: ${v.help}`));
  if (violations.length) fail(`axe: ${violations.join('; ')}`);

  // The composer: the name typed and previewed is drawn and labelled; Escape
  // in its field leaves the card running; the saved file is the page with
  // only the name block changed (its policy too), under a name safe for any disk.
  await browser.clickOn('#compose');
  await until(browser, 'the composer, with a link to copy', (s) => s.shown.join() == 'composer,copy-link');
  await browser.type('#name-field', NAME);
  await browser.clickOn('#preview');
  await waitFor('the typed name drawn', () => nameDrawn(browser, NAME_SHOWN, NAME_LIT));
  await pathsAgree(browser, 'with a new name');
  await browser.clickOn('#name-field');
  await browser.press('Escape');
  await cardRuns(browser);
  const { saved: file, download } = await savedCard(browser);
  // Its label, the still's text and the still itself are the new name's, checked when it opens.
  const blank = (page) => page.replace(/(aria-label="HAPPY|alt="HAPPY|src="data:image\/jpeg)[^"]*"/g, '$1"');
  const [expected, saved] = [blank(probed.replace(/<script type="text\/plain" id="sender-name">[^<]*<\/script>/, SAVED_BLOCK)), blank(file)];
  const differ = [...expected].findIndex((c, i) => saved[i] != c);
  if (saved != expected) fail(`the saved card differs at ${differ}: ${JSON.stringify(saved.slice(differ - 40, differ + 80))}`);
  if (!/^holiday-card-from-Zoe-Jose[A-Za-z0-9-]*\.html$/.test(download)) fail(`saved as ${download}`);
  await keepDownloads(browser);
  await browser.clickOn('#save-picture');
  const picture = await waitFor('the picture saved', () => browser.evaluate(() => cardTest.download && [cardTest.download, cardTest.href.slice(0, 23)]));
  if (!/^holiday-card-from-Zoe-Jose[A-Za-z0-9-]*\.jpg,data:image\/jpeg;base64,$/.test(picture)) fail(`the picture saved as ${picture}`);
  await videoChecked(browser, await videoMade(browser, 'Zoë & José'), engine);
  await cardRuns(browser);

  const own = (url) => url == `${site.url}/holiday-card.html` || /^(data|blob):/.test(url);
  seen = await state(browser);
  if (site.log.join() != '/holiday-card.html' || !requests.every(own) || seen.refused.length)
    fail(`the page asked for ${site.log}, requested ${requests.filter((url) => !own(url))}, and its policy refused ${seen.refused}`);
  const other = await serve(work), refused = await reachOut(browser, other.url);
  if (other.log.length || refused.length != 5 || !refused.every((uri) => uri.startsWith(other.url)))
    fail(`reaching out, the page asked for ${other.log} of another server, and its policy refused ${refused}`);
  other.close();

  // The name in a link is drawn and labelled (also when the address
  // changes), and reaches the page as text, never HTML.
  await browser.goto(`${site.url}/holiday-card.html#from=Zo%C3%AB`);
  await waitFor('the linked name drawn', () => nameDrawn(browser, 'Zoë', '11100'));
  await browser.evaluate((name) => { location.hash = `#from=${encodeURIComponent(name)}`; }, HTML_NAME);
  seen = await until(browser, 'the name from the new address', (s) => s.label.endsWith(HTML_NAME));
  if (seen.injected || seen.drawnAs != `drawn as: ${HTML_DRAWN}`) fail(`the address's name as HTML: ${seen.drawnAs}`);

  // Escape ends the card, with no GL error said; "See the card again" starts
  // it afresh, and there a GL error is said in its one line.
  await browser.evaluate(() => document.activeElement.blur());
  await browser.press('Escape');
  seen = await until(browser, 'the card to end', (s) => s.status.startsWith('The card has ended'));
  if (seen.starts != 1 || seen.decodes != 1) fail(`the tune decoded ${seen.decodes} times and started ${seen.starts}`);
  if (seen.lines.some((line) => line.startsWith('error at'))) fail(`GL errors: ${seen.lines.join(' | ')}`);
  await browser.clickOn('#again');
  await until(browser, 'the card afresh', (s) => s.status == '' && s.decodes == 1);
  await cardRuns(browser);
  await browser.evaluate(() => document.getElementById('canvas').getContext('webgl').enable(0x1234));
  await until(browser, 'the GL error said', (s) => s.lines.some((line) => /^error at src\/\S+:\d+: GL_INVALID_ENUM$/.test(line)));

  // The saved file, opened alone from disk, shows the card with the name,
  // composer closed, saying that a link would lead to a disk.
  writeFileSync(`${work}/saved.html`, file);
  await browser.goto(pathToFileURL(`${work}/saved.html`).href);
  seen = await waitFor('the saved name drawn', () => nameDrawn(browser, NAME_SHOWN, NAME_LIT));
  if (seen.shown.join() != 'no-link') fail(`the saved card opens showing ${seen.shown}`);
  if (!await glyphsLit(browser, NAME_LIT, 'still')) fail("the saved card's still lacks the name");

  // Held before its tune (opened afresh, which holds sound back): a tap on the live card wakes the
  // sound, and the tune plays once it has arrived, with no second tap.
  const late = await serve(`${work}/site`);
  await browser.goto('about:blank');  // a gesture on the site before would carry over
  await openHeld(browser, `${late.url}/holiday-card.html?held=card-tune`);
  await cardRuns(browser);
  await until(browser, 'the sound held back', (s) => s.audio == 'suspended' && !s.decodes);
  if (await browser.evaluate(() => document.getElementById('compose').hidden)) fail('held before its tune, the page offers no composer');
  await browser.click(400, 300);
  await until(browser, 'the sound woken by the tap', (s) => s.audio == 'running' && !s.decodes);
  late.release();
  await until(browser, 'the tune to start once it arrives', (s) => s.decodes == 1 && s.starts == 1 && !s.hint);
  await messageTravels(browser, site);
  await Promise.all([site.close(), late.close(), browser.close()]);
}

// A message typed with a Latin name, a Russian paragraph, an Arabic one and
// one of markup, as the preview shows it, a link opened afresh, the saved
// card opened afresh and, for its text, with its scripts off: each
// paragraph in its own direction, the markup as text. A link whose message
// is broken opens the card without one, saying so.
const MESSAGE = ['Дорогая бабушка, ждём тебя на Пасху!', 'جدتي العزيزة، نشتاق إليك', '<img src=x onerror=cardTestInjected=1> & "</script><!--'];
const MESSAGE_SHOWN = ['ltr', 'rtl', 'ltr'].map((direction, i) => `${direction} ${MESSAGE[i]}`).join('\n');
const messageShown = (browser) => browser.evaluate(() => !window.cardTestInjected &&
  [...document.querySelectorAll('#message p')].map((p) => `${getComputedStyle(p).direction} ${p.textContent}`).join('\n'));

async function messageTravels(browser, site) {
  await browser.goto(`${site.url}/holiday-card.html`);
  await browser.clickOn('#compose');
  await browser.type('#name-field', 'Zoe');
  await browser.type('#message-field', MESSAGE.join('\n'));
  await browser.press('Escape');  // in the message's field, not the card's
  await cardRuns(browser);
  await browser.clickOn('#preview');
  const shown = [['the preview', await messageShown(browser)]];
  await browser.clickOn('#copy-link');
  const link = await waitFor('the link', () => browser.evaluate(() => document.getElementById('link').value));
  writeFileSync(`${work}/site/saved.html`, (await savedCard(browser)).saved);
  for (const [what, address] of [['the link', link], ['the saved card', '/saved.html'], ['the saved card without scripts', '/saved.html?scripts=off']]) {
    await browser.goto('about:blank');
    await browser.goto(new URL(address, site.url).href);
    shown.push([what, await waitFor(`the message of ${what}`, () => messageShown(browser))]);
  }
  const wrong = shown.filter(([, seen]) => seen != MESSAGE_SHOWN);
  if (wrong.length) fail(`the message shows as ${wrong.map(([what, seen]) => `${JSON.stringify(seen)} in ${what}`).join('; ')}`);
  await browser.goto('about:blank');
  await browser.goto(`${site.url}/holiday-card.html#from=Zoe&msg=zBROKEN`);
  await waitFor('the broken link named, without its message', async () => await glyphsLit(browser, '111') &&
    (await state(browser)).lines.includes('#msg=: not compressed as the page compresses; the card opens without its message') &&
    await messageShown(browser) === '');
}

// Names in the world's scripts, drawn on a black picture (the test's copy of
// the page) and read back by OCR (tesseract, which knows nothing of how the
// page draws them): their letters in reading order, on the card's lines; the
// canvas's label as typed, less the characters that reorder text; where
// given, which of the first line's cells are lit (a cluster in one, an
// emoji in its own colours).
const SCRIPT_NAMES = [
  // name, tesseract's language, the lines read, the first line's lit cells, the cell of an emoji
  ['Маша Иванова-Петрова', 'rus', ['Маша Иванова-Пет', 'ова'], '1111011111110111'],
  ['Ελένη Παπαδοπούλου', 'ell', ['Ελένη Παπαδοπούλ', 'υ'], ''],
  ['Łukasz Żółć', 'pol', ['Łukasz Żółć'], '11111101111'],
  ['王小明', 'chi_sim', ['王小明'], '1110'],
  ['田中 ひろし', 'jpn', ['田中 ひろし'], '110111'],
  ['김민준', 'kor', ['김민준'], '1110'],
  ['محمد علي', 'ara', ['محمد علي'], ''],
  ['דוד כהן', 'heb', ['דוד כהן'], ''],
  ['अनीता शर्मा', 'hin', ['अनीता शर्मा'], ''],
  ['มาลี ศรีสุข', 'tha', ['มาลี ศรีสุข'], ''],
  // without OCR: a name whose direction was reversed, with an emoji; a cluster of two marks on a letter
  ['\u202eAnn\u202c \u{1F384}', null, ['Ann \u{1F384}'], '1110', 4],
  ['Adébáyọ̀', null, ['Adébáyọ̀'], '11111110'],
];
const BLACK_PNG = 'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVQI12NgYGD4DwABBAEApOCsMQAAAABJRU5ErkJggg==';

// After the card's next frame, its four lines of a name: each a 640 x 56
// strip of the frame round its glyphs, grey, light on dark turned dark on
// light and twice as large for OCR (as PNG), or null where it is blank; the
// canvas's label, and the line under the field.
const nameRead = (browser) => browser.evaluate(async () => {
  while (Module.cardNewName) await new Promise((r) => setTimeout(r, 20));
  await new Promise((resolve) => { const page = Module.cardFrameDrawn; Module.cardFrameDrawn = () => { Module.cardFrameDrawn = page; page(); resolve(); }; });
  const card = document.getElementById('canvas'), read = Object.assign(document.createElement('canvas'), { width: 1280, height: 112 });
  const context = read.getContext('2d'), lines = [];
  for (let line = 0, top = 272; line < 4; line++, top += 52.8) {
    context.fillRect(0, 0, 1280, 112);
    context.drawImage(card, 0, top, 640, Math.min(56, 480 - top), 0, 0, 1280, 2 * Math.min(56, 480 - top));
    const image = context.getImageData(0, 0, 1280, 112), rgba = image.data;
    for (let i = 0; i < rgba.length; i += 4)
      rgba[i] = rgba[i + 1] = rgba[i + 2] = 255 - (0.3 * rgba[i] + 0.59 * rgba[i + 1] + 0.11 * rgba[i + 2]);
    context.putImageData(image, 0, 0);
    lines.push(rgba.some((v, i) => i % 4 == 0 && v < 128) ? read.toDataURL('image/png') : null);
  }
  return [lines, card.getAttribute('aria-label'), document.getElementById('drawn-as').textContent];
});

// The same for a name given by a link.
async function drawnFrom(browser, name) {
  await browser.evaluate((name) => new Promise((resolve) => {
    addEventListener('hashchange', () => resolve(), { once: true });
    location.hash = `#from=${encodeURIComponent(name)}`;
  }), name);
  return nameRead(browser);
}

// Tesseract's reading of one line, without spaces (the card's cells put gaps
// between letters) and in small letters (an accent over a capital makes it
// as small as the atlas's own accented capitals, and OCR reads it as small).
function ocrLine(png, language, layout = '7') {
  writeFileSync(`${work}/ocr-${language}.png`, Buffer.from(png.split(',')[1], 'base64'));
  const text = execFileSync('tesseract', [`${work}/ocr-${language}.png`, '-', '-l', language, '--psm', layout], { stdio: ['ignore', 'pipe', 'ignore'] });
  return text.toString().normalize('NFC').toLowerCase().replace(/\s+/g, '');
}

// The test's copy of the page on a black picture, in a browser.
async function openBlack(engine, options) {
  writeFileSync(`${work}/black.html`, probed.replace(/("\/assets\/tormbriskchristmas\.png":")[^"]*"/, `$1${BLACK_PNG}"`));
  const browser = await launch(engine, { width: 800, height: 700, ...options });
  await browser.goto(pathToFileURL(`${work}/black.html`).href);
  await waitFor('the greeting', async () => white(await pixels(browser, box(32, 12))) > 1 / 6);
  return browser;
}

// What is wrong with one of SCRIPT_NAMES as the card draws it now (READ: its lines, label and line under the field).
async function nameProblem(browser, read, [name, language, lines, lit, emoji]) {
  const [strips, label, drawnAs] = read, typed = name.replace(/[\u202a-\u202e]/g, '');
  const seen = strips.map((png) => png && (language ? ocrLine(png, language) : '?')).filter((line) => line !== null);
  const wanted = lines.map((line) => (language ? line.replace(/\s+/g, '').toLowerCase() : '?'));
  if (seen.join('|') != wanted.join('|'))
    return `${name} reads as ${seen.join(' / ')}, not ${wanted.join(' / ')}`;
  if (label != `HAPPY HOLIDAYS AND A HAPPY NEW YEAR FROM ${typed}` || drawnAs != (lines.length > 1 ? `drawn as: ${lines.join(' ')}` : ''))
    return `${name} is labelled "${label}", and "${drawnAs}" under the field`;
  if (lit && !await glyphsLit(browser, lit))
    return `${name} does not light the cells ${lit}`;
  const coloured = emoji && share(await pixels(browser, box(32 + emoji * 35.2, 276)), (c) => Math.max(...c) - Math.min(...c) > 60);
  return emoji && !(coloured > 0.05) ? `${name}: its emoji has ${coloured} of its cell in colour` : null;
}

async function scripts(engine) {
  const browser = await openBlack(engine), wrong = [];
  for (const names of SCRIPT_NAMES)
    wrong.push(await nameProblem(browser, await drawnFrom(browser, names[0]), names));
  if (wrong.some(Boolean)) fail(wrong.filter(Boolean).join('; '));
  await browser.close();
}

// The page in its reader's language: readers of German, Japanese and Arabic get none of the English
// page's words (its controls and labels, the composer's lines for a name it cuts, the end line), the
// page's lang, and in Arabic a page that runs right to left (the composer's first button rightmost); a
// reader of a language the page lacks gets English. The card they save is the page as it came, to speak
// to its own reader. One browser asks for each in turn, but WebKit's, which takes its language from its
// process's locale: there each has its own.
const ENGLISH = JSON.parse(readFileSync(new URL('../../web/lang/en.json', import.meta.url), 'utf8'));
const englishParts = Object.values(ENGLISH).flatMap((text) => text.split(/\{\w+\}/)).map((part) => part.trim()).filter((part) => part.length > 3);

async function languages(engine) {
  const shared = engine == 'webkit' ? null : await launch(engine, { width: 800, height: 700 });
  for (const [asked, language, direction] of [['de-DE', 'de', 'ltr'], ['ja-JP', 'ja', 'ltr'], ['ar-EG', 'ar', 'rtl'], ['sw-KE', 'en', 'ltr']]) {
    const browser = shared ?? await launch(engine, { width: 800, height: 700, language: asked });
    await shared?.askFor(asked);
    await browser.goto(pageUrl);
    await cardRuns(browser);
    await browser.clickOn('#compose');
    const { saved } = await savedCard(browser);  // it will speak to its own reader
    if (!saved.includes('<html lang="en">') || !saved.includes(`>${ENGLISH.compose}<`)) fail(`asking for ${asked}, the card is saved in another language`);
    await browser.evaluate(() => { document.getElementById('name-field').value = 'Ö'.repeat(300); document.getElementById('preview').click(); });
    await until(browser, 'the name cut', (seen) => seen.drawnAs);
    await browser.evaluate(() => document.activeElement.blur());
    await browser.press('Escape');
    await until(browser, 'the end', (seen) => seen.status);
    const page = await browser.evaluate(() => {
      const words = [...document.body.querySelectorAll(':not(script, noscript)')].flatMap((e) => [...e.childNodes].filter((n) => n.nodeType == 3).map((n) => n.data)
        .concat(e.id == 'canvas' || e.id == 'still' ? [] : [e.getAttribute('aria-label') || '', e.getAttribute('alt') || '']));
      const first = (id) => document.getElementById(id).getBoundingClientRect().left;
      return { words: words.join('\n'), lang: document.documentElement.lang, direction: getComputedStyle(document.documentElement).direction,
        rightToLeft: first('preview') > first('save') };
    });
    const english = englishParts.filter((part) => page.words.includes(part));
    if (page.lang != language || page.direction != direction || page.rightToLeft != (direction == 'rtl'))
      fail(`asking for ${asked}: a page in "${page.lang}", ${page.direction}, its buttons ${page.rightToLeft ? 'right to left' : 'left to right'}`);
    if (language == 'en' ? english.length < 10 : english.length) fail(`asking for ${asked}, the page says in English: ${english.join(' | ')}`);
    if (!shared) await browser.close();
  }
  await shared?.close();
}

// Served slowly, the page held back before its pictures: the still stands
// in the card's box, visible, the paint's largest; once the rest comes, the
// live card takes the same box. A link's page held back after the program,
// before its words, tune and video maker: the still (the page's own name)
// never shows, and the live card's first frame, with the link's name, is the
// full page's first frame.
async function stillFirst(link) {
  const site = await serve(`${work}/site`), browser = await launch('chromium', { width: 800, height: 700 });
  await openHeld(browser, `${site.url}/holiday-card.html?held=${link ? 'card-words' : 'card-assets'}${link}`);
  const box = (id) => browser.evaluate((id) => {
    const e = document.getElementById(id);
    return e && getComputedStyle(e).visibility == 'visible' && (e.naturalWidth ?? 1) && JSON.stringify(e.getBoundingClientRect());
  }, id);
  const largest = () => browser.evaluate(() => new Promise((resolve) => {
    new PerformanceObserver((list) => resolve(list.getEntries().at(-1).element?.id)).observe({ type: 'largest-contentful-paint', buffered: true });
    setTimeout(() => resolve(null), 1000);
  }));
  await waitFor('the page up to its data', () => browser.evaluate(() => !!document.getElementById('below')));
  if (link) {
    await waitFor('the live card before the rest of the page', () => box('canvas'));
    const first = await browser.evaluate(() => cardTest.firstFrame);
    if (await box('still') || await largest() == 'still' || !await glyphsLit(browser, '11100')) fail(`held back${link}, the still is ${await box('still')}`);
    site.release();
    await browser.goto(`${site.url}/holiday-card.html${link}`);
    const full = await waitFor("the full page's first frame", () => browser.evaluate(() => cardTest.firstFrame));
    const apart = first.filter((v, i) => Math.abs(v - full[i]) > 2).length;
    if (apart) fail(`the first frame held back differs from the full page's in ${apart} of 4096 samples`);
  } else {
    const still = await waitFor('the still', () => box('still'));
    if (await largest() != 'still') fail(`held back, the still is not the largest paint`);
    site.release();
    const canvas = await waitFor('the live card', () => box('canvas'));
    if (await box('still') || canvas != still) fail(`the live card stands at ${canvas}, the still at ${still} and now ${await box('still')}`);
  }
  await browser.close();
  site.close();
}

const cases = {
  still_first: async () => { await stillFirst(''); await stillFirst('#from=Zo%C3%AB'); },
  // A card saved with a Chinese name, opened where the browser finds only
  // DejaVu's fonts, which have no Chinese: the name as the sender saw it,
  // from the glyphs the file carries; another name in Chinese there, by a
  // link, is the recipient's to draw, and this one cannot.
  async saved_glyphs() {
    const sender = await openBlack('chromium'), chinese = SCRIPT_NAMES.find(([name]) => name == '王小明');
    await sender.clickOn('#compose');
    await sender.type('#name-field', chinese[0]);
    const { saved } = await savedCard(sender);
    await sender.close();
    writeFileSync(`${work}/saved.html`, saved);
    writeFileSync(`${work}/dejavu.conf`, `<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "fonts.dtd">\n<fontconfig>
      <dir>/usr/share/fonts/truetype/dejavu</dir><cachedir>${work}/font-cache</cachedir></fontconfig>\n`);
    const recipient = await launch('chromium', { width: 800, height: 700, env: { ...process.env, FONTCONFIG_FILE: `${work}/dejavu.conf` } });
    await recipient.goto(pathToFileURL(`${work}/saved.html`).href);
    const problem = await nameProblem(recipient, await nameRead(recipient), chinese);
    if (problem) fail(`the saved card, without Chinese fonts: ${problem}`);
    const [, , drawnAs] = await drawnFrom(recipient, '明王');
    if (drawnAs != 'drawn as: ??') fail(`without Chinese fonts a link's Chinese name is "${drawnAs}"`);
    await recipient.close();
  },

  // At density 2: Cancel stops the making at once, and the live card goes
  // on; with a share sheet one fresh tap shares the file alone; a page hidden
  // part-way through (another tab in front) makes nothing while its timers
  // run on, and shown again it gives the whole video, as the card is (the
  // checks of every engine's), or says in one line that it stopped.
  async video() {
    const browser = await launch('chromium', { width: 800, height: 700, scale: 2 });
    await browser.page.evaluateOnNewDocument(() => {
      navigator.canShare = (data) => data.files.length == 1;
      navigator.share = (data) => { cardTest.shared = data; return Promise.resolve(); };
    });
    const site = await serve(`${work}/site`);  // Make a video before the video maker has arrived starts it when it does
    await openHeld(browser, `${site.url}/holiday-card.html?held=card-video`);
    await cardRuns(browser);
    await browser.clickOn('#compose');
    await browser.clickOn('#make-video');
    const waiting = await browser.evaluate(() => document.getElementById('video-line').textContent);
    if (waiting != ENGLISH.videoComing) fail(`asked for before the video maker arrived, the page says "${waiting}"`);
    site.release();
    await waitFor('frames made', () => browser.evaluate(() => document.getElementById('video-progress').value >= 30));
    await browser.clickOn('#cancel-video');
    const [line, done, all] = await waitFor('the making cancelled', () => browser.evaluate(() => !Module.cardMakingVideo &&
      [document.getElementById('video-line').textContent, document.getElementById('video-progress').value, document.getElementById('video-progress').max]));
    if (line != 'The video was cancelled.' || done == all) fail(`cancelled, the page says "${line}" after ${done} of ${all} frames`);
    await cardRuns(browser);
    const shared = await videoMade(browser, 'Зоя Хосе', null, VIDEO_MESSAGE);
    await browser.evaluate(() => { Object.defineProperty(navigator, 'userAgent', { value: 'Mozilla/5.0 (iPhone)' }); });
    await browser.clickOn('#share-video');  // on an iPhone the file alone: WhatsApp there drops a file shared with text
    const onIPhone = await browser.evaluate(() => Object.keys(cardTest.shared).join());
    if (shared.shared != 'files,text' || onIPhone != 'files' || shared.type != 'video/mp4') fail(`shared ${shared.shared}, on an iPhone ${onIPhone} (${shared.type})`);
    await videoChecked(browser, shared, 'chromium', { file: 'Зоя-Хосе', lit: '11101111', message: 5 });
    const ending = execFileSync('ffmpeg', ['-v', 'error', '-sseof', '-0.5', '-i', shared.path, '-frames:v', '1', '-vf',
      "format=gray,geq=lum='if(gt(lum(X,Y),190),0,255)'", '-f', 'image2pipe', '-c:v', 'png', '-']);  // the white words alone, dark on light
    const read = ocrLine(`data:image/png;base64,${ending.toString('base64')}`, 'rus', '6');
    if (!['бабушка', 'пасху'].every((word) => read.includes(word))) fail(`the video's last frame reads "${read}"`);
    await browser.evaluate(() => { delete navigator.canShare; delete navigator.share; });
    const made = await videoMade(browser, 'Zoë & José', async () => {
      await waitFor('frames made', () => browser.evaluate(() => document.getElementById('video-progress').value >= 60));
      await stillWhileHidden(browser, '_card_draw_video_frame');
    });
    const frames = execFileSync('ffprobe', ['-v', 'error', '-select_streams', 'v', '-count_packets', '-show_entries', 'stream=nb_read_packets',
      '-of', 'csv=p=0', made.path || '/dev/null']).toString().trim();
    if (made.line ? made.line != 'The video could not be made: it was stopped while the page was hidden; make it again.' : frames != made.frames)
      fail(`shown again, the page says "${made.line}"; ${frames} frames of ${made.frames}`);
    if (!made.line)
      await videoChecked(browser, made, 'chromium');
    await cardRuns(browser);
    await Promise.all([browser.close(), site.close()]);
  },

  // Without WebGL (getContext answers null) the card's still stands in its
  // place with one line, the console says why, and there is no hint of music.
  async no_webgl() {
    const browser = await open('chromium', { args: ['--disable-webgl'] }), text = 'CreateWindow() failed:  Cannot create a window.';
    const seen = await until(browser, 'the still and its line', (s) => s.status == 'This browser cannot animate the card.' && s.pictured == 'still');
    if (!seen.lines.some((line) => line.startsWith(text)) || seen.hint) fail(`the console says ${seen.lines}; hint ${seen.hint}`);
    if (!await glyphsLit(browser, '111011111', 'still')) fail('the still lacks the name');
    await browser.close();
  },

  // With scripts off (as in a mail preview) the still and its line alone
  // stand in the card's place: no canvas and no control that cannot work.
  async scripts_off() {
    const browser = await open('chromium', { args: ['--blink-settings=scriptEnabled=false'] });
    const seen = await waitFor('the still', () => browser.evaluate(() => {
      const $ = (id) => document.getElementById(id), still = $('still');
      return still.naturalWidth && [still.alt, ...['canvas', 'still', 'compose'].map((id) => $(id).getClientRects().length), $('below').innerText.trim()];
    }));
    if (seen.join('|') != 'HAPPY HOLIDAYS AND A HAPPY NEW YEAR FROM The Elves|0|1|0|This is a picture of the card: allow scripts' +
      ' for this page, or open it in a web browser, to see it move and hear its tune.') fail(`with scripts off the page shows ${seen}`);
    if (!await glyphsLit(browser, '111011111', 'still')) fail('the still lacks the name');
    await browser.close();
  },

  // One browser, the page loaded afresh for each screen. At density 2, the first paint (before the scene is set
  // up) white with the greeting as black-rimmed boxes: the sky; inside the 'H' box, outside its glyph; the rims
  // left of and above it. Made bigger, the drawing buffer and the picture follow: snow in the bottom-right
  // corner, not the clear colour beyond an old viewport. A suspended tune plays on at the next click. Behind
  // another tab the card draws nothing while the page's timers run on (throttled, some seconds); brought back,
  // it goes on drawing. On a phone, upright and on its side, the card centred across and wholly in view below
  // the top (on its side, 70% of the height), with nothing to scroll, and the hint shown until a tap (touch
  // events, no mouse) starts the tune.
  async screens() {
    const browser = await open('chromium', { width: 500, height: 700, scale: 2 });
    await cardRuns(browser);
    const first = await browser.evaluate(() => cardTest.firstPaint);
    if (!(white(first.slice(0, 2)) == 1 && dark(first.slice(2)) == 1)) fail(`the first paint is ${JSON.stringify(first)}`);
    await browser.click(250, 300);
    await until(browser, 'the tune to start', (s) => s.starts == 1);
    await browser.page.setViewport({ width: 900, height: 700, deviceScaleFactor: 2 });
    await waitFor('the buffer and picture to follow', async () => (await state(browser)).size == '1280,960,640,2' &&
      (await pixels(browser, [[637, 477], [600, 470]])).every((c) => Math.min(...c) > 100));
    await pathsAgree(browser, 'made bigger');
    await browser.evaluate(() => Module.cardAudio.suspend());
    await until(browser, 'the tune to be suspended', (s) => s.audio == 'suspended');
    await browser.click(450, 300);
    await until(browser, 'the tune to play on', (s) => s.audio == 'running');
    await cardRuns(browser);
    if ((await state(browser)).starts != 1) fail('the tune started again');
    await stillWhileHidden(browser, 'cardFrameDrawn');
    await cardRuns(browser);
    for (const [width, height] of [[390, 844], [844, 390]]) {
      await browser.page.emulate({ viewport: { width, height, deviceScaleFactor: 3, isMobile: true, hasTouch: true },
        userAgent: 'Mozilla/5.0 (Linux; Android 14) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/140.0 Mobile Safari/537.36' });
      await browser.goto(pageUrl);
      await cardRuns(browser);
      await until(browser, 'the hint', (s) => s.decodes == 1 && s.hint);
      const [left, right, top, bottom, across, down, share] = await browser.evaluate(() => {
        const r = document.getElementById('canvas').getBoundingClientRect(), page = document.scrollingElement;
        return [r.left, innerWidth - r.right, r.top, innerHeight - r.bottom, page.scrollWidth - innerWidth, page.scrollHeight - innerHeight,
          r.height / innerHeight];
      });
      if (Math.abs(left - right) > 1 || top < 8 || bottom < 0 || across > 0 || down > 0 || (width > height && share < 0.7))
        fail(`at ${width} x ${height}: margins ${[left, right, top, bottom]}, overflow ${across} across, ${down} down, ${share} of the height`);
      await browser.page.touchscreen.tap(width / 2, height / 2);
      await until(browser, 'a tap to start the tune once', (s) => s.starts == 1 && !s.hint);
    }
    await browser.close();
  },
};

const VIDEO_MESSAGE = 'Дорогая бабушка, ждём тебя на Пасху!';

// The composer's video of the typed name, as the page hands it to a download
// (or to the share sheet, stood in before the page loaded): its file, its
// name, what was shared and its frames; or the page's one line.
// WHILE_MAKING, if given, runs once it has begun. Making it may take some
// minutes on a busy machine.
async function videoMade(browser, name, whileMaking, message = '') {
  await keepDownloads(browser);
  if (!(await state(browser)).shown.includes('composer'))
    await browser.clickOn('#compose');
  await browser.type('#name-field', name);
  await browser.type('#message-field', message);
  await browser.clickOn('#make-video');
  await whileMaking?.();
  const button = await waitFor('the video made', () => browser.evaluate(() => ['share-video', 'save-video'].find((id) =>
    !document.getElementById(id).hidden) || /could not|cannot/.test(document.getElementById('video-line').textContent) && 'none'), LIMITS.video);
  if (button == 'none')
    return { line: (await browser.evaluate(() => document.getElementById('video-line').textContent)) };
  await browser.clickOn(`#${button}`);
  const made = await waitFor('the video handed over', () => browser.evaluate(async () => {
    const file = cardTest.shared ? cardTest.shared.files[0] : cardTest.file;
    if (!file) return null;
    const data = await new Promise((done) => Object.assign(new FileReader(), { onload: (e) => done(e.target.result.split(',')[1]) }).readAsDataURL(file));
    return { data, type: file.type, name: file.name, shared: cardTest.shared && Object.keys(cardTest.shared).join(),
      frames: document.getElementById('video-progress').max.toString() };
  }));
  made.path = `${work}/video.${made.type.includes('webm') ? 'webm' : 'mp4'}`;
  writeFileSync(made.path, Buffer.from(made.data, 'base64'));
  made.probe = JSON.parse(execFileSync('ffprobe', ['-v', 'error', '-show_streams', '-show_format', '-of', 'json', made.path]));
  return made;
}

// Another tab in front: once the page is hidden, a few turns of its own timers (however
// slowed) bring no call of the page's HOOK (Module's); then the page in front again.
async function stillWhileHidden(browser, hook) {
  await browser.evaluate((hook) => { const call = Module[hook]; cardTest.calls = 0; Module[hook] = (...a) => (cardTest.calls++, call(...a)); }, hook);
  const seen = () => browser.evaluate(() => [document.visibilityState, cardTest.calls]);
  await (await browser.page.browser().newPage()).bringToFront();
  const before = await waitFor('the page hidden', async () => (await seen())[0] == 'hidden' && seen());
  await browser.evaluate(async () => { for (let turn = 0; turn < 5; turn++) await new Promise((r) => setTimeout(r, 100)); });
  if ((await seen()).join() != before.join()) fail(`hidden, the page's ${hook} was called: ${before}, then ${await seen()}`);
  await browser.page.bringToFront();
}

// The H.264 decoder record in an MP4 as strict players read it, or what is
// wrong with it: version 1, the reserved bits set, then each SPS and PPS of
// its type, with one NAL header byte, the SPS's profile, constraints and
// level the record's own.
function avcRecordProblem(bytes) {
  const box = bytes.indexOf('avcC') - 4, record = bytes.subarray(box + 8, box + bytes.readUInt32BE(box));
  if (record[0] != 1 || (record[4] & 0xfc) != 0xfc || (record[5] & 0xe0) != 0xe0) return `it begins ${record.subarray(0, 6).toString('hex')}`;
  for (let at = 6, type = 7, count = record[5] & 31; type <= 8; type++, count = record[at++]) {
    for (let i = 0; i < count; i++, at += 2 + record.readUInt16BE(at)) {
      const set = record.subarray(at + 2, at + 2 + record.readUInt16BE(at));
      if ((set[0] & 31) != type || set[1] == set[0] || (type == 7 && !set.subarray(1, 4).equals(record.subarray(1, 4))))
        return `a parameter set begins ${set.subarray(0, 5).toString('hex')}`;
    }
  }
  return null;
}

// The made video as messengers take it: an MP4 of H.264 (Baseline or Main,
// no B-frames) and AAC-LC, its index first and its decoder record as strict
// players read it; else a WebM of VP8 and Opus. Either 4:2:0, 640 x 480 at
// 30 a second, at most 16 MB, as long as the tune and up to 2 s more (and
// NAMED.message seconds of a message's page after it), named
// after the name, decoded by FFmpeg without a word of warning; at 2 s and
// 20 s the card's own frame at that pulse (the name's glyphs lit, PSNR 30 dB
// or better, 28 dB from Firefox's and WebKit's encoders, which heed no
// bitrate, mode or quantizer asked for); the sky's pulse, read every half
// second, at the card's pace (within 0.05, as Firefox's encoder leaves the
// flat sky a step behind: 0.038, Chromium 0.005); the tune from the first
// frame.
async function videoChecked(browser, video, engine, named = { file: 'Zoe-Jose', lit: NAME_LIT }) {
  if (video.line) fail(`the video: ${video.line}`);
  const bytes = readFileSync(video.path), mp4 = video.type == 'video/mp4', boxes = [];
  const [v, a] = ['video', 'audio'].map((type) => video.probe.streams.find((stream) => stream.codec_type == type) || {});
  const form = [v.codec_name, v.pix_fmt, v.width, v.height, v.r_frame_rate, a.codec_name, ...(mp4 ?
    [['Constrained Baseline', 'Baseline', 'Main'].includes(v.profile), v.has_b_frames, v.avg_frame_rate, a.profile] : [])].join();
  if (form != (mp4 ? 'h264,yuv420p,640,480,30/1,aac,true,0,30/1,LC' : 'vp8,yuv420p,640,480,30/1,opus')) fail(`the video is ${form}`);
  for (let at = 0, size; at + 8 <= bytes.length && (size = bytes.readUInt32BE(at)) >= 8; at += size) boxes.push(bytes.toString('latin1', at + 4, at + 8));
  const [seconds, tune, sound] = [Number(video.probe.format.duration), soundOf(TUNE), soundOf(video.path)];
  const [record, warnings] = [mp4 && avcRecordProblem(bytes), spawnSync('ffmpeg', ['-v', 'warning', '-i', video.path, '-f', 'null', '-']).stderr];
  if (record || warnings.length) fail(`the decoder record: ${record || 'as it should be'}; FFmpeg warns: ${warnings}`);
  const card = seconds - (named.message ?? 0);  // a message's page after the card's last frame
  if ((mp4 && !(boxes.indexOf('moov') < boxes.indexOf('mdat'))) || bytes.length > 16e6 || card < tune.length / 22050 ||
    card > tune.length / 22050 + 2 || video.name != `holiday-card-from-${named.file}.${mp4 ? 'mp4' : 'webm'}`)
    fail(`boxes ${boxes}, ${bytes.length} bytes, ${seconds} s for a tune of ${tune.length / 22050} s, named ${video.name}`);
  for (const t of [2, 20]) {
    const [own, coded] = [await cardFrameAt(browser, t), framesOf('-ss', `${t}`, '-i', video.path, '-frames:v', '1')];
    const psnr = 10 * Math.log10(255 ** 2 / (own.reduce((sum, c, i) => sum + (c - coded[i]) ** 2, 0) / own.length));
    const seen = colours(coded, [...named.lit].flatMap((_, i) => box(32 + i * 35.2, 276)));
    const lit = [...named.lit].every((bit, i) => (white(seen.slice(i * 384, (i + 1) * 384)) > 1 / 20) == (bit == '1'));
    if (!(psnr >= (engine == 'chromium' ? 30 : 28)) || !lit) fail(`at ${t} s the video is ${psnr.toFixed(1)} dB from the card's own frame, the name lit: ${lit}`);
  }
  const sky = framesOf('-t', `${card}`, '-i', video.path, '-vf', `fps=2,crop=2:2:${SKY[0][0]}:${SKY[0][1]}`);  // 4:2:0 crops by twos
  const pulses = Array.from({ length: sky.length / 12 }, (_, i) => 0.5 - sky[i * 12] / 255);  // red is 0.5 - pulse, both ways
  const stray = (c) => Math.sqrt(pulses.reduce((sum, p, i) => sum + (p - 0.5 * Math.sin(0.3 * i + c)) ** 2, 0) / pulses.length);
  const straying = Math.min(...Array.from({ length: 629 }, (_, i) => stray(i / 100)));
  if (!(straying < 0.05)) fail(`the sky's pulse strays from 0.5 sin(0.6 t + c) by ${straying.toFixed(3)}`);
  const correlate = (lag, from, to) => {
    let xy = 0, xx = 0, yy = 0;
    for (let i = from; i < to; i++) { const x = tune[i], y = sound[i + lag] || 0; xy += x * y, xx += x * x, yy += y * y; }
    return xy / Math.sqrt(xx * yy);
  };
  const lags = Array.from({ length: 22051 }, (_, i) => i - 11025), near = lags.map((lag) => correlate(lag, 22050, 44100));
  const lag = lags[near.indexOf(Math.max(...near))], likeness = correlate(lag, 11025, tune.length - 11025);
  if (Math.abs(lag) > 1100 || !(likeness >= 0.99)) fail(`the video's sound is the tune ${lag / 22050} s late, correlated at ${likeness}`);
}

// What ffmpeg writes to its output with these options.
const ffmpeg = (...options) => execFileSync('ffmpeg', ['-v', 'error', ...options, '-'], { maxBuffer: 1 << 28 });
// Samples (mono, 22,050 a second) of the sound in FILE; RGB frames of 640 x 480 from ffmpeg's INPUT options.
const soundOf = (file) => new Int16Array(ffmpeg('-i', file, '-f', 's16le', '-ac', '1', '-ar', '22050').buffer.slice(0));
const framesOf = (...input) => ffmpeg(...input, '-f', 'rawvideo', '-pix_fmt', 'rgb24');
const TUNE = new URL('../../assets/ha_xmas.wav', import.meta.url).pathname;

// The card's own frame at T s of the video (phase 0.01 + 0.6 t), drawn in the page while the live card rests: RGB, rows top first.
const cardFrameAt = async (browser, t) => Buffer.from(await browser.evaluate(async (t) => {
  Module.cardMakingVideo = true;
  while (!Module.cardMayDraw) await new Promise((r) => setTimeout(r, 20));
  const canvas = document.getElementById('canvas'), gl = canvas.getContext('webgl'), rgba = new Uint8Array(640 * 480 * 4);
  canvas.width = 640, canvas.height = 480;
  Module._card_draw_frame_at(0.01 + 0.6 * t);
  gl.readPixels(0, 0, 640, 480, gl.RGBA, gl.UNSIGNED_BYTE, rgba);
  Module.cardMakingVideo = false, Module.cardMayDraw();
  let text = '';
  for (let y = 479; y >= 0; y--)
    for (let x = 0; x < 640; x++) text += String.fromCharCode(...rgba.subarray((y * 640 + x) * 4, (y * 640 + x) * 4 + 3));
  return btoa(text);
}, t), 'base64');

// The colours of an RGB frame at points of the 640 x 480 card.
const colours = (frame, points) => points.map(([x, y]) => [...frame.subarray((Math.floor(y) * 640 + Math.floor(x)) * 3, (Math.floor(y) * 640 + Math.floor(x)) * 3 + 3)]);

const [run, engine] = testCase.split('.'), perEngine = { scenario, scripts, languages };
if (perEngine[run] && ['chromium', 'firefox', 'webkit'].includes(engine)) await perEngine[run](engine);
else if (cases[testCase]) await cases[testCase]();
else fail('no such case');
console.log(`ok (${testCase})`);

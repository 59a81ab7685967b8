// The browser card, the one HTML file itself, in Debian's headless chromium
// with its software WebGL. Each wait is for something seen and gives up
// after a minute. Usage: node card_test.mjs CASE PAGE.html WORK_DIR
import { chromium } from 'playwright-core';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { pathToFileURL } from 'node:url';

const [testCase, pagePath, work] = process.argv.slice(2);
mkdirSync(work, { recursive: true });
const fail = (why) => { console.error(`FAIL (${testCase}): ${why}`); process.exit(1); };

async function waitFor(what, check) {
  for (const end = Date.now() + 60000; Date.now() < end; await new Promise((r) => setTimeout(r, 200)))
    if (await check()) return;
  fail(`waited 60 s for ${what}`);
}

// The page in a fresh browser, its console kept, and the Web Audio calls it
// makes counted: the length of what it decoded, and the tune's starts and
// stops. The canvas keeps its drawing, so that at the first upload, which
// comes right after the first paint, that paint can be read back.
async function open(path, { args = [], scale = 1, width = 800, height = 600 } = {}) {
  const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox',
    '--enable-unsafe-swiftshader', '--disable-background-networking', '--disable-component-update', ...args] });
  const page = await browser.newPage({ deviceScaleFactor: scale, viewport: { width, height } });
  const lines = [];
  page.on("console", (message) => lines.push(message.text()));
  await page.addInitScript(() => {
    const getContext = HTMLCanvasElement.prototype.getContext, upload = WebGLRenderingContext.prototype.texImage2D;
    HTMLCanvasElement.prototype.getContext = function (type, options) {
      return getContext.call(this, type, { ...options, preserveDrawingBuffer: true });
    };
    WebGLRenderingContext.prototype.texImage2D = function (...a) {
      const scale = this.drawingBufferWidth / 640, pixel = new Uint8Array(4);
      window.cardTestFirstPaint ||= [[630, 5], [34, 20], [30, 36], [48, 10]].map(([x, y]) => {
        this.readPixels(x * scale, this.drawingBufferHeight - 1 - y * scale, 1, 1, this.RGBA, this.UNSIGNED_BYTE, pixel);
        return [...pixel.slice(0, 3)];
      });
      return upload.apply(this, a);
    };
    const audio = window.cardTestAudio = { decoded: [], starts: 0, stops: 0 };
    const decode = AudioContext.prototype.decodeAudioData;
    AudioContext.prototype.decodeAudioData = function (data) {
      return decode.call(this, data).then((tune) => (audio.decoded.push(tune.duration), tune));
    };
    const start = AudioBufferSourceNode.prototype.start, stop = AudioBufferSourceNode.prototype.stop;
    AudioBufferSourceNode.prototype.start = function (...a) { audio.starts++; return start.apply(this, a); };
    AudioBufferSourceNode.prototype.stop = function (...a) { audio.stops++; return stop.apply(this, a); };
  });
  await page.goto(pathToFileURL(path).href);
  return { browser, page, lines };
}

// The screen's colours at points of the page, in CSS pixels.
async function pixels(page, points, shot) {
  const png = await page.screenshot({ path: `${work}/${shot}.png` });
  return page.evaluate(async ({ data, points, scale }) => {
    const picture = new Image();
    picture.src = `data:image/png;base64,${data}`;
    await picture.decode();
    const canvas = new OffscreenCanvas(picture.width, picture.height), context = canvas.getContext('2d');
    context.drawImage(picture, 0, 0);
    return points.map(([x, y]) => [...context.getImageData(x * scale, y * scale, 1, 1).data.slice(0, 3)]);
  }, { data: png.toString('base64'), points, scale: await page.evaluate(() => devicePixelRatio) });
}

// The points of the box of a glyph at (left, top), and how much of it is
// white and how much dark, from their colours.
const box = (left, top) => Array.from({ length: 16 * 24 }, (_, i) => [left + (i % 16) * 2, top + Math.floor(i / 16) * 2]);
const share = (colours, test) => colours.filter(test).length / colours.length;
const white = (colours) => share(colours, (c) => Math.min(...c) > 240);
const dark = (colours) => share(colours, (c) => c[0] + c[1] + c[2] < 60);

// Red alone from half to full, or red and green adding up to half: the clear
// colour, seen through the picture's clear sky.
const pulseColour = ([r, g, b]) => b <= 5 && ((g <= 3 && r >= 122) || Math.abs(r + g - 128) <= 6);
const SKY = [[20, 210], [100, 215]];  // where the picture is fully transparent

const cases = {
  // The first paint, before the scene is set up, white with the greeting as
  // black-rimmed boxes (the sky; inside the 'H' box, outside its glyph; the
  // rims left of and above it); then the greeting and the name in white with
  // dark rims, the pulse through the sky and moving, the loaded line and no
  // GL error, at the device's density.
  async card() {
    const { browser, page, lines } = await open(pagePath, { scale: 2 });
    await waitFor('the first paint', () => page.evaluate(() => window.cardTestFirstPaint));
    const first = await page.evaluate(() => window.cardTestFirstPaint);
    if (!(white(first.slice(0, 2)) == 1 && dark(first.slice(2)) == 1)) fail(`the first paint is ${JSON.stringify(first)}`);
    await waitFor('the loaded line', () => lines.includes('loaded 640x480x4 image'));
    let sky;
    await waitFor('the card to be drawn', async () => {
      const seen = await pixels(page, [...box(32, 12), ...box(32, 276), ...SKY], 'card');
      const [greeting, name] = [seen.slice(0, 384), seen.slice(384, 768)];
      sky = seen.slice(768);
      return white(greeting) > 1 / 6 && dark(greeting) > 1 / 10 && white(name) > 1 / 10 && sky.every(pulseColour);
    });
    await waitFor('the pulse colour to change', async () =>
      JSON.stringify(await pixels(page, SKY, 'card_later')) != JSON.stringify(sky));
    const size = await page.evaluate(() => { const c = document.getElementById('canvas'); return [c.width, c.height, c.clientWidth]; });
    if (size.join() != '1280,960,640') fail(`drawing buffer ${size[0]} x ${size[1]} for ${size[2]} CSS pixels, at density 2`);
    if (lines.some((line) => line.startsWith('error at'))) fail(`GL errors: ${lines.join('\n')}`);
    await browser.close();
  },

  // After a click the tune is decoded to the WAV's length and started once;
  // Escape then ends the loop, stops the tune and says so on the page.
  async tune_and_escape() {
    const { browser, page } = await open(pagePath);
    const wav = readFileSync(new URL('../../assets/ha_xmas.wav', import.meta.url));
    const seconds = wav.readUInt32LE(40) / wav.readUInt32LE(28);
    const audio = () => page.evaluate(() => window.cardTestAudio);
    await waitFor('the tune to be decoded', async () => (await audio()).decoded.length == 1);
    await page.mouse.click(300, 200);
    await waitFor('the tune to start', async () => (await audio()).starts == 1);
    const { decoded } = await audio();
    if (Math.abs(decoded[0] - seconds) > 0.01) fail(`decoded ${decoded[0]} s of a ${seconds} s tune`);
    await page.keyboard.press('Escape');
    await waitFor('the card to end', async () => (await page.textContent('#status')).includes('The card has ended'));
    const after = await audio();
    if (after.starts != 1 || after.stops != 1) fail(`the tune started ${after.starts} times and stopped ${after.stops}`);
    const still = await pixels(page, SKY, 'ended');
    await page.mouse.click(20, 20);
    if (JSON.stringify(await pixels(page, SKY, 'ended_later')) != JSON.stringify(still)) fail('frames after the end');
    await browser.close();
  },

  // A name typed into the page's block is the one drawn: four glyphs, then none.
  async edited_name() {
    const edited = `${work}/edited.html`;
    writeFileSync(edited, readFileSync(pagePath, 'utf8').replace(/(id="sender-name">)[^<]*/, '$1WWWW'));
    const { browser, page } = await open(edited);
    await waitFor('the edited name to be drawn', async () => {
      const seen = await pixels(page, [32, 67, 102, 138, 173].flatMap((left) => box(left, 276)), 'edited_name');
      const boxes = [0, 1, 2, 3, 4].map((i) => white(seen.slice(i * 384, (i + 1) * 384)));
      return boxes.slice(0, 4).every((share) => share > 1 / 10) && boxes[4] == 0;
    });
    await browser.close();
  },

  // Without WebGL the page shows the window-creation failure under "Error"
  // and the console says the same; a phone-sized screen gets the card scaled down.
  async no_webgl() {
    const { browser, page, lines } = await open(pagePath, { args: ['--disable-webgl'], width: 320, height: 480 });
    const text = 'CreateWindow() failed:  Cannot create a window.';
    await waitFor('the failure on the page', async () => (await page.textContent('#status')) == `Error${text}`);
    if (!lines.some((line) => line.startsWith(text))) fail(`the console does not say: ${text}`);
    const size = await page.evaluate(() => { const c = document.getElementById('canvas'); return [c.clientWidth, c.clientHeight]; });
    if (size.join() != '320,240') fail(`the canvas is ${size.join(' x ')} CSS pixels on a 320 x 480 screen`);
    await browser.close();
  },
};

if (!cases[testCase]) fail('no such case');
await cases[testCase]();
console.log(`ok (${testCase})`);

// Start-up and frame time of the browser card in Debian's headless chromium
// (software WebGL), measured as the Linux card's start-up benchmark measures
// it: the median over RUNS runs of the time from opening the file to the
// first frame (the paint before the scene is set up) and to the first idle
// frame (when the music is handed to the browser), and of the time per frame
// over the next seconds. A frame is counted at each clear of the canvas.
// Usage: node web_bench.mjs PAGE.html RUNS
const { default: puppeteer } = await import(new URL('../tests/web/node_modules/puppeteer-core/lib/esm/puppeteer/puppeteer-core.js', import.meta.url));
import { pathToFileURL } from 'node:url';

const [page_path, runs] = [process.argv[2], Number(process.argv[3] || 5)];
const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox',
  '--enable-unsafe-swiftshader', '--disable-background-networking', '--disable-component-update'] });
const results = [];
for (let run = 0; run < runs; run++) {
  const page = await browser.newPage();
  await page.setViewport({ width: 800, height: 600 });
  await page.evaluateOnNewDocument(() => {
    const seen = window.cardBench = { clears: [], music: -1 };
    const clear = WebGLRenderingContext.prototype.clear;
    WebGLRenderingContext.prototype.clear = function (mask) { seen.clears.push(performance.now()); return clear.call(this, mask); };
    const decode = AudioContext.prototype.decodeAudioData;
    AudioContext.prototype.decodeAudioData = function (...a) { seen.music = performance.now(); return decode.apply(this, a); };
  });
  await page.goto(pathToFileURL(page_path).href);
  await page.waitForFunction(() => window.cardBench.music > 0, { timeout: 120000 });
  await new Promise((done) => setTimeout(done, 5000));  // some seconds of animation
  const seen = await page.evaluate(() => window.cardBench);
  const after = seen.clears.filter((t) => t > seen.music);
  results.push({ first: seen.clears[0], music: seen.music,
                 frame: (after[after.length - 1] - after[0]) / (after.length - 1) });
  await page.close();
}
await browser.close();
const field = (name) => Math.round(median(results.map((r) => r[name])));
console.log(`headless chromium, over ${runs} runs (median): first frame drawn after ${field('first')} ms;` +
            ` first idle frame done, music handed to the browser, after ${field('music')} ms; ${field('frame')} ms a frame after it`);

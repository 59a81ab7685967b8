// How soon a recipient on a slow phone sees the card: the page served over
// loopback HTTP to Chromium as a phone (412 x 823 CSS pixels at density
// 1.75, the processor slowed four times) on the network Lighthouse calls
// slow 4G (150 ms round trips, 1.6 Mbit/s down, 0.75 up), its cache off.
// Prints, as medians of RUNS loads, when (after navigation starts) the
// first paint came, the largest contentful paint and what it was, and when
// the live card first drew; with a #from= link too. Checks nothing.
// Usage: node bench/web_first_paint.mjs PAGE.html [RUNS]
import { launch } from '../tests/web/engines.mjs';
import { readFileSync } from 'node:fs';
import { createServer } from 'node:http';

const [pagePath, runs] = [process.argv[2], Number(process.argv[3] || 5)];
const page = readFileSync(pagePath);
const server = createServer((request, response) => {
  response.setHeader('Content-Type', 'text/html; charset=utf-8');
  response.end(page);
}).listen(0, '127.0.0.1');
await new Promise((resolve) => server.on('listening', resolve));
const address = `http://127.0.0.1:${server.address().port}/holiday-card.html`;

// Kept by the page from its first script on: paints, and the live card's
// first frame (its first drawing after it uploaded its pictures).
const WATCH = () => {
  const seen = window.firstPaint = { paint: null, largest: null, element: null, live: null }, gl = WebGLRenderingContext.prototype;
  let uploaded = false;
  const upload = gl.texImage2D, draw = gl.drawArrays;
  gl.texImage2D = function (...a) { uploaded = true; return upload.apply(this, a); };
  gl.drawArrays = function (...a) { seen.live ??= uploaded ? performance.now() : null; return draw.apply(this, a); };
  new PerformanceObserver((list) => { seen.paint ??= list.getEntries()[0].startTime; }).observe({ type: 'paint', buffered: true });
  new PerformanceObserver((list) => {
    const last = list.getEntries().at(-1);
    seen.largest = last.startTime, seen.element = last.element ? last.element.id || last.element.tagName.toLowerCase() : 'text';
  }).observe({ type: 'largest-contentful-paint', buffered: true });
};

const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];
const seconds = (ms) => (ms == null ? 'never' : `${(ms / 1000).toFixed(2)} s`);

async function load(link) {
  const browser = await launch('chromium', { width: 412, height: 823, scale: 1.75 });
  const cdp = await browser.page.createCDPSession();
  await cdp.send('Network.enable');
  await cdp.send('Network.setCacheDisabled', { cacheDisabled: true });
  await cdp.send('Network.emulateNetworkConditions', { offline: false, latency: 150, downloadThroughput: 1.6e6 / 8, uploadThroughput: 0.75e6 / 8 });
  await cdp.send('Emulation.setCPUThrottlingRate', { rate: 4 });
  await browser.page.evaluateOnNewDocument(WATCH);
  await browser.page.goto(address + link, { waitUntil: 'load', timeout: 120000 });
  for (const end = Date.now() + 120000; Date.now() < end && !(await browser.page.evaluate(() => window.firstPaint.live));)
    await new Promise((r) => setTimeout(r, 200));
  await new Promise((r) => setTimeout(r, 500));  // a paint the observers have yet to hear of
  const seen = await browser.page.evaluate(() => window.firstPaint);
  await browser.close();
  return seen;
}

for (const link of ['', '#from=Zo%C3%AB']) {
  const loads = [];
  for (let run = 0; run < runs; run++)
    loads.push(await load(link));
  const elements = [...new Set(loads.map((seen) => seen.element))].join(', ');
  console.log(`${page.length.toLocaleString('en-US')} bytes as a phone on slow 4G${link ? `, opened by a link (${link})` : ''}, median of ${runs}:\n` +
    `  first paint ${seconds(median(loads.map((s) => s.paint)))}, largest contentful paint ${seconds(median(loads.map((s) => s.largest)))}` +
    ` (${elements}), the live card's first frame ${seconds(median(loads.map((s) => s.live ?? Infinity)))}`);
}
server.close();

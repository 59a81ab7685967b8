// How soon a recipient on a slow phone sees the card: the page served over
// loopback HTTP, compressed with gzip as a code host's site serves it, to
// Chromium as a phone (412 x 823 CSS pixels at density 1.75, the processor
// slowed four times) on the network Lighthouse calls slow 4G (150 ms round
// trips, 1.6 Mbit/s down, 0.75 up), its cache off. Checks nothing.
// Prints, as medians of RUNS loads after navigation starts, for the bare
// page, for a #from= link and for one with a message: when the still stands (its largest paint),
// when the live card first draws (for a link, with the link's name), when
// the tune is decoded; beside each, the compressed bytes of the page up to
// what it needs, and the limit those bytes set: their time at 1.6 Mbit/s
// plus two round trips. With --trace, one more load of each, profiled:
// where the page's own work goes until the first frame, and how much of it
// follows the last byte (TRACE_OUT=PATH keeps each trace as PATH.json and
// PATH-link.json, to be opened in Chromium's performance panel). With
// --lighthouse, Lighthouse's mobile run of the same served page (its own
// simulated phone and network), median of RUNS: its performance score, total
// blocking time, largest contentful paint and time to interactive
// (bench/package.json pins it: npm ci there first).
// Usage: node bench/web_first_paint.mjs PAGE.html [RUNS] [--trace] [--lighthouse]
import { launch } from '../tests/web/engines.mjs';
import { cardMessageCode } from '../web/message.js';
import { readFileSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { gzipSync } from 'node:zlib';

const args = process.argv.slice(2), trace = args.includes('--trace'), lighthouse = args.includes('--lighthouse');
const [pagePath, runs] = [args[0], Number(args.filter((a) => !a.startsWith('--'))[1] || 5)];
const page = readFileSync(pagePath), text = page.toString('utf8'), served = gzipSync(page);
const server = createServer((request, response) => {
  response.setHeader('Content-Type', 'text/html; charset=utf-8');
  response.setHeader('Content-Encoding', 'gzip');
  response.end(served);
}).listen(0, '127.0.0.1');
await new Promise((resolve) => server.on('listening', resolve));
const address = `http://127.0.0.1:${server.address().port}/holiday-card.html`;
const [RTT, DOWN] = [0.15, 1.6e6];

// The compressed bytes of the page up to the end of the first match of PATTERN.
function bytesUpTo(pattern) {
  const match = pattern.exec(text);
  return match ? gzipSync(Buffer.from(text.slice(0, match.index + match[0].length))).length : null;
}
const NEEDS = {
  still: bytesUpTo(/<img id="still"[^>]*>/),
  live: bytesUpTo(/<script id="card-program">[\s\S]*?<\/script>/),
  tune: bytesUpTo(/<script type="application\/json" id="card-tune">[\s\S]*?<\/script>|"\/assets\/ha_xmas\.m4a":"[^"]*"[^<]*<\/script>/),
};

// Kept by the page from its first script on: paints; the live card's first
// frame (the page marks the body "live" then); the tune decoded; and the
// page's own work on its way: JSON, base64, the program's WebAssembly.
const WATCH = () => {
  const seen = window.firstPaint = { paint: null, largest: null, element: null, live: null, tune: null, work: {} };
  const timed = (owner, name, key) => {
    const f = owner[name];
    owner[name] = function (...a) {
      const start = performance.now(), result = f.apply(this, a);
      seen.work[key] = (seen.work[key] || 0) + performance.now() - start;
      return result;
    };
  };
  timed(JSON, 'parse', 'JSON.parse');
  timed(window, 'atob', 'atob');
  const instantiate = WebAssembly.instantiate;
  WebAssembly.instantiate = function (...a) {
    const start = performance.now();
    return instantiate.apply(this, a).then((result) => (seen.work['WebAssembly.instantiate (wall)'] = performance.now() - start, result));
  };
  const decode = AudioContext.prototype.decodeAudioData;
  AudioContext.prototype.decodeAudioData = function (data, ok, ...rest) {
    return decode.call(this, data, (tune) => { seen.tune ??= performance.now(); ok(tune); }, ...rest);
  };
  new MutationObserver(() => { if (document.body?.classList.contains('live')) seen.live ??= performance.now(); })
    .observe(document, { subtree: true, attributes: true, attributeFilter: ['class'] });
  new PerformanceObserver((list) => { seen.paint ??= list.getEntries()[0].startTime; }).observe({ type: 'paint', buffered: true });
  new PerformanceObserver((list) => {
    const last = list.getEntries().at(-1);
    seen.largest = last.startTime, seen.element = last.element ? last.element.id || last.element.tagName.toLowerCase() : 'text';
  }).observe({ type: 'largest-contentful-paint', buffered: true });
};

const median = (values) => values.slice().sort((a, b) => a - b)[Math.floor(values.length / 2)];
const seconds = (ms) => (ms == null || ms == Infinity ? 'never' : `${(ms / 1000).toFixed(2)} s`);
const limit = (bytes) => `${(bytes / 1000).toFixed(0)} kB before it, at best ${(bytes * 8 / DOWN + 2 * RTT).toFixed(2)} s`;

// Main-thread time of the page's renderer by the trace's event names, each
// event's own (less the events inside it), between FROM and TO (trace microseconds).
function traceWork(events, pid, from, to) {
  const spans = events.filter((e) => e.ph == 'X' && e.pid == pid && e.tid == pid && e.ts >= from && e.ts + e.dur <= to)
    .sort((a, b) => a.ts - b.ts || b.dur - a.dur);
  const own = {}, open = [];
  for (const e of spans) {
    while (open.length && open.at(-1).ts + open.at(-1).dur <= e.ts) open.pop();
    if (open.length) own[open.at(-1).name] -= e.dur;
    own[e.name] = (own[e.name] || 0) + e.dur;
    open.push(e);
  }
  return Object.entries(own).filter(([, us]) => us > 5000).sort((a, b) => b[1] - a[1]);
}

async function load(link, traced) {
  const browser = await launch('chromium', { width: 412, height: 823, scale: 1.75 });
  const cdp = await browser.page.createCDPSession();
  await cdp.send('Network.enable');
  await cdp.send('Network.setCacheDisabled', { cacheDisabled: true });
  await cdp.send('Network.emulateNetworkConditions', { offline: false, latency: RTT * 1000, downloadThroughput: DOWN / 8, uploadThroughput: 0.75e6 / 8 });
  await cdp.send('Emulation.setCPUThrottlingRate', { rate: 4 });
  await browser.page.evaluateOnNewDocument(WATCH);
  if (traced)
    await browser.page.tracing.start({ categories: ['devtools.timeline', 'v8', 'v8.wasm', 'blink', 'loading', '__metadata'] });
  await browser.page.goto(address + link, { waitUntil: 'load', timeout: 120000 });
  for (const end = Date.now() + 120000; Date.now() < end && !(await browser.page.evaluate(() => window.firstPaint.live && window.firstPaint.tune));)
    await new Promise((r) => setTimeout(r, 200));
  await new Promise((r) => setTimeout(r, 500));  // a paint the observers have yet to hear of
  const seen = await browser.page.evaluate(() => ({ ...window.firstPaint, origin: performance.timeOrigin }));
  if (traced) {
    const events = JSON.parse(Buffer.from(await browser.page.tracing.stop()).toString()).traceEvents;
    if (process.env.TRACE_OUT)
      writeFileSync(`${process.env.TRACE_OUT}${link ? '-link' : ''}.json`, JSON.stringify(events));
    // The page's request starts the clock; its last byte is its ResourceFinish.
    const request = events.find((e) => e.name == 'ResourceSendRequest' && e.args.data.url.startsWith(address));
    const last = events.find((e) => e.name == 'ResourceFinish' && e.args.data.requestId == request.args.data.requestId);
    const frame = request.ts + seen.live * 1000;
    seen.trace = { all: traceWork(events, request.pid, request.ts, frame), afterLastByte: traceWork(events, request.pid, last.ts, frame) };
    seen.lastByte = (last.ts - request.ts) / 1000;
  }
  await browser.close();
  return seen;
}

console.log(`${page.length.toLocaleString('en-US')} bytes, ${served.length.toLocaleString('en-US')} with gzip, as a phone on slow 4G (4x slower processor), median of ${runs}:`);
const message = await cardMessageCode('Dear Grandma,\nwe miss you, and the cat misses your lap.\nSee you at Easter!');
for (const link of ['', '#from=Zo%C3%AB', `#from=Zo%C3%AB&msg=${message}`]) {
  const loads = [];
  for (let run = 0; run < runs; run++)
    loads.push(await load(link));
  const at = (key) => median(loads.map((s) => s[key] ?? Infinity));
  const elements = [...new Set(loads.map((seen) => seen.element))].join(', ');
  console.log(link ? `opened by a link (${link.length > 20 ? `${link.slice(0, 32)}…, with a message` : link}):` : 'the bare page:');
  console.log(`  first paint ${seconds(at('paint'))}; largest contentful paint ${seconds(at('largest'))} (${elements})`);
  if (!link)
    console.log(`  the still stands: ${seconds(at('largest'))} (${limit(NEEDS.still)})`);
  console.log(`  the live card${link ? ', with the link\'s name,' : ''} first draws: ${seconds(at('live'))} (${limit(NEEDS.live)})`);
  console.log(`  the tune is ready: ${seconds(at('tune'))} (${NEEDS.tune ? limit(NEEDS.tune) : 'its place not found'})`);
  const work = Object.keys(loads[0].work).map((key) => `${key} ${median(loads.map((s) => s.work[key] || 0)).toFixed(0)} ms`);
  console.log(`  the page's work among it: ${work.join(', ')}`);
  if (trace) {
    const traced = await load(link, true), row = ([name, us]) => `${name} ${(us / 1000).toFixed(0)} ms`;
    console.log(`  profiled once (first frame at ${seconds(traced.live)}), main thread until the first frame: ${traced.trace.all.map(row).join(', ')}`);
    if (traced.trace.afterLastByte)
      console.log(`  after the last byte (${seconds(traced.lastByte)}): ${traced.trace.afterLastByte.map(row).join(', ')}`);
  }
}
if (lighthouse) {
  const { default: run } = await import('lighthouse'), { launch: launchChrome } = await import('chrome-launcher');
  const reports = [];
  for (let i = 0; i < runs; i++) {
    const chrome = await launchChrome({ chromePath: '/usr/bin/chromium', chromeFlags: ['--headless=new', '--no-sandbox',
      '--disable-background-networking', '--disable-component-update'] });
    reports.push((await run(address, { port: chrome.port, onlyCategories: ['performance'], logLevel: 'error' })).lhr);
    await chrome.kill();
  }
  const audit = (id) => median(reports.map((r) => r.audits[id].numericValue));
  console.log(`Lighthouse ${reports[0].lighthouseVersion}'s mobile run of the bare page, median of ${runs}: performance ` +
    `${median(reports.map((r) => r.categories.performance.score)).toFixed(2)}, total blocking time ${audit('total-blocking-time').toFixed(0)} ms, ` +
    `largest contentful paint ${seconds(audit('largest-contentful-paint'))}, time to interactive ${seconds(audit('interactive'))}, ` +
    `main-thread work ${seconds(audit('mainthread-work-breakdown'))}`);
}
server.close();

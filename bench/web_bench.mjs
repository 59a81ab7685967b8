// The browser card's speed beside a bare loop, in Chromium (software WebGL)
// at device scale 1 and 2, Firefox and WebKit, all with a 640 x 480 CSS
// canvas. Prints figures, checks nothing. For each engine:
// - frames per second of the card and of a bare loop that does only what
//   any frame must (clear to the pulse colour, draw the picture as one
//   textured quad, yield, wait 16 ms, as the card's loop does); a frame is
//   counted at each clear, over SECONDS after the card's first idle frame
//   (when it hands its tune to the browser) or the loop's first frame;
// - device pixels blended in one frame drawn with every quad (the full
//   path) and one drawn from the text layer, summed from the draw calls;
// - the card's start-up: its first frame and its first idle frame, after
//   opening the file. Medians over RUNS runs, card and loop taking turns;
// - in each engine, the time the composer takes to make the video (from
//   Make a video until the page says it is ready) against its length.
// Usage (Firefox and WebKit need the display): tests/web/with_servers.sh
//   node bench/web_bench.mjs build-web/holiday-card.html [RUNS] [SECONDS]
import { launch } from '../tests/web/engines.mjs';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { pathToFileURL } from 'node:url';

const [pagePath, runs, seconds] = [process.argv[2], Number(process.argv[3] || 3), Number(process.argv[4] || 10)];
const card = readFileSync(pagePath, 'utf8'), work = mkdtempSync(`${tmpdir()}/card-bench-`);
const picture = card.match(/"\/assets\/tormbriskchristmas\.png":"([^"]*)"/)[1];  // the page's base64 PNG

// Put first in every page: when the tune is decoded, at the first idle frame.
const IDLE = `<script>(() => {
  const bench = window.bench = { clears: [], idle: 0, sum: null };
  const decode = (window.AudioContext || window.webkitAudioContext).prototype, f = decode.decodeAudioData;
  decode.decodeAudioData = function (...a) { bench.idle ||= performance.now(); return f.apply(this, a); };
})();</script>`;

// Put next in the card and the bare loop, not in the page whose video is
// timed (it would slow each GL call): the times of clears, and
// bench.blended(), the blended pixels of the two frames the card draws at
// Module.cardTestBothPaths. The card's vertices (src/webgl_immediate.cpp)
// are nine floats, position first as attribute 0, already in clip space
// (w = 1), drawn as TRIANGLES from an ARRAY_BUFFER uploaded by bufferData.
const PROBE = `${IDLE}<script>(() => {
  const bench = window.bench, gl = WebGLRenderingContext.prototype;
  const wrap = (o, name, before) => { const f = o[name]; o[name] = function (...a) { before.apply(this, a); return f.apply(this, a); }; };
  wrap(gl, 'clear', () => bench.clears.push(performance.now()));
  const data = new Map(), pointer = {};  // each buffer's bytes; attribute 0's layout
  const bound = (c, target) => c.getParameter(target == c.ARRAY_BUFFER ? c.ARRAY_BUFFER_BINDING : c.ELEMENT_ARRAY_BUFFER_BINDING);
  wrap(gl, 'bufferData', function (target, d) {
    data.set(bound(this, target), typeof d == 'number' ? new Uint8Array(d) : new Uint8Array(d.buffer ?? d, d.byteOffset ?? 0, d.byteLength).slice());
  });
  wrap(gl, 'bufferSubData', function (target, offset, d) {
    data.get(bound(this, target)).set(new Uint8Array(d.buffer ?? d, d.byteOffset ?? 0, d.byteLength), offset);
  });
  wrap(gl, 'vertexAttribPointer', function (index, size, type, normalized, stride, offset) {
    if (index == 0) Object.assign(pointer, { buffer: this.getParameter(this.ARRAY_BUFFER_BINDING), stride: stride || size * 4, offset });
  });
  // A triangle cut to the clip square, then its area (shoelace formula).
  const clip = (poly) => [[0, 1], [0, -1], [1, 1], [1, -1]].reduce((p, [k, s]) => p.flatMap((a, i) => {
    const b = p[(i + 1) % p.length], da = 1 - s * a[k], db = 1 - s * b[k], f = da / (da - db);
    return [...(da >= 0 ? [a] : []), ...((da >= 0) != (db >= 0) ? [[a[0] + (b[0] - a[0]) * f, a[1] + (b[1] - a[1]) * f]] : [])];
  }), poly);
  const area = (p) => Math.abs(p.reduce((sum, a, i) => sum + a[0] * p[(i + 1) % p.length][1] - p[(i + 1) % p.length][0] * a[1], 0)) / 2;
  const count = (c, mode, n, vertexAt) => {
    if (bench.sum == null || !c.isEnabled(c.BLEND) || mode != c.TRIANGLES) return;
    const view = new DataView(data.get(pointer.buffer).buffer), [, , w, h] = c.getParameter(c.VIEWPORT);
    const at = (v) => [0, 4].map((o) => view.getFloat32(pointer.offset + vertexAt(v) * pointer.stride + o, true));
    for (let v = 0; v + 2 < n; v += 3) bench.sum += area(clip([at(v), at(v + 1), at(v + 2)])) * w * h / 4;  // clip square: 4
  };
  wrap(gl, 'drawArrays', function (mode, first, n) { count(this, mode, n, (v) => first + v); });
  wrap(gl, 'drawElements', function (mode, n, type, offset) {
    const bytes = data.get(bound(this, this.ELEMENT_ARRAY_BUFFER)), Kind = type == this.UNSIGNED_BYTE ? Uint8Array : type == this.UNSIGNED_SHORT ? Uint16Array : Uint32Array;
    const indices = new Kind(bytes.buffer, offset, n);
    count(this, mode, n, (v) => indices[v]);
  });
  bench.blended = () => new Promise((resolve) => {
    const frames = [];
    bench.sum = 0;
    Module.cardFrameDrawn = () => {
      frames.push(Math.round(bench.sum)), bench.sum = 0;
      if (frames.length == 2) bench.sum = Module.cardFrameDrawn = null, resolve(frames);
    };
    Module.cardTestBothPaths = true;
  });
})();</script>`;

// The bare loop, with the card's context settings and blending.
const BARE = `<!DOCTYPE html><html><head>${PROBE}</head><body style="margin:0">
<canvas id="canvas" style="width:640px;height:480px"></canvas><script>
const canvas = document.getElementById('canvas');
canvas.width = Math.round(640 * devicePixelRatio), canvas.height = Math.round(480 * devicePixelRatio);
const gl = canvas.getContext('webgl', { alpha: false, depth: false, stencil: false, antialias: false }), program = gl.createProgram();
for (const [type, source] of [[gl.VERTEX_SHADER, 'attribute vec2 p; varying vec2 t; void main() { t = vec2(p.x + 1.0, 1.0 - p.y) / 2.0; gl_Position = vec4(p, 0.0, 1.0); }'],
                              [gl.FRAGMENT_SHADER, 'precision mediump float; uniform sampler2D s; varying vec2 t; void main() { gl_FragColor = texture2D(s, t); }']]) {
  const shader = gl.createShader(type);
  gl.shaderSource(shader, source), gl.compileShader(shader), gl.attachShader(program, shader);
}
gl.bindAttribLocation(program, 0, 'p'), gl.linkProgram(program), gl.useProgram(program);
gl.bindBuffer(gl.ARRAY_BUFFER, gl.createBuffer());
gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([-1, 1, 1, 1, 1, -1, -1, 1, 1, -1, -1, -1]), gl.STATIC_DRAW);
gl.enableVertexAttribArray(0), gl.vertexAttribPointer(0, 2, gl.FLOAT, false, 0, 0);
gl.enable(gl.BLEND), gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
const picture = new Image();
picture.onload = async () => {
  gl.bindTexture(gl.TEXTURE_2D, gl.createTexture());
  for (const name of [gl.TEXTURE_MIN_FILTER, gl.TEXTURE_MAG_FILTER]) gl.texParameteri(gl.TEXTURE_2D, name, gl.NEAREST);
  for (const name of [gl.TEXTURE_WRAP_S, gl.TEXTURE_WRAP_T]) gl.texParameteri(gl.TEXTURE_2D, name, gl.CLAMP_TO_EDGE);
  gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, gl.RGBA, gl.UNSIGNED_BYTE, picture);
  for (let phase = 0.01; ; phase += 0.01) {
    const pulse = Math.sin(phase) * 0.5;
    gl.clearColor(0.5 - pulse, pulse, 0, 0), gl.clear(gl.COLOR_BUFFER_BIT), gl.drawArrays(gl.TRIANGLES, 0, 6);
    bench.idle ||= performance.now();
    await new Promise((r) => setTimeout(r, 0));
    await new Promise((r) => setTimeout(r, 16));
  }
};
picture.src = 'data:image/png;base64,${picture}';
</script></body></html>`;
writeFileSync(`${work}/card.html`, card.replace('<head>', `<head>${PROBE}`));
writeFileSync(`${work}/video.html`, card.replace('<head>', `<head>${IDLE}`));
writeFileSync(`${work}/bare.html`, BARE);

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const median = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const number = (n, digits = 0) => n.toLocaleString('en-US', { minimumFractionDigits: digits, maximumFractionDigits: digits });

// Opens PAGE and waits (five minutes at most) for its idle frame.
async function open(browser, page) {
  await browser.goto(pathToFileURL(`${work}/${page}.html`).href);
  for (const end = Date.now() + 300000; !(await browser.evaluate(() => window.bench.idle)); await sleep(500))
    if (Date.now() > end) throw new Error(`${page}: no idle frame in five minutes`);
}

// Opens PAGE and lets it run SECONDS after its idle frame; its frames per
// second after the idle frame, start-up, buffer size.
async function measure(browser, page) {
  await open(browser, page);
  await sleep(seconds * 1000);
  return browser.evaluate(() => {
    const { clears, idle } = window.bench, after = clears.filter((t) => t >= idle), canvas = document.getElementById('canvas');
    return { fps: (after.length - 1) * 1000 / (after[after.length - 1] - after[0]), first: clears[0], idle, size: `${canvas.width} x ${canvas.height}` };
  });
}

// The card opened afresh makes its video with the composer's button; how
// long until the page said it was ready, in what form, beside its length.
async function makingTime(browser) {
  await open(browser, 'video');
  await sleep(seconds * 1000);
  await browser.evaluate(() => {
    const $ = (id) => document.getElementById(id), line = $('video-line'), start = performance.now();
    URL.createObjectURL = (file) => { window.bench.file = file; return 'blob:kept'; };
    new MutationObserver(() => {
      if (/ready|could not/.test(line.textContent))
        window.bench.made ||= { line: line.textContent, seconds: (performance.now() - start) / 1000, length: $('video-progress').max / 30 };
    }).observe(line, { childList: true, characterData: true, subtree: true });
    $('compose').click(), $('make-video').click();
  });
  for (const end = Date.now() + 900000; !(await browser.evaluate(() => window.bench.made)) && Date.now() < end;) await sleep(1000);
  const made = await browser.evaluate(() => {
    document.getElementById('save-video').click();
    return window.bench.made && { ...window.bench.made, type: window.bench.file?.type, bytes: window.bench.file?.size };
  });
  if (!made) return 'not made in 15 minutes';
  return !made.type ? `not made (${made.line}) after ${number(made.seconds, 1)} s` :
    `${made.type}, ${number(made.length, 1)} s long, ${number(made.bytes)} bytes, made in ${number(made.seconds, 1)} s (${number(made.seconds / made.length, 2)} of its length)`;
}

for (const [engine, scale] of [['chromium', 1], ['chromium', 2], ['firefox', 1], ['webkit', 1]]) {
  const browser = await launch(engine, { width: 800, height: 700, scale });  // room for the page's 640 x 480 card
  browser.page?.setDefaultTimeout(300000);
  const cards = [], bares = [];
  let blended;
  for (let run = 0; run < runs; run++) {
    cards.push(await measure(browser, 'card'));
    blended ||= await browser.evaluate(() => window.bench.blended());
    bares.push(await measure(browser, 'bare'));
  }
  const video = await makingTime(browser);
  await browser.close();
  const [cardFps, bareFps] = [cards, bares].map((r) => median(r.map((m) => m.fps)));
  console.log(`${engine} at device scale ${scale}, ${cards[0].size} device pixels (bare loop ${bares[0].size}), median of ${runs} runs:\n` +
    `  frames per second: card ${number(cardFps, 2)}, bare loop ${number(bareFps, 2)}, card / bare ${number(cardFps / bareFps, 2)}\n` +
    `  pixels blended per frame: every quad ${number(blended[0])}, from the text layer ${number(blended[1])}\n` +
    `  video: ${video}\n` +
    `  card start-up: first frame ${number(median(cards.map((m) => m.first)))} ms, first idle frame ${number(median(cards.map((m) => m.idle)))} ms`);
}
rmSync(work, { recursive: true });

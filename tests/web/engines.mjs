// Three engines behind one thin face: Debian's chromium (puppeteer, CDP),
// firefox-esr (puppeteer, WebDriver BiDi) and WebKitGTK's MiniBrowser
// (selenium, classic WebDriver, which sees no console: a probe in the page does).
import puppeteer from 'puppeteer-core';
import { Builder, By, Key, Origin } from 'selenium-webdriver';
import { DriverService } from 'selenium-webdriver/remote/index.js';

// How long each step may take, in seconds, on a slow and busy machine (ctest gives a test 600): a browser's
// start (tried twice), a page's load, a script, a key or a click at a point, a click on an element until it
// lands, a wait for something seen, a video's making.
export const LIMITS = { start: 60, load: 60, script: 60, click: 60, wait: 60, video: 300 };
let engineInUse = 'no browser';

// Ends the test at once with one line that names the engine; so does anything thrown and not caught.
export const fail = (why) => { console.error(`FAIL (${engineInUse}): ${String(why).split('\n')[0]}`); process.exit(1); };
process.on('uncaughtException', fail);

// What a face's call NAME(ARG, ...) gives, or the test's end once STEP's limit has passed without it.
function within(step, name, arg, promise) {
  const timer = setTimeout(() => fail(`${step}, waited ${LIMITS[step]} s for ${name} ${String(arg).replace(/\s+/g, ' ').slice(0, 60)}`), LIMITS[step] * 1000);
  return promise.finally(() => clearTimeout(timer));
}

// Clicks the middle of SELECTOR's element until the probe saw the click land on it, or a new page
// came (#again reloads it): a line that comes or goes above it (the tune's hint, once decoded and
// once a first click starts the tune) moves it, even between reading where it is and clicking there.
async function clickOn(browser, selector) {
  for (let landed = 'nothing'; landed !== selector && landed !== null; await new Promise((resolve) => setTimeout(resolve, 100))) {
    const at = landed !== '' && await browser.evaluate((selector) => {
      const element = document.querySelector(selector), box = (element?.scrollIntoView({ block: 'nearest' }), element?.getClientRects()[0]);
      cardTest.clicked = box ? '' : 'nothing';  // no box while it is hidden
      return box && [box.x + box.width / 2, box.y + box.height / 2].map(Math.round);
    }, selector);
    await (at && browser.click(...at));
    landed = await browser.evaluate(() => cardTest.clicked).catch(() => '');
  }
}

// A browser of ENGINE showing a page of width x height CSS pixels, asking for pages in LANGUAGE where given
// (Chromium with these arguments and this environment), started again once if it fails to, each call within its
// limit.
export async function launch(engine, options = {}) {
  engineInUse = engine;
  const start = () => (engine == 'webkit' ? launchWebKit : launchPuppeteer)(engine, { width: 800, height: 600, ...options });
  const face = await start().catch((e) => (console.error(`${engine} did not start (${String(e).split('\n')[0]}): starting it again`), start()))
    .catch((e) => fail(`start, twice: ${e}`));
  return Object.fromEntries([...Object.entries(face), ['clickOn', (selector) => clickOn(face, selector)]].map(([name, call]) => [name,
    typeof call != 'function' ? call : (...a) => within({ goto: 'load', clickOn: 'click' }[name] ?? 'script', name, a[0], call(...a))]));
}

// Put right after <head> in a test copy of the page, before its policy: console lines, uncaught errors,
// what the policy refused, where the last click landed, the tune's decodes and starts; the WebGL
// drawing kept to be read back, the first paint read at the first texture upload, which follows it,
// and 4,096 bytes spread over the live card's first frame (read when the page marks itself live,
// before the card draws again).
export const PROBE = `<script>(() => {
  const test = window.cardTest = { lines: [], refused: [], decodes: 0, starts: 0, firstPaint: null };
  for (const level of ['log', 'warn', 'error'])
    console[level] = ((write) => (...a) => { test.lines.push(a.join(' ')); write.apply(console, a); })(console[level]);
  addEventListener('error', (e) => test.lines.push('uncaught ' + e.message));
  addEventListener('securitypolicyviolation', (e) => test.refused.push(e.blockedURI));
  addEventListener('click', (e) => { if (e.isTrusted) test.clicked = '#' + e.target.id; }, true);
  const getContext = HTMLCanvasElement.prototype.getContext, upload = WebGLRenderingContext.prototype.texImage2D;
  HTMLCanvasElement.prototype.getContext = function (type, options) {
    return getContext.call(this, type, { ...options, preserveDrawingBuffer: true });
  };
  WebGLRenderingContext.prototype.texImage2D = function (...a) {
    const scale = this.drawingBufferWidth / 640, pixel = new Uint8Array(4);
    test.firstPaint ||= [[630, 5], [34, 20], [30, 36], [48, 10]].map(([x, y]) => (this.readPixels(x * scale,
      this.drawingBufferHeight - 1 - y * scale, 1, 1, this.RGBA, this.UNSIGNED_BYTE, pixel), [...pixel.slice(0, 3)]));
    return upload.apply(this, a);
  };
  new MutationObserver(() => {
    if (test.firstFrame || !document.body?.classList.contains('live')) return;
    const gl = document.getElementById('canvas').getContext('webgl'), frame = new Uint8Array(gl.drawingBufferWidth * gl.drawingBufferHeight * 4);
    gl.readPixels(0, 0, gl.drawingBufferWidth, gl.drawingBufferHeight, gl.RGBA, gl.UNSIGNED_BYTE, frame);
    test.firstFrame = Array.from({ length: 4096 }, (_, i) => frame[Math.floor(i * frame.length / 4096)]);
  }).observe(document, { subtree: true, attributes: true, attributeFilter: ['class'] });
  const decode = AudioContext.prototype.decodeAudioData, start = AudioBufferSourceNode.prototype.start;
  AudioContext.prototype.decodeAudioData = function (data, ok, ...rest) {
    return decode.call(this, data, (tune) => { test.decodes++; ok(tune); }, ...rest);
  };
  AudioBufferSourceNode.prototype.start = function (...a) { test.starts++; return start.apply(this, a); };
})();</script>`;

// Chromium holds sound back until a gesture, as a desktop browser does.
const CHROMIUM_ARGS = ['--no-sandbox', '--enable-unsafe-swiftshader', '--disable-background-networking',
  '--disable-component-update', '--autoplay-policy=document-user-activation-required'];

async function launchPuppeteer(engine, { width, height, scale = 1, args = [], env = process.env, language }) {
  // Puppeteer's own limits: its start's, and its calls' where the tests make them on the page themselves.
  const browser = await puppeteer.launch({ timeout: LIMITS.start * 1000, protocolTimeout: 2 * LIMITS.script * 1000, ...(engine == 'chromium'
    ? { executablePath: '/usr/bin/chromium', args: [...CHROMIUM_ARGS, ...args], env }
    : { browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: false }) });
  const page = await browser.newPage().catch((e) => { browser.process()?.kill('SIGKILL'); throw e; }), context = page.mainFrame().browsingContext;
  await page.setViewport({ width, height, deviceScaleFactor: scale });
  // Puppeteer's evaluate counts as a gesture and would unlock the tune: plain CDP and BiDi calls do not.
  const cdp = engine == 'chromium' && await page.createCDPSession(), agent = cdp && await browser.userAgent();
  const face = {
    page,
    goto: (url) => page.goto(url, { timeout: 0 }),
    evaluate: async (fn, ...a) => {
      const expression = `Promise.resolve((${fn})(...${JSON.stringify(a)})).then((v) => JSON.stringify(v ?? null))`;
      const answer = cdp ? await cdp.send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true })
        : await context.defaultRealm.evaluate(expression, true, { resultOwnership: 'none' });
      if (answer.exceptionDetails) throw new Error(answer.exceptionDetails.exception?.description ?? answer.exceptionDetails.text);
      return JSON.parse(answer.result.value);
    },
    click: (x, y) => page.mouse.click(x, y),
    press: (key) => page.keyboard.press(key),
    type: async (selector, text) => { await page.$eval(selector, (e) => { e.value = ''; e.focus(); }); await page.keyboard.type(text); },
    // The language the next pages ask for, in navigator.languages and Accept-Language.
    askFor: (language) => (cdp ? cdp.send('Emulation.setUserAgentOverride', { userAgent: agent, acceptLanguage: language })
      : context.userContext.browser.session.send('emulation.setLocaleOverride', { locale: language, contexts: [context.id] })),
    close: () => browser.close(),
  };
  await (language && face.askFor(language));
  return face;
}

// WebKitGTK takes its language from the process's locale (installed by tools/run-tests).
async function launchWebKit(engine, { width, height, language }) {
  const tag = language?.replace('-', '_'), env = language ? { ...process.env, LANGUAGE: tag, LANG: `${tag}.UTF-8`, LC_ALL: `${tag}.UTF-8` } : process.env;
  const server = new DriverService.Builder('/usr/bin/WebKitWebDriver').setEnvironment(env).setLoopback(true).build();
  // Commands do not wait for a page to load (a test's page held back mid-way never does): goto waits itself.
  const capabilities = { browserName: 'MiniBrowser', pageLoadStrategy: 'none', timeouts: { script: 2 * LIMITS.script * 1000 },
    'webkitgtk:browserOptions': { binary: '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser', args: ['--automation'] } };
  const session = async () => {
    const driver = await new Builder().usingServer(await server.start(LIMITS.start * 1000)).withCapabilities(capabilities).build();
    await driver.manage().window().setRect({ width, height });  // then less the browser's own bars
    const [outerW, outerH, innerW, innerH] = await driver.executeScript('return [outerWidth, outerHeight, innerWidth, innerHeight]');
    await driver.manage().window().setRect({ width: width + outerW - innerW, height: height + outerH - innerH });
    return driver;
  };
  // The driver never answers a request for a session whose browser has gone before it reached it.
  const late = new Promise((_, reject) => setTimeout(() => reject(new Error(`waited ${LIMITS.start} s for a session`)), LIMITS.start * 1000).unref());
  const driver = await Promise.race([session(), late]).catch((e) => { server.kill(); throw e; });
  return {
    goto: async (url) => {
      const from = await driver.executeScript('window.cardLeft = true; return location.href');
      await driver.get(url);
      while (from.split('#')[0] != url.split('#')[0])
        if (await driver.executeScript('return !window.cardLeft && document.readyState == "complete"').catch(() => false)) return;
        else await new Promise((r) => setTimeout(r, 100));
    },
    evaluate: (fn, ...a) => driver.executeScript(`return (${fn}).apply(null, arguments)`, ...a),
    click: (x, y) => driver.actions().move({ x, y, origin: Origin.VIEWPORT }).click().perform(),
    press: (key) => driver.actions().sendKeys({ Escape: Key.ESCAPE }[key] ?? key).perform(),
    type: async (selector, text) => { const field = await driver.findElement(By.css(selector)); await field.clear(); if (text) await field.sendKeys(text.replace(/\n/g, Key.ENTER)); },
    close: async () => { await driver.quit().catch(() => {}); await server.kill(); },
  };
}

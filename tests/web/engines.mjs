// Three engines behind one thin face: Debian's chromium (puppeteer, CDP),
// firefox-esr (puppeteer, WebDriver BiDi) and WebKitGTK's MiniBrowser
// (selenium, classic WebDriver, which sees no console: a probe in the page does).
import puppeteer from 'puppeteer-core';
import { Builder, By, Key, Origin } from 'selenium-webdriver';
import { spawn } from 'node:child_process';
import { createServer } from 'node:net';

// Put right after <head> in a test copy of the page, before its policy: console
// lines, uncaught errors, what the policy refused, the tune's decodes and
// starts; the WebGL drawing kept to be read back, the first paint read at
// the first texture upload, which follows it, and 4,096 bytes spread over
// the live card's first frame (read when the page marks itself live, before
// the card draws again).
export const PROBE = `<script>(() => {
  const test = window.cardTest = { lines: [], refused: [], decodes: 0, starts: 0, firstPaint: null };
  for (const level of ['log', 'warn', 'error'])
    console[level] = ((write) => (...a) => { test.lines.push(a.join(' ')); write.apply(console, a); })(console[level]);
  addEventListener('error', (e) => test.lines.push('uncaught ' + e.message));
  addEventListener('securitypolicyviolation', (e) => test.refused.push(e.blockedURI));
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

// A browser of ENGINE showing a page of width x height CSS pixels, asking
// for pages in LANGUAGE where given (Chromium with these arguments and this
// environment).
export async function launch(engine, { width = 800, height = 600, scale = 1, args = [], env = process.env, language } = {}) {
  if (engine == 'webkit')
    return launchWebKit(width, height, language);
  const browser = await puppeteer.launch(engine == 'chromium'
    ? { executablePath: '/usr/bin/chromium', args: [...CHROMIUM_ARGS, ...args, ...(language ? [`--accept-lang=${language}`] : [])], env }
    : { browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: false,
      extraPrefsFirefox: language ? { 'intl.accept_languages': language } : {} });
  const page = await browser.newPage();
  await page.setViewport({ width, height, deviceScaleFactor: scale });
  // Puppeteer's evaluate counts as a gesture and would unlock the tune: plain CDP and BiDi calls do not.
  const cdp = engine == 'chromium' && await page.createCDPSession(), realm = page.mainFrame().browsingContext?.defaultRealm;
  return {
    page,
    goto: (url) => page.goto(url),
    evaluate: async (fn, ...a) => {
      const expression = `Promise.resolve((${fn})(...${JSON.stringify(a)})).then((v) => JSON.stringify(v ?? null))`;
      const answer = cdp ? await cdp.send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true })
        : await realm.evaluate(expression, true, { resultOwnership: 'none' });
      if (answer.exceptionDetails) throw new Error(answer.exceptionDetails.exception?.description ?? answer.exceptionDetails.text);
      return JSON.parse(answer.result.value);
    },
    click: (x, y) => page.mouse.click(x, y),
    // Where the element is once it stands still: opening the composer resizes the card, which moves the buttons.
    clickOn: (selector) => page.locator(selector).setTimeout(120000).click(),
    press: (key) => page.keyboard.press(key),
    type: async (selector, text) => { await page.$eval(selector, (e) => { e.value = ''; e.focus(); }); await page.keyboard.type(text); },
    close: () => browser.close(),
  };
}

// WebKitGTK takes its language from the process's locale (installed by tools/run-tests).
async function launchWebKit(width, height, language) {
  const free = createServer().listen(0, '127.0.0.1');
  await new Promise((resolve) => free.on('listening', resolve));
  const locale = language && `${language.replace('-', '_')}.UTF-8`;  // de-DE: de_DE.UTF-8
  const env = language ? { ...process.env, LANGUAGE: language.replace('-', '_'), LANG: locale, LC_ALL: locale } : process.env;
  const port = free.address().port, server = (free.close(), spawn('/usr/bin/WebKitWebDriver', [`--port=${port}`], { stdio: 'ignore', env }));
  process.on('exit', () => server.kill());  // also when a check fails and the test exits at once
  // Commands do not wait for a page to load (a test's page held back mid-way never does): goto waits itself.
  const capabilities = { browserName: 'MiniBrowser', pageLoadStrategy: 'none',
    'webkitgtk:browserOptions': { binary: '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser', args: ['--automation'] } };
  let driver = null;
  for (const end = Date.now() + 60000; !driver && Date.now() < end; await new Promise((r) => setTimeout(r, 200)))
    driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities(capabilities).build().catch(() => null);
  if (!driver) { server.kill(); throw new Error('WebKitWebDriver did not start'); }
  await driver.manage().window().setRect({ width, height });  // then less the browser's own bars
  const [outerW, outerH, innerW, innerH] = await driver.executeScript('return [outerWidth, outerHeight, innerWidth, innerHeight]');
  await driver.manage().window().setRect({ width: width + outerW - innerW, height: height + outerH - innerH });
  return {
    goto: async (url) => {
      const from = await driver.executeScript('window.cardLeft = true; return location.href');
      await driver.get(url);
      for (const end = Date.now() + 60000; from.split('#')[0] != url.split('#')[0] && Date.now() < end; await new Promise((r) => setTimeout(r, 100)))
        if (await driver.executeScript('return !window.cardLeft && document.readyState == "complete"').catch(() => false)) return;
    },
    evaluate: (fn, ...a) => driver.executeScript(`return (${fn}).apply(null, arguments)`, ...a),
    click: (x, y) => driver.actions().move({ x, y, origin: Origin.VIEWPORT }).click().perform(),
    clickOn: async (selector) => (await driver.findElement(By.css(selector))).click(),
    press: (key) => driver.actions().sendKeys({ Escape: Key.ESCAPE }[key] ?? key).perform(),
    type: async (selector, text) => { const field = await driver.findElement(By.css(selector)); await field.clear(); if (text) await field.sendKeys(text.replace(/\n/g, Key.ENTER)); },
    close: async () => { await driver.quit().catch(() => {}); server.kill(); },
  };
}

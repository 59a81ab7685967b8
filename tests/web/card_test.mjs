// The browser card, the one HTML file itself (a copy with engines.mjs's
// probe in it), in Chromium, Firefox and WebKit: one scenario for all three,
// and what only Chromium can emulate (density, no WebGL, a phone's touch, a
// resized window). Each wait is for something seen and gives up after a
// minute. Usage: node card_test.mjs CASE PAGE.html WORK_DIR, where CASE is
// scenario.ENGINE, no_webgl, phone or density_and_resize; or, by hand, shots PAGE.html
// DOCS_DIR, which saves the README's pictures.
import { launch, PROBE } from './engines.mjs';
import axe from 'axe-core';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { createServer } from 'node:http';
import { pathToFileURL } from 'node:url';

const [testCase, pagePath, work] = process.argv.slice(2);
const fail = (why) => { console.error(`FAIL (${testCase}): ${why}`); process.exit(1); };
mkdirSync(work, { recursive: true });
const probed = readFileSync(pagePath, 'utf8').replace('<head>', `<head>${PROBE}`);
writeFileSync(`${work}/holiday-card.html`, probed);
const pageUrl = pathToFileURL(`${work}/holiday-card.html`).href;

async function waitFor(what, check) {
  let error = '';
  for (const end = Date.now() + 60000; Date.now() < end; await new Promise((r) => setTimeout(r, 200)))
    if (await Promise.resolve().then(check).catch((e) => { error = ` (${e.message})`; })) return;
  fail(`waited 60 s for ${what}${error}`);
}

// The points of the box of a glyph at (left, top) on the 640 x 480 card,
// and how much of it is white and how much dark, from their colours.
const box = (left, top) => Array.from({ length: 16 * 24 }, (_, i) => [left + (i % 16) * 2, top + Math.floor(i / 16) * 2]);
const share = (colours, test) => colours.filter(test).length / colours.length;
const white = (colours) => share(colours, (c) => Math.min(...c) > 240);
const dark = (colours) => share(colours, (c) => c[0] + c[1] + c[2] < 60);
// Red alone from half to full, or red and green adding up to half: the clear
// colour, seen through the picture's clear sky.
const pulseColour = ([r, g, b]) => b <= 5 && ((g <= 3 && r >= 122) || Math.abs(r + g - 128) <= 6);
const SKY = [[20, 210], [100, 215]];  // where the picture is fully transparent
const pixels = (browser, points) => browser.evaluate((p) => cardTest.pixels(p), points);

// What the page shows and the probe saw.
const state = (browser) => browser.evaluate(() => {
  const $ = (id) => document.getElementById(id);
  return { decodes: cardTest.decodes, starts: cardTest.starts, lines: cardTest.lines, hint: !$('hint').hidden,
    status: $('status').textContent, label: $('canvas').getAttribute('aria-label'), drawnAs: $('drawn-as').textContent,
    shown: ['composer', 'copy-link', 'no-link'].filter((id) => !$(id).hidden), audio: Module.cardAudio?.state,
    size: [$('canvas').width, $('canvas').height, $('canvas').clientWidth, devicePixelRatio] };
});

// The greeting white with dark rims and the sky the pulse colour; then the
// sky in another colour, as the card goes on drawing.
async function cardRuns(browser) {
  let sky;
  await waitFor('the card to be drawn', async () => {
    const seen = await pixels(browser, [...box(32, 12), ...SKY]), greeting = seen.slice(0, 384);
    sky = seen.slice(384);
    return white(greeting) > 1 / 6 && dark(greeting) > 1 / 10 && sky.every(pulseColour);
  });
  await waitFor('the pulse colour to change', async () => JSON.stringify(await pixels(browser, SKY)) != JSON.stringify(sky));
}

// The name's glyph boxes (35.2 pixels apart) lit where LIT has a 1 and dark where a 0.
async function nameDrawn(browser, lit) {
  const seen = await pixels(browser, [...lit].flatMap((_, i) => box(32 + i * 35.2, 276)));
  return [...lit].every((bit, i) => (white(seen.slice(i * 384, (i + 1) * 384)) > 1 / 10) == (bit == '1'));
}

const NAME = 'Zoë & José </script>', NAME_LIT = '1110101111';
const SAVED_BLOCK = '<script type="text/plain" id="sender-name" data-encoding="percent">Zoë & José %3C/script></script>';
const HTML_NAME = '<img src=x onerror=cardTestInjected=1>Ł';

async function scenario(engine) {
  const browser = await launch(engine, { width: 800, height: 700 });
  await browser.goto(pageUrl);
  await cardRuns(browser);
  // The tune decoded, the hint shown and nothing started until a click, which starts it once.
  let seen;
  await waitFor('the tune decoded and the hint', async () => (seen = await state(browser)).decodes == 1 && seen.hint);
  if (seen.starts) fail('the tune started before any gesture');
  await browser.click(400, 300);
  await waitFor('the tune to start once, the hint gone', async () => (seen = await state(browser)).starts == 1 && !seen.hint);
  await browser.evaluate((source) => { (0, eval)(source); }, axe.source);
  const violations = await browser.evaluate(async () => (await axe.run(document)).violations.map((v) => `${v.id}: ${v.help}`));
  if (violations.length) fail(`axe: ${violations.join('; ')}`);

  // The composer: the name typed and previewed is drawn and labelled; Escape
  // in its field leaves the card running; the saved file is the page with
  // only the name block changed, under a name safe for any disk.
  await browser.clickOn('#compose');
  await waitFor('the composer, without a link on a file', async () => (await state(browser)).shown.join() == 'composer,no-link');
  await browser.type('#name-field', NAME);
  await browser.clickOn('#preview');
  await waitFor('the typed name drawn', async () => (await state(browser)).label.endsWith(` ${NAME}`) && nameDrawn(browser, NAME_LIT));
  await browser.clickOn('#name-field');
  await browser.press('Escape');
  await cardRuns(browser);
  await browser.evaluate(() => {
    URL.createObjectURL = (blob) => { blob.text().then((text) => { cardTest.saved = text; }); return 'blob:kept'; };
    HTMLAnchorElement.prototype.click = function () { cardTest.download = this.download; };
  });
  await browser.clickOn('#save');
  await waitFor('the saved card', () => browser.evaluate(() => cardTest.saved));
  const { saved, download } = await browser.evaluate(() => ({ saved: cardTest.saved, download: cardTest.download }));
  const expected = probed.replace(/<script type="text\/plain" id="sender-name">[^<]*<\/script>/, SAVED_BLOCK);
  const differ = [...expected].findIndex((c, i) => saved[i] != c);
  if (saved != expected) fail(`the saved card differs at ${differ}: ${JSON.stringify(saved.slice(differ - 40, differ + 80))}`);
  if (!/^holiday-card-from-Zoe-Jose[A-Za-z0-9-]*\.html$/.test(download)) fail(`saved as ${download}`);

  // Escape ends the card, with no GL error said; "See the card again" starts it afresh.
  await browser.evaluate(() => document.activeElement.blur());
  await browser.press('Escape');
  await waitFor('the card to end', async () => (seen = await state(browser)).status.startsWith('The card has ended'));
  if (seen.starts != 1) fail(`the tune started ${seen.starts} times`);
  if (seen.lines.some((line) => line.startsWith('error at'))) fail(`GL errors: ${seen.lines.join('\n')}`);
  await browser.clickOn('#again');
  await waitFor('the card afresh', async () => (seen = await state(browser)).status == '' && seen.decodes == 1);
  await cardRuns(browser);

  // The saved file opened alone shows the card with the name, composer closed.
  writeFileSync(`${work}/saved.html`, saved);
  await browser.goto(pathToFileURL(`${work}/saved.html`).href);
  await waitFor('the saved name drawn', async () => (seen = await state(browser)).label.endsWith(` ${NAME}`) && nameDrawn(browser, NAME_LIT));
  if (seen.shown.includes('composer')) fail('the saved card opens with the composer');

  // Served, a link's name is drawn and labelled, a link can be copied, and a
  // name from the address is text, never HTML.
  const server = createServer((_, response) => response.end(probed)).listen(0, '127.0.0.1');
  await new Promise((resolve) => server.on('listening', resolve));
  await browser.goto(`http://127.0.0.1:${server.address().port}/holiday-card.html#from=Zo%C3%AB`);
  await waitFor('the linked name drawn', async () => (seen = await state(browser)).label.endsWith(' Zoë') && nameDrawn(browser, '11100'));
  if (seen.shown.join() != 'copy-link') fail(`served, the page shows ${seen.shown}`);
  await browser.evaluate((name) => { location.hash = `#from=${encodeURIComponent(name)}`; }, HTML_NAME);
  await waitFor('the new name from the address', async () => (await state(browser)).label.endsWith(HTML_NAME.replace('Ł', 'L')));
  const injected = await browser.evaluate(() => [document.querySelectorAll('img').length, window.cardTestInjected, document.getElementById('drawn-as').textContent]);
  if (injected[0] || injected[1] || injected[2] != `drawn as: ${HTML_NAME.replace('Ł', 'L')}`) fail(`the address's name as HTML: ${injected}`);
  server.close();
  await browser.close();
}

const PHONE = (width, height) => ({ viewport: { width, height, deviceScaleFactor: 3, isMobile: true, hasTouch: true },
  userAgent: 'Mozilla/5.0 (Linux; Android 14) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/140.0 Mobile Safari/537.36' });

const cases = {
  // Without WebGL the page shows the window-creation failure under "Error",
  // the console says the same, and there is no hint of music.
  async no_webgl() {
    const browser = await launch('chromium', { args: ['--disable-webgl'] }), text = 'CreateWindow() failed:  Cannot create a window.';
    await browser.goto(pageUrl);
    let seen;
    await waitFor('the failure on the page', async () => (seen = await state(browser)).status == `Error${text}`);
    if (!seen.lines.some((line) => line.startsWith(text)) || seen.hint) fail(`the console says ${seen.lines}; hint ${seen.hint}`);
    await browser.close();
  },

  // On a phone, upright and on its side, the card centred with no scrolling,
  // and the hint shown until a tap (touch events, no mouse) starts the tune.
  async phone() {
    const browser = await launch('chromium');
    for (const [width, height] of [[390, 844], [844, 390]]) {
      await browser.page.emulate(PHONE(width, height));
      await browser.goto(pageUrl);
      await cardRuns(browser);
      let seen;
      await waitFor('the hint', async () => (seen = await state(browser)).decodes == 1 && seen.hint);
      const edges = await browser.evaluate(() => {
        const r = document.getElementById('canvas').getBoundingClientRect(), page = document.scrollingElement;
        return [r.left, innerWidth - r.right, r.top, innerHeight - r.bottom, page.scrollWidth - innerWidth, page.scrollHeight - innerHeight];
      });
      if (Math.abs(edges[0] - edges[1]) > 1 || Math.abs(edges[2] - edges[3]) > 1 || edges[4] > 0 || edges[5] > 0)
        fail(`at ${width} x ${height}, margins left, right, top, bottom and overflow across, down: ${edges}`);
      await browser.page.touchscreen.tap(width / 2, height / 2);
      await waitFor('a tap to start the tune once', async () => (seen = await state(browser)).starts == 1 && !seen.hint);
    }
    await browser.close();
  },

  // At density 2: the first paint, before the scene is set up, white with
  // the greeting as black-rimmed boxes (the sky; inside the 'H' box, outside
  // its glyph; the rims left of and above it). Then a window made bigger
  // while the card runs: the drawing buffer (in device pixels) and the
  // picture follow (snow in the bottom-right corner, not the clear colour
  // beyond an old viewport). A context suspended later is resumed by the
  // next click, and the tune is not started again.
  async density_and_resize() {
    const browser = await launch('chromium', { width: 500, height: 700, scale: 2 });
    await browser.goto(pageUrl);
    await cardRuns(browser);
    const first = await browser.evaluate(() => cardTest.firstPaint);
    if (!(white(first.slice(0, 2)) == 1 && dark(first.slice(2)) == 1)) fail(`the first paint is ${JSON.stringify(first)}`);
    await browser.click(250, 300);
    await waitFor('the tune to start', async () => (await state(browser)).starts == 1);
    await browser.page.setViewport({ width: 900, height: 700, deviceScaleFactor: 2 });
    await waitFor('the buffer and picture to follow', async () => {
      const { size } = await state(browser), corner = await pixels(browser, [[637, 477], [600, 470]]);
      return size.join() == '1280,960,640,2' && corner.every((c) => Math.min(...c) > 100);
    });
    await browser.evaluate(() => Module.cardAudio.suspend());
    await waitFor('the tune to be suspended', async () => (await state(browser)).audio == 'suspended');
    await browser.click(450, 300);
    await waitFor('the tune to play on', async () => (await state(browser)).audio == 'running');
    await cardRuns(browser);
    const { starts } = await state(browser);
    if (starts != 1) fail(`the tune started ${starts} times`);
    await browser.close();
  },

  // By hand: the README's pictures of the card on a phone, in a wide window,
  // and with the composer open.
  async shots() {
    const browser = await launch('chromium');
    await browser.page.emulate(PHONE(390, 844));
    await browser.goto(pageUrl);
    await cardRuns(browser);
    await browser.page.screenshot({ path: `${work}/phone.png` });
    await browser.page.emulate({ viewport: { width: 1600, height: 900 }, userAgent: '' });
    await browser.goto(pageUrl);
    await cardRuns(browser);
    await browser.page.screenshot({ path: `${work}/wide.png` });
    await browser.clickOn('#compose');
    await browser.type('#name-field', 'Zoë Müller-Łukasz');
    await waitFor('the name drawn', async () => (await state(browser)).drawnAs == 'drawn as: Zoë Müller-Lukasz' && nameDrawn(browser, '111'));
    await cardRuns(browser);
    await browser.page.screenshot({ path: `${work}/composer.png` });
    await browser.close();
  },
};

const [run, engine] = testCase.split('.');
if (run == 'scenario' && ['chromium', 'firefox', 'webkit'].includes(engine)) await scenario(engine);
else if (cases[testCase]) await cases[testCase]();
else fail('no such case');
console.log(`ok (${testCase})`);

// Takes the README's pictures of the browser card: on a phone held upright,
// in a wide window, with the composer open on a name beyond ASCII, while
// it makes a video, for a reader of Arabic with an Arabic name, and as a
// link with a message opens it. It drives Chromium through the browser tests' packages;
// run it from tests/web, under with_servers.sh:
//   node ../../tools/web/shots.mjs PAGE.html WORK_DIR DOCS_DIR
import { launch, PROBE } from '../../tests/web/engines.mjs';
import { cardLinkTo } from '../../web/card_name.js';
import { cardMessageCode } from '../../web/message.js';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';
import { pathToFileURL } from 'node:url';

const [pagePath, work, docs] = process.argv.slice(2);
mkdirSync(work, { recursive: true });
writeFileSync(`${work}/holiday-card.html`, readFileSync(pagePath, 'utf8').replace('<head>', `<head>${PROBE}`));
const until = async (browser, test) => { while (!(await browser.evaluate(test))) await new Promise((r) => setTimeout(r, 200)); };
const settle = () => new Promise((r) => setTimeout(r, 2000));  // a few frames on a software renderer

const browser = await launch('chromium'), shot = (name) => browser.page.screenshot({ path: `${docs}/${name}.png` });
const phone = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
for (const [name, viewport] of [['phone', phone], ['wide', { width: 1600, height: 900 }]]) {
  await browser.page.emulate({ viewport, userAgent: viewport.isMobile ? 'Mozilla/5.0 (Linux; Android 14) Mobile' : '' });
  await browser.goto(pathToFileURL(`${work}/holiday-card.html`).href);
  await until(browser, () => cardTest.decodes > 0);  // the first idle frame is drawn
  await settle();
  await shot(name);
}
await browser.clickOn('#compose');
await browser.type('#name-field', 'Zoë Müller-Łukasz');
await browser.clickOn('#preview');
await until(browser, () => !Module.cardNewName && document.getElementById('drawn-as').textContent != '');
await settle();
await shot('composer');
await browser.clickOn('#make-video');
await until(browser, () => document.getElementById('video-progress').value > 300);
await shot('composer-video');
await until(browser, () => !document.getElementById('save-video').hidden);
await browser.close();

const arabic = await launch('chromium', { language: 'ar' });
await arabic.goto(pathToFileURL(`${work}/holiday-card.html`).href);
await until(arabic, () => cardTest.decodes > 0);
await arabic.clickOn('#compose');
await arabic.type('#name-field', 'ليلى أحمد');
await arabic.clickOn('#preview');
await until(arabic, () => !Module.cardNewName);
await settle();
await arabic.page.screenshot({ path: `${docs}/composer-arabic.png` });
await arabic.close();

const recipient = await launch('chromium', { width: 1280, height: 760 });
const message = 'Dear Grandma,\nwe miss you, and the cat misses your lap.\nSee you at Easter!\n\nZoë, Tom and the twins';
await recipient.goto(cardLinkTo(pathToFileURL(`${work}/holiday-card.html`).href, 'Zoë & Tom', await cardMessageCode(message)));
await until(recipient, () => cardTest.decodes > 0);
await settle();
await recipient.page.screenshot({ path: `${docs}/message.png` });
await recipient.close();

// Makes the browser card's one HTML file from page.html, in the order the
// card needs its parts (see page.html): the pictures inside it (base64 PNG,
// losslessly recompressed: PICTURES_DIR holds them as zopflipng writes
// them), the page's core script and the program, then the page's words in
// every language but English (which page.html is written in), the tune (as
// AAC in MP4, a tenth of the WAV's size, which every browser decodes) and
// the video maker's script (with mediabunny, from web/node_modules, which
// tools/build-web installs), each bundled by esbuild; the sender's name in
// its editable block, and a Content-Security-Policy that lets the page run
// its own scripts and styles, by hash, and reach nothing else. With a site
// address (where the card will be served from) the link-preview tags name
// its still by that address, and the still is written beside the page as
// holiday-card.jpg.
// Usage: node make_page.mjs PROGRAM.js NAME ASSETS_DIR PICTURES_DIR STILL.jpg OUTPUT.html [SITE_ADDRESS]
import { buildSync } from 'esbuild';
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { copyFileSync, existsSync, mkdtempSync, readFileSync, readdirSync, renameSync, rmSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, dirname, join } from 'node:path';

const pages = dirname(new URL(import.meta.url).pathname);
const [program, namePath, assets, pictures, still, output, site = ''] = process.argv.slice(2);
const fail = (line) => { console.error(line); process.exit(1); };
const escapeAttribute = (text) => text.replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');

// The page carries UTF-8 text. The name file is the desktop card's, whose
// letters are Windows-1252; one that is already UTF-8 is taken as it is.
// Windows-1252 leaves five bytes undefined.
function nameText(bytes) {
  try {
    return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  } catch {
    if (bytes.some((b) => [0x81, 0x8d, 0x8f, 0x90, 0x9d].includes(b)))
      fail(`${namePath}: neither UTF-8 nor Windows-1252 text`);
    return new TextDecoder('windows-1252').decode(bytes);
  }
}

// Link previews: what messengers show of a link to the card. Only an
// absolute address can name the picture, so only a site address gives one.
function previewTags(address) {
  const tags = [['og:title', 'HAPPY HOLIDAYS'], ['og:description', 'An animated holiday card with a tune'],
    ['og:type', 'website'], ['twitter:card', address ? 'summary_large_image' : 'summary']];
  if (address)
    tags.push(['og:image', `${address}holiday-card.jpg`], ['og:url', `${address}holiday-card.html`]);
  return tags.map(([key, content]) => `<meta ${key.startsWith('og:') ? 'property' : 'name'}="${key}" content="${escapeAttribute(content)}">`)
    .join('\n');
}

// The address must be absolute and plain, and end in "/" for the files to be named after it.
function siteAddress(address) {
  if (!address)
    return '';
  if (!/^https?:\/\/[^\s"'<>&]+$/.test(address))
    fail(`${address}: not a site address (one like https://example.org/card/)`);
  return address.endsWith('/') ? address : `${address}/`;
}

// The policy: nothing from anywhere, but the page's own inline scripts and
// styles (by their hashes), the program's WebAssembly, and data: pictures.
// The program fetches its own data: address once before it decodes it.
// SCRIPTS are the texts of the scripts put into the page; its styles and
// its one small script of its own are the template's.
function policy(template, scripts) {
  const hash = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;
  const styles = [...template.matchAll(/<style>([\s\S]*?)<\/style>/g)].map((m) => m[1]);
  scripts = [...new Set([...[...template.matchAll(/<script>([^@<]*)<\/script>/g)].map((m) => m[1]), ...scripts])];
  return [`default-src 'none'`, `script-src ${scripts.map(hash).join(' ')} 'wasm-unsafe-eval'`,
    `style-src ${styles.map(hash).join(' ')}`,
    'img-src data:', 'connect-src data:', `base-uri 'none'`, `form-action 'none'`].join('; ');
}

const address = siteAddress(site);
const name = nameText(readFileSync(namePath));
// The card's label (and its still's text) until the page's script gives it
// the name as the card lays it out: the name's lines on one line, as text.
const label = escapeAttribute(`HAPPY HOLIDAYS AND A HAPPY NEW YEAR FROM ${name.replace(/[\r\n\t]/g, ' ')}`
  .replace(/ +/g, ' ').replace(/ $/, ''));
if (!existsSync(still) || !statSync(still).size)
  fail(`${still}: no still of the card (tools/build-web draws it)`);

// Three scripts: the page's core, which the first frame needs, the sender's
// message's, right after the program, and the video maker, last in the page. The page's words stay UTF-8, as the page is,
// rather than escaped (a Cyrillic letter is two bytes, not six).
const bundled = (entry) => buildSync({ entryPoints: [join(pages, entry)], bundle: true, minify: true, format: 'iife', charset: 'utf8',
  target: 'es2020', write: false, logLevel: 'warning' }).outputFiles[0].text;
const [core, message, videoMaker] = [bundled('page.js'), bundled('message_page.js'), bundled('video_arrives.js')];
const programText = `${readFileSync(program, 'utf8')}\n`;
// A script element ends at "</script" (and misreads one after "<!--"); a
// data block's JSON has every "<" escaped.
for (const [part, text] of [[namePath, name], [program, programText], [join(pages, 'page.js'), core], [join(pages, 'message_page.js'), message],
  [join(pages, 'video_arrives.js'), videoMaker]])
  if (/<\/script|<!--/i.test(text))
    fail(`${part}: holds "</script" or "<!--", which would end the page's script early`);
const dataBlock = (value) => JSON.stringify(value).replace(/</g, '\\u003c');

// Every language's words but English's, which the page is written in.
const words = {};
for (const file of readdirSync(join(pages, 'lang')).filter((f) => f.endsWith('.json') && f != 'en.json').sort())
  words[basename(file, '.json')] = JSON.parse(readFileSync(join(pages, 'lang', file), 'utf8'));

// The same bytes from the same WAV on every build: no encoder tag or date,
// and the index first, so a player can start before the whole file is in.
const work = mkdtempSync(join(tmpdir(), 'card-page-')), tunePath = join(work, 'ha_xmas.m4a');
try {
  execFileSync('ffmpeg', ['-loglevel', 'error', '-y', '-i', join(assets, 'ha_xmas.wav'), '-c:a', 'aac', '-b:a', '56k',
    '-map_metadata', '-1', '-fflags', '+bitexact', '-flags:a', '+bitexact', '-movflags', '+faststart', tunePath], { stdio: 'inherit' });
} catch {
  fail(`${join(assets, 'ha_xmas.wav')}: cannot be encoded as AAC`);
}
const tune = { '/assets/ha_xmas.m4a': readFileSync(tunePath).toString('base64') };
rmSync(work, { recursive: true });
const files = {};
for (const file of ['tormbriskchristmas.png', 'font.png'])
  files[`/assets/${file}`] = readFileSync(join(pictures, file)).toString('base64');

// Each placeholder once, its text as it is (a function, so that "$" in it means nothing).
const parts = { NAME: name, LABEL: label, STILL: readFileSync(still).toString('base64'), PREVIEW: previewTags(address),
  ASSETS: dataBlock(files), PAGE_JS: core, PROGRAM: programText, MESSAGE_JS: message, WORDS: dataBlock(words), TUNE: dataBlock(tune),
  VIDEO_JS: videoMaker };
const template = readFileSync(join(pages, 'page.html'), 'utf8');
parts.POLICY = policy(template, [core, programText, message, videoMaker]);
const page = template.replace(/@([A-Z_]+)@/g, (all, key) => (key in parts ? parts[key] : all));
writeFileSync(`${output}.new`, page);
renameSync(`${output}.new`, output);
// The still beside the page only with a site address, which names it; none left from an earlier build.
if (address)
  copyFileSync(still, join(dirname(output), 'holiday-card.jpg'));
else
  rmSync(join(dirname(output), 'holiday-card.jpg'), { force: true });

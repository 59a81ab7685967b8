// The built page's own promises, on their own: a policy that names no
// address, link-preview tags whose picture is absolute (with a site address,
// the still written beside the page), and H.264 decoder records made well
// formed. Usage: node page_test.mjs BUILD_WEB_DIR
import { wellFormedAvcRecord } from '../../web/avc_record.js';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const built = process.argv[2], root = new URL('../..', import.meta.url).pathname, failures = [];
const expect = (what, got, want) => { if (got !== want) failures.push(`${what}: got ${JSON.stringify(got)}, want ${JSON.stringify(want)}`); };
const tag = (page, key) => page.match(new RegExp(`<meta (?:property|name)="${key}" content="([^"]*)">`))?.[1] ?? null;

// Every source a hash, the program's WebAssembly or a data: or blob: address: no host, scheme, 'self' or *.
const page = readFileSync(join(built, 'holiday-card.html'), 'utf8');
const policy = page.match(/^<meta http-equiv="Content-Security-Policy" content="([^"]*)">$/m)?.[1] ?? '';
const directives = Object.fromEntries(policy.split(';').map((d) => d.trim().split(/\s+/)).map(([name, ...sources]) => [name, sources]));
for (const [name, sources] of Object.entries(directives))
  expect(`sources of ${name}`, sources.filter((s) => !/^('none'|'sha256-[A-Za-z0-9+/]+={0,2}'|'wasm-unsafe-eval'|data:|blob:)$/.test(s)).join(' '), '');
for (const name of ['default-src', 'base-uri', 'form-action'])
  expect(name, directives[name]?.join(' '), "'none'");
expect('the policy first in the head', page.indexOf('http-equiv') < page.indexOf('<script'), true);

// Previews: the card's own words; a picture only with an absolute address.
const site = 'https://cards.example.org/holiday/', work = mkdtempSync(join(tmpdir(), 'card-site-'));
execFileSync('node', [join(root, 'web/make_page.mjs'), join(built, 'holiday-card.js'), join(root, 'name'), join(root, 'assets'),
  join(built, 'pictures'), join(built, 'still.jpg'), join(work, 'holiday-card.html'), site]);
const served = readFileSync(join(work, 'holiday-card.html'), 'utf8');
for (const [key, want, wantServed] of [['og:title', 'HAPPY HOLIDAYS'], ['og:description', 'An animated holiday card with a tune'],
  ['og:type', 'website'], ['twitter:card', 'summary', 'summary_large_image'], ['og:image', null, `${site}holiday-card.jpg`],
  ['og:url', null, `${site}holiday-card.html`]]) {
  expect(`${key} of the page`, tag(page, key), want);
  expect(`${key} of the page for ${site}`, tag(served, key), wantServed ?? want);
}
expect('the still beside it', readFileSync(join(work, 'holiday-card.jpg')).equals(readFileSync(join(built, 'still.jpg'))), true);

// The page's pictures, recompressed, decode to the assets' every pixel (FFmpeg's decoder, as RGBA); its
// words are every language's but English's, which the page is written in.
const block = (id) => JSON.parse(page.match(new RegExp(`<script type="application/json" id="${id}">([^<]*)</script>`))[1]);
const rgba = (png) => execFileSync('ffmpeg', ['-v', 'error', '-i', '-', '-f', 'rawvideo', '-pix_fmt', 'rgba', '-'], { input: png, maxBuffer: 1 << 24 });
for (const [path, base64] of Object.entries(block('card-assets')))
  expect(`${path}'s pixels`, rgba(Buffer.from(base64, 'base64')).equals(rgba(readFileSync(join(root, path)))), true);
expect('the words', Object.keys(block('card-words')).join(), 'ar,de,el,es,fr,he,hi,it,ja,ko,nl,pl,pt,ru,tr,uk,zh');

// Records as Firefox and Chromium give them (Firefox's: reserved bits 0, each header byte twice), and one cut short.
const hex = (text) => Buffer.from(text.replace(/ /g, ''), 'hex'), chromium = '0142c01effe10012 6742c01e8c8d40501ed37010d0107844235001 000468ce3c80';
for (const [record, want] of [
  ['0142c01f 0301 0017 676742c01fd900a03da10000030001001e84800f183248 01 0005 6868cb8cb2',
    '0142c01f ffe1 0016 6742c01fd900a03da10000030001001e84800f183248 01 0004 68cb8cb2'], [chromium, chromium],
  ['0142c01effe10012 6742c01e', 'cut short']]) {
  let got;
  try { got = Buffer.from(wellFormedAvcRecord(hex(record))).toString('hex'); } catch (e) { got = e.message.includes('cut short') && 'cut short'; }
  expect(`the record ${record}`, got, want == 'cut short' ? want : hex(want).toString('hex'));
}

if (failures.length) {
  console.log(failures.join('\n'));
  process.exit(1);
}
console.log('ok: the policy, the previews and the decoder records');

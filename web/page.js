// The page around the card, and the entry of its script: which name it
// draws (from the address's #from=, else the name block), what it says for
// the card (its label, the music hint, a failure, the end) in its reader's
// language, the still that stands in the card's box until the card has
// drawn, and the composer that puts another name on the card and saves the
// page with it, makes a link to it or a video of it. Module is the one
// global: the program (the page's last script) reads it and calls the page
// through it.
import {
  CARD_NAME_LIMIT, cardCleanName, cardFileName, cardFromBase64, cardIsWindows1252, cardLaidOut, cardLinkTo, cardNameBytes,
  cardNameFromAddress, cardNameFromBlock, cardNameToBlock, cardToBase64,
} from './card_name.js';
import { cardNameGlyphs } from './name_glyphs.js';
import { makeVideo } from './video.js';
import { cardDirectionOf, cardLanguageFor, cardSay } from './words.js';

const CARD_GREETING = 'HAPPY HOLIDAYS AND A HAPPY NEW YEAR FROM';
// The still: a picture of the card as it was last drawn with the name
// stillName, which a saved card shows wherever it cannot move.
// The glyphs the page drew for the name (null where the card draws its
// bytes), and those a saved card carries for its own name.
const cardPage = { original: null, name: null, pending: 0, still: null, stillName: null, stillWaiting: null, glyphs: null, carried: null };
// The composer's video: whether Cancel was chosen, and the file once made.
const cardVideo = { stopped: false, file: null };

function cardElement(id) {
  return document.getElementById(id);
}

// The reader's language, and its words for KEY (placeholders from VALUES).
const cardLanguage = cardLanguageFor(navigator.languages && navigator.languages.length ? navigator.languages : [navigator.language]);
const cardSaid = (key, values) => cardSay(cardLanguage, key, values);

// The page's own words and labels, by element, put into the reader's
// language once the page as it was opened is kept (a saved copy speaks to
// its own reader).
const CARD_PAGE_WORDS = [['hint', 'hint'], ['compose', 'compose'], ['name-label', 'yourName'], ['preview', 'preview'],
  ['save', 'save'], ['make-video', 'makeVideo'], ['save-picture', 'savePicture'], ['copy-link', 'copyLink'],
  ['cancel-video', 'cancel'], ['share-video', 'shareVideo'], ['save-video', 'saveVideo'], ['no-link', 'noLink']];
const CARD_PAGE_LABELS = [['link', 'linkLabel'], ['video-progress', 'progressLabel']];

function cardSpeakReadersLanguage() {
  document.documentElement.lang = cardLanguage;
  document.documentElement.dir = cardDirectionOf(cardLanguage);
  for (const [id, key] of CARD_PAGE_WORDS)
    cardElement(id).textContent = cardSaid(key);
  for (const [id, key] of CARD_PAGE_LABELS)
    cardElement(id).setAttribute('aria-label', cardSaid(key));
}

// The card's pictures and tune (base64 in a data block of the page), as it reads them from its working folder.
const cardAssets = JSON.parse(cardElement('card-assets').textContent);
const cardAssetBytes = (path) => cardFromBase64(cardAssets[path]);

// The page as it was opened, less the program's script, which comes after
// this one and never changes. Kept before anything on the page changes, so
// that a saved copy differs from the opened file only in its name block
// (a page from disk cannot read its own file).
function cardKeepPage() {
  cardPage.original = document.documentElement.cloneNode(true);
  cardPage.original.removeAttribute('class');  // a link's, which each copy's first script sets for itself
}

function cardSavedPage(name) {
  const page = cardPage.original.cloneNode(true), block = cardNameToBlock(name);
  page.querySelector('body').appendChild(cardElement('card-program').cloneNode(true));
  page.querySelector('#canvas').setAttribute('aria-label', cardElement('canvas').getAttribute('aria-label'));
  page.querySelector('#still').setAttribute('alt', cardElement('still').alt);
  if (cardPage.stillName === name)
    page.querySelector('#still').setAttribute('src', cardPage.still);
  const element = page.querySelector('#sender-name');
  element.textContent = block.text;
  if (block.encoding)
    element.setAttribute('data-encoding', block.encoding);
  else
    element.removeAttribute('data-encoding');
  page.querySelector('#name-glyphs')?.remove();
  if (cardPage.glyphs && cardPage.name === name)
    element.after(cardGlyphBlock(name, cardPage.glyphs));
  return '<!DOCTYPE html>\n' + page.outerHTML + '\n';
}

// Beside the name block of a saved card: the glyphs drawn for its name, so
// that it shows as the sender saw it where the fonts differ. JSON with "<"
// escaped, so that no name can end the element.
function cardGlyphBlock(name, glyphs) {
  const block = Object.assign(document.createElement('script'), { type: 'application/json', id: 'name-glyphs' });
  const carried = { name, shown: glyphs.shown, cells: cardToBase64(glyphs.cells), glyphs: cardToBase64(glyphs.png) };
  block.textContent = JSON.stringify(carried).replace(/</g, '\\u003c');
  return block;
}

// The glyphs a saved card carries, or null; a block that cannot be read is
// said once, and the page draws the name's glyphs afresh.
function cardCarriedGlyphs() {
  const block = cardElement('name-glyphs');
  try {
    const carried = block && JSON.parse(block.textContent);
    if (!carried)
      return null;
    if (typeof carried.name != 'string' || !Array.isArray(carried.shown) || !carried.shown.every((g) => typeof g == 'string'))
      throw new TypeError('not a name and its letters');
    return { name: carried.name, shown: carried.shown, cells: cardFromBase64(carried.cells), png: cardFromBase64(carried.glyphs) };
  } catch (e) {
    console.error('name-glyphs: not the glyphs of a saved card; the name\'s glyphs are drawn afresh');
    return null;
  }
}

function cardNameAtStart() {
  const block = cardElement('sender-name');
  const fromAddress = cardNameFromAddress(location.hash);
  return fromAddress !== null ? fromAddress : cardNameFromBlock(block.textContent, block.getAttribute('data-encoding'));
}

// A name beyond Windows-1252: the glyphs the saved card carries for it, else
// those the page draws now with this device's fonts.
function cardGlyphsFor(name) {
  const carried = cardPage.carried;
  if (carried && carried.name === name)
    return { ...carried, bytes: cardNameBytes(name).bytes, kept: name, cut: false };
  return cardNameGlyphs(name);
}

// The card's name files: the bytes it draws, and the glyphs where it draws
// those instead.
function cardWriteName(drawable) {
  Module.FS.writeFile('/name', drawable.bytes);
  for (const [path, bytes] of [['/name-cells', drawable.cells], ['/name-glyphs.png', drawable.png]]) {
    if (bytes)
      Module.FS.writeFile(path, bytes);
    else if (Module.FS.analyzePath(path).exists)
      Module.FS.unlink(path);
  }
  Module.cardNewName = true;
}

// Gives the card a name, less the characters that would reorder it: one in
// Windows-1252 as its bytes, any other with glyphs of the page's. Its text
// goes into the canvas's label (as the card lays out the bytes, or as typed)
// and, where the card shows something else, under the field.
function cardUseName(name) {
  const clean = cardCleanName(name), plain = cardIsWindows1252(clean);
  const drawable = plain ? cardNameBytes(clean) : cardGlyphsFor(clean);
  cardPage.name = drawable.kept;
  cardPage.glyphs = plain ? null : drawable;
  if (Module.FS)  // else the card has not loaded yet, and starts with this name
    cardWriteName(drawable);
  const shown = cardLaidOut(plain ? drawable.drawn : drawable.shown);
  cardElement('canvas').setAttribute('aria-label', (CARD_GREETING + ' ' + (plain ? shown : drawable.kept)).trim());
  cardElement('still').alt = cardElement('canvas').getAttribute('aria-label');
  cardElement('drawn-as').textContent = shown != drawable.kept ? cardSaid('drawnAs', { name: shown }) : '';
  const letters = plain ? drawable.drawn.length : drawable.shown.length;
  cardElement('name-cut').textContent = drawable.cut ? cardSaid('nameCut', { limit: CARD_NAME_LIMIT, count: letters }) : '';
}

const Module = window.Module = {
  canvas: cardElement('canvas'),
  print: function (text) { console.log(text); },
  printErr: function (text) { console.error(text); },
  // Before the card starts: its files, as it reads them from its working folder.
  preRun: [function () {
    Module.FS.mkdir('/assets');
    for (const path in cardAssets)
      Module.FS.writeFile(path, cardAssetBytes(path));
    cardUseName(cardPage.name !== null ? cardPage.name : cardNameAtStart());
    Module.cardNewName = false;  // the card reads this name when it sets up
  }],
  // Without WebGL the card cannot move: its still stays in its place.
  cardCannotAnimate: function () {
    cardElement('canvas').hidden = true;
    cardElement('status').textContent = cardSaid('cannotAnimate');
  },
  // Each frame of the set-up card, before the browser shows it: the first
  // puts the live card in the still's place, and the first one with a new
  // name becomes the still, shrunk to the card's 640 x 480.
  cardFrameDrawn: function () {
    document.body.classList.add('live');
    if (Module.cardNewName || cardPage.stillName === cardPage.name)
      return;
    const still = Object.assign(document.createElement('canvas'), { width: 640, height: 480 });
    still.getContext('2d').drawImage(cardElement('canvas'), 0, 0, 640, 480);
    cardPage.still = still.toDataURL('image/jpeg', 0.85);
    cardPage.stillName = cardPage.name;
    cardStillReady();
  },
  // Shown while the tune waits for the person's first touch, click or key.
  cardHint: function (waiting) {
    cardElement('hint').hidden = !waiting;
  },
  // A page cannot close its own tab: after a normal end it says so, and offers the card again.
  onExit: function (code) {
    if (code != 0)
      return;
    const again = document.createElement('button');
    again.id = 'again';
    again.type = 'button';
    again.textContent = cardSaid('again');
    again.addEventListener('click', function () { location.reload(); });
    cardElement('status').replaceChildren(cardSaid('ended') + ' ', again);
  }
};

function cardUseTypedName() {
  cardUseName(cardElement('name-field').value);
}

// A file downloaded as single-file pages do: a link to it, clicked.
function cardDownload(file, fileName) {
  const link = document.createElement('a');
  link.href = typeof file == 'string' ? file : URL.createObjectURL(file);
  link.download = fileName;
  link.click();
  if (typeof file != 'string')
    setTimeout(function () { URL.revokeObjectURL(link.href); }, 60000);
}

// Runs THEN with the typed name on the card and, once the card has drawn
// it, in the still; where no frame comes (the card has ended, or cannot run
// here) THEN runs after 2 s with the still the page has.
function cardWithStill(then) {
  cardUseTypedName();
  if (cardPage.stillName === cardPage.name)
    return then();
  cardPage.stillWaiting = then;
  setTimeout(cardStillReady, 2000);
}

function cardStillReady() {
  const then = cardPage.stillWaiting;
  cardPage.stillWaiting = null;
  if (then)
    then();
}

// Saves the page with the name as a new file, its still showing the name.
function cardSave() {
  cardWithStill(function () {
    cardDownload(new Blob([cardSavedPage(cardPage.name)], { type: 'text/html' }), cardFileName(cardPage.name));
  });
}

function cardSavePicture() {
  cardWithStill(function () {
    const still = cardPage.stillName === cardPage.name ? cardPage.still : cardElement('still').src;
    cardDownload(still, cardFileName(cardPage.name).replace(/\.html$/, '.jpg'));
  });
}

function cardShowVideo(making, line) {
  cardElement('video-making').hidden = !making;
  cardElement('make-video').disabled = making;
  cardElement('video-line').textContent = line;
}

// Makes the video with the typed name, its frames counted on the bar; once
// it is ready, offers the system's share sheet where it takes the file
// (that needs a fresh tap), else a download.
function cardStartVideo() {
  cardElement('share-video').hidden = cardElement('save-video').hidden = true;
  if (!window.VideoEncoder || !window.VideoFrame)
    return cardShowVideo(false, cardSaid('noWebCodecs'));
  clearTimeout(cardPage.pending);  // the name is the one typed now, for the whole video
  cardUseTypedName();
  cardVideo.stopped = false;
  cardShowVideo(true, cardSaid('making'));
  const bar = cardElement('video-progress');
  const card = { program: Module, tune: cardAssetBytes('/assets/ha_xmas.m4a') };
  makeVideo(card, function (done, all) { bar.max = all; bar.value = done; }, function () { return cardVideo.stopped; }).then(function (made) {
    if (!made)
      return cardShowVideo(false, cardSaid('cancelled'));
    const type = made.form.container, name = cardFileName(cardPage.name).replace(/\.html$/, '.' + type);
    cardVideo.file = new File([made.blob], name, { type: made.blob.type });
    cardShowVideo(false, cardSaid(type == 'mp4' ? 'ready' : 'readyWebm'));
    const shareable = navigator.canShare && navigator.canShare({ files: [cardVideo.file] });
    cardElement(shareable ? 'share-video' : 'save-video').hidden = false;
  }, function (e) {
    cardShowVideo(false, cardSaid('failed', { reason: e.said ? cardSaid(e.said) : e.message }));
  });
}

// The file alone: a messenger that gets text beside a file may drop the file.
function cardShareVideo() {
  navigator.share({ files: [cardVideo.file] }).catch(function () {});
}

function cardCopyLink() {
  cardUseTypedName();
  const field = cardElement('link');
  field.value = cardLinkTo(location.href, cardPage.name);
  field.hidden = false;
  field.select();
  if (navigator.clipboard)
    navigator.clipboard.writeText(field.value).catch(function () {});
  if (navigator.share)
    navigator.share({ url: field.value }).catch(function () {});
}

function cardOpenComposer() {
  const composer = cardElement('composer'), open = composer.hidden;
  composer.hidden = !open;
  document.body.classList.toggle('composing', open);
  cardElement('compose').setAttribute('aria-expanded', String(open));
  if (open) {
    cardElement('name-field').value = cardPage.name;
    cardElement('name-field').select();  // typing replaces the name that came with the card
  }
}

// The card is redrawn with what is typed once the sender pauses, or at once on Preview.
function cardTyped() {
  clearTimeout(cardPage.pending);
  cardPage.pending = setTimeout(cardUseTypedName, 1000);
}

function cardStartPage() {
  const served = location.protocol == 'http:' || location.protocol == 'https:';
  cardElement('compose').hidden = false;  // a control that works only with scripts
  cardElement('copy-link').hidden = !served;
  cardElement('no-link').hidden = served;
  cardElement('compose').addEventListener('click', cardOpenComposer);
  cardElement('name-field').addEventListener('input', cardTyped);
  cardElement('preview').addEventListener('click', cardUseTypedName);
  cardElement('save').addEventListener('click', cardSave);
  cardElement('copy-link').addEventListener('click', cardCopyLink);
  cardElement('save-picture').addEventListener('click', cardSavePicture);
  cardElement('make-video').addEventListener('click', cardStartVideo);
  cardElement('cancel-video').addEventListener('click', function () { cardVideo.stopped = true; });
  cardElement('share-video').addEventListener('click', cardShareVideo);
  cardElement('save-video').addEventListener('click', function () { cardDownload(cardVideo.file, cardVideo.file.name); });
  addEventListener('hashchange', function () {
    const name = cardNameFromAddress(location.hash);
    if (name !== null)
      cardUseName(name);
  });
}

cardKeepPage();
cardSpeakReadersLanguage();
cardPage.carried = cardCarriedGlyphs();
cardStartPage();

// The page around the card, and the entry of its core script: which name
// it draws (from the address's #from=, else the name block), what it says
// for the card (its label, the music hint, a failure, the end) in its
// reader's language, the still that stands in the card's box until the card
// has drawn, and the composer that puts another name on the card and saves
// the page with it, makes a link to it or a video of it. Module is the one
// global: the program (the next script) reads it and calls the page through
// it, and so do the parts that arrive after the program (the words, the
// tune, the video maker), through Module.cardArrived and
// Module.cardVideoArrived.
import {
  CARD_NAME_LIMIT, cardCleanName, cardFileName, cardFromBase64, cardIsWindows1252, cardLaidOut, cardLinkTo, cardNameBytes,
  cardNameFromAddress, cardNameFromBlock, cardNameToBlock, cardToBase64,
} from './card_name.js';
import { cardNameGlyphs } from './name_glyphs.js';
import { cardDirectionOf, cardLanguageFor, cardSay, cardTakeLanguages } from './words.js';

const CARD_GREETING = 'HAPPY HOLIDAYS AND A HAPPY NEW YEAR FROM';
// The page as it was opened, and its core script, after which the parts
// that arrive later stand. The still: a picture of the card as it was
// last drawn with the name stillName, which a saved card shows wherever it
// cannot move; taken when one is asked for (stillWaiting), as reading the
// drawn frame back is slow. The glyphs the page drew for the name (null
// where the card draws its bytes), and those a saved card carries for its
// own name. Whether the card's folder is made, and the tune once arrived.
const cardPage = { original: null, core: document.currentScript, name: null, pending: 0, still: null, stillName: null,
  stillWaiting: null, glyphs: null, carried: null, folderMade: false, tune: null, wordsTaken: false };
// The composer's video: the maker once its script has arrived, whether one
// was asked for before, whether Cancel was chosen, and the file once made.
const cardVideo = { make: null, wanted: false, stopped: false, file: null };

function cardElement(id) {
  return document.getElementById(id);
}

// The reader's language, once the page's words in every language have
// arrived (English until then), and its words for KEY (placeholders from VALUES).
let cardLanguage = 'en';
const cardSaid = (key, values) => cardSay(cardLanguage, key, values);
// What the page has said in its lines, by element: said again once the reader's words arrive.
const cardSayings = new Map();

function cardSayIn(id, say) {
  cardSayings.set(id, say);
  say(cardElement(id));
}

// KEY's words (or nothing, for no KEY) as the text of the element ID.
function cardLine(id, key, values) {
  cardSayIn(id, function (element) { element.textContent = key ? cardSaid(key, values) : ''; });
}

// The page's own words and labels, by element, put into the reader's
// language once the page as it was opened is kept (a saved copy speaks to
// its own reader).
const CARD_PAGE_WORDS = [['hint', 'hint'], ['compose', 'compose'], ['name-label', 'yourName'], ['message-label', 'yourMessage'],
  ['preview', 'preview'], ['save', 'save'], ['make-video', 'makeVideo'], ['save-picture', 'savePicture'], ['copy-link', 'copyLink'],
  ['cancel-video', 'cancel'], ['share-video', 'shareVideo'], ['save-video', 'saveVideo'], ['no-link', 'noLink']];
const CARD_PAGE_LABELS = [['link', 'aria-label', 'linkLabel'], ['video-progress', 'aria-label', 'progressLabel'],
  ['message-field', 'placeholder', 'messagePlaceholder']];

function cardSpeakReadersLanguage() {
  document.documentElement.lang = cardLanguage;
  document.documentElement.dir = cardDirectionOf(cardLanguage);
  for (const [id, key] of CARD_PAGE_WORDS)
    cardElement(id).textContent = cardSaid(key);
  for (const [id, attribute, key] of CARD_PAGE_LABELS)
    cardElement(id).setAttribute(attribute, cardSaid(key));
  for (const [id, say] of cardSayings)
    say(cardElement(id));
}

// Every language's words, once their block has arrived: the page speaks
// its reader's, and offers its composer (in words the reader reads).
function cardTakeWords() {
  try {
    cardTakeLanguages(JSON.parse(cardElement('card-words').textContent));
  } catch (e) {
    console.error('card-words: not the page\'s words; the page speaks English');
  }
  cardLanguage = cardLanguageFor(navigator.languages && navigator.languages.length ? navigator.languages : [navigator.language]);
  cardSpeakReadersLanguage();
  cardElement('compose').hidden = false;
}

// The card's pictures (base64 in a data block of the page), as it reads them from its working folder.
const cardAssets = JSON.parse(cardElement('card-assets').textContent);

// One of the card's files, written again (or removed, for no BYTES) where
// it reads it, through the calls the program's file system exports under
// the names its minifier keeps.
function cardWriteFile(path, bytes) {
  const slash = path.lastIndexOf('/');
  try {
    Module.FS_unlink(path);
  } catch (e) {
    // there was none
  }
  if (bytes)
    Module.FS_createDataFile(path.slice(0, slash) || '/', path.slice(slash + 1), bytes, true, true, true);
}

// The tune, once its block has arrived and the card's folder is made: the
// card starts it at its first idle frame after that.
function cardWriteTune() {
  if (!cardPage.tune || !cardPage.folderMade || Module.cardTuneArrived)
    return;
  cardWriteFile('/assets/ha_xmas.m4a', cardPage.tune);
  Module.cardTuneArrived = true;
}

// The page as it was opened, less the scripts and blocks after its core
// script (they arrive later, and never change). Kept before anything on the
// page changes, so that a saved copy differs from the opened file only in
// the sender's words: its name block and its message (a page from disk
// cannot read its own file).
function cardKeepPage() {
  cardPage.original = document.documentElement.cloneNode(true);
  cardPage.original.removeAttribute('class');  // a link's, which each copy's first script sets for itself
}

function cardSavedPage(name) {
  const page = cardPage.original.cloneNode(true), block = cardNameToBlock(name), body = page.querySelector('body');
  for (let node = cardPage.core.nextSibling; node; node = node.id == 'card-video' ? null : node.nextSibling)
    body.appendChild(node.cloneNode(true));
  page.querySelector('#message').replaceWith(cardElement('message').cloneNode(true));  // the message shown, as text of the page
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
  cardWriteFile('/name', drawable.bytes);
  cardWriteFile('/name-cells', drawable.cells);
  cardWriteFile('/name-glyphs.png', drawable.png);
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
  if (cardPage.folderMade)  // else the card has not loaded yet, and starts with this name
    cardWriteName(drawable);
  const shown = cardLaidOut(plain ? drawable.drawn : drawable.shown);
  cardElement('canvas').setAttribute('aria-label', (CARD_GREETING + ' ' + (plain ? shown : drawable.kept)).trim());
  cardElement('still').alt = cardElement('canvas').getAttribute('aria-label');
  cardLine('drawn-as', shown != drawable.kept && 'drawnAs', { name: shown });
  const letters = plain ? drawable.drawn.length : drawable.shown.length;
  cardLine('name-cut', drawable.cut && 'nameCut', { limit: CARD_NAME_LIMIT, count: letters });
}

const Module = window.Module = {
  canvas: cardElement('canvas'),
  print: function (text) { console.log(text); },
  printErr: function (text) { console.error(text); },
  // Before the card starts: its files, as it reads them from its working
  // folder (the tune too, where it arrived first).
  preRun: [function () {
    Module.FS_createPath('/', 'assets', true, true);
    for (const path in cardAssets)
      cardWriteFile(path, cardFromBase64(cardAssets[path]));
    cardPage.folderMade = true;
    cardWriteTune();
    cardUseName(cardPage.name !== null ? cardPage.name : cardNameAtStart());
    Module.cardNewName = false;  // the card reads this name when it sets up
  }],
  // A part of the page after the program has arrived: the words of every
  // language, or the tune. Each is taken once.
  cardArrived: function () {
    if (!cardPage.wordsTaken && cardElement('card-words')) {
      cardPage.wordsTaken = true;
      cardTakeWords();
    }
    const tune = !cardPage.tune && cardElement('card-tune');
    if (tune) {
      cardPage.tune = cardFromBase64(JSON.parse(tune.textContent)['/assets/ha_xmas.m4a']);
      cardWriteTune();
    }
  },
  // The video maker, the page's last script: a video asked for before it came is made now.
  cardVideoArrived: function (makeVideo) {
    cardVideo.make = makeVideo;
    if (cardVideo.wanted)
      cardStartVideo();
  },
  // A line of the page in its reader's words, for the message's script too.
  cardLine: cardLine,
  // Without WebGL the card cannot move: its still stays in its place.
  cardCannotAnimate: function () {
    cardElement('canvas').hidden = true;
    cardLine('status', 'cannotAnimate');
  },
  // Each frame of the set-up card, before the browser shows it: the first
  // puts the live card in the still's place, and the first one with a new
  // name after a still is asked for becomes the still, shrunk to the card's
  // 640 x 480.
  cardFrameDrawn: function () {
    document.body.classList.add('live');
    if (Module.cardNewName || !cardPage.stillWaiting)
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
    again.addEventListener('click', function () { location.reload(); });
    cardSayIn('status', function (status) {
      again.textContent = cardSaid('again');
      status.replaceChildren(cardSaid('ended') + ' ', again);
    });
  }
};

// The typed name on the card, and the typed message with it.
function cardUseTypedName() {
  cardUseName(cardElement('name-field').value);
  Module.cardMessage.typed();
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

function cardShowVideo(making, key, values) {
  cardElement('video-making').hidden = !making;
  cardElement('make-video').disabled = making;
  cardLine('video-line', key, values);
}

// Makes the video with the typed name, its frames counted on the bar; once
// it is ready, offers the system's share sheet where it takes the file
// (that needs a fresh tap), else a download. Asked for before the video
// maker (the page's last script) has arrived, it says so and starts when
// the maker comes.
function cardStartVideo() {
  cardElement('share-video').hidden = cardElement('save-video').hidden = true;
  if (!window.VideoEncoder || !window.VideoFrame)
    return cardShowVideo(false, 'noWebCodecs');
  clearTimeout(cardPage.pending);  // the name is the one typed now, for the whole video
  cardUseTypedName();
  cardVideo.wanted = !cardVideo.make;
  if (cardVideo.wanted)
    return cardShowVideo(true, 'videoComing');
  cardVideo.stopped = false;
  cardShowVideo(true, 'making');
  const bar = cardElement('video-progress');
  const card = { program: Module, tune: cardPage.tune, message: Module.cardMessage.text };
  cardVideo.make(card, function (done, all) { bar.max = all; bar.value = done; }, function () { return cardVideo.stopped; }).then(function (made) {
    if (!made)
      return cardShowVideo(false, 'cancelled');
    const type = made.form.container, name = cardFileName(cardPage.name).replace(/\.html$/, '.' + type);
    cardVideo.file = new File([made.blob], name, { type: made.blob.type });
    cardShowVideo(false, type == 'mp4' ? 'ready' : 'readyWebm');
    const shareable = navigator.canShare && navigator.canShare({ files: [cardVideo.file] });
    cardElement(shareable ? 'share-video' : 'save-video').hidden = false;
  }, function (e) {
    cardShowVideo(false, 'failed', { reason: e.said ? cardSaid(e.said) : e.message });
  });
}

// The file, with the message as its text where the system takes text with
// files; on an iPhone or iPad the file alone, as WhatsApp there drops a file
// shared with text (the video ends on the message anyway).
function cardShareVideo() {
  const text = Module.cardMessage.text, shared = { files: [cardVideo.file], text };
  const apple = /iPhone|iPad|iPod/.test(navigator.userAgent) || (navigator.platform == 'MacIntel' && navigator.maxTouchPoints > 1);
  navigator.share(text && !apple && navigator.canShare(shared) ? shared : { files: [cardVideo.file] }).catch(function () {});
}

async function cardCopyLink() {
  cardUseTypedName();
  await Module.cardMessage.coding;
  const field = cardElement('link');
  field.value = cardLinkTo(location.href, cardPage.name, Module.cardMessage.code);
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
    cardElement('message-field').value = Module.cardMessage.text;
    cardElement('name-field').select();  // typing replaces the name that came with the card
  }
}

// The card is redrawn with what is typed once the sender pauses, or at once on Preview.
function cardTyped() {
  clearTimeout(cardPage.pending);
  cardPage.pending = setTimeout(cardUseTypedName, 1000);
}

// The composer's button is shown once the reader's words have arrived (a control that works only with scripts).
function cardStartPage() {
  const served = location.protocol == 'http:' || location.protocol == 'https:';
  cardElement('copy-link').hidden = !served;
  cardElement('no-link').hidden = served;
  cardElement('compose').addEventListener('click', cardOpenComposer);
  cardElement('name-field').addEventListener('input', cardTyped);
  cardElement('message-field').addEventListener('input', cardTyped);
  cardElement('preview').addEventListener('click', cardUseTypedName);
  cardElement('save').addEventListener('click', cardSave);
  cardElement('copy-link').addEventListener('click', cardCopyLink);
  cardElement('save-picture').addEventListener('click', cardSavePicture);
  cardElement('make-video').addEventListener('click', cardStartVideo);
  cardElement('cancel-video').addEventListener('click', function () {
    cardVideo.stopped = true;
    if (!cardVideo.wanted)
      return;
    cardVideo.wanted = false;  // a video asked for before the maker came: none is made
    cardShowVideo(false, 'cancelled');
  });
  cardElement('share-video').addEventListener('click', cardShareVideo);
  cardElement('save-video').addEventListener('click', function () { cardDownload(cardVideo.file, cardVideo.file.name); });
  addEventListener('hashchange', function () {
    const name = cardNameFromAddress(location.hash);
    if (name !== null)
      cardUseName(name);
  });
}

cardKeepPage();
cardPage.carried = cardCarriedGlyphs();
cardStartPage();

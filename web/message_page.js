// The sender's message on the page, the script right after the program:
// shown with the card from the start (a saved card's own, written in its
// page as text, or a link's), and written in the composer's field. It
// hands the page's core Module.cardMessage: the message shown, its code for
// a link (message.js) once made, and typed(), which shows what the field
// holds, as Preview does.
import { cardCleanMessage, cardMessageCode, cardMessageCodeIn, cardMessageFromCode, cardMessageLeft, cardMessageText, cardParagraphs }
  from './message.js';

const cardMessage = window.Module.cardMessage = { text: '', code: '', coding: Promise.resolve(), typed: cardShowTyped };
const cardPanel = document.getElementById('message'), cardField = document.getElementById('message-field');

// TEXT in the panel, a paragraph to an element that finds its own
// direction, as text; nothing for no message. A line of its own between
// paragraphs, as a saved copy shows them to whoever edits it.
function cardShowMessage(text) {
  cardMessage.text = text;
  const paragraphs = cardParagraphs(text).map((line) => Object.assign(document.createElement('p'), { dir: 'auto', textContent: line }));
  cardPanel.replaceChildren(...paragraphs.flatMap((p) => ['\n', p]), ...(paragraphs.length ? ['\n'] : []));
  cardMessage.coding = cardMessageCode(text).then((code) => {
    if (cardMessage.text === text)
      cardMessage.code = code;
  });
}

function cardShowTyped() {
  cardShowMessage(cardMessageText(cardField.value));
}

// The message a link carries, else the one written in the page; a link's
// that cannot be read is said in one line, and the card opens without one.
function cardMessageAtStart() {
  const code = cardMessageCodeIn(location.hash);
  if (code === null)
    return cardShowMessage(cardMessageText([...cardPanel.querySelectorAll('p')].map((p) => p.textContent).join('\n')));
  cardPanel.replaceChildren();  // never the page's own message meanwhile
  cardMessageFromCode(code).then(cardShowMessage, (e) => {
    console.error(`#msg=: ${e.message}; the card opens without its message`);
    cardShowMessage('');
  }).then(() => { cardField.value = cardMessage.text; });
}

// What is typed loses what a message cannot hold, at once; the line under
// the field counts down the last 50 characters.
function cardMessageTyped() {
  const clean = cardCleanMessage(cardField.value), left = cardMessageLeft(clean);
  if (clean != cardField.value)
    cardField.value = clean;
  window.Module.cardLine('message-left', left < 50 && 'messageLeft', { count: left });
}

cardMessageAtStart();
cardField.value = cardMessage.text;
cardField.addEventListener('input', cardMessageTyped);
addEventListener('hashchange', function () {
  if (cardMessageCodeIn(location.hash) !== null)
    cardMessageAtStart();
});

// The card as a video, made in the page faster than it plays: each frame is
// the card program's own, drawn at its pulse by card_draw_video_frame while
// the live card rests, encoded with the browser's WebCodecs VideoEncoder;
// with a message, the video ends on it (video_message.js); the page's AAC
// tune goes in as the packets it already is. MP4 (H.264,
// Constrained Baseline, so no B-frames) where the browser can encode it,
// else once WebM (VP8 or VP9) with the tune encoded as Opus. Bundled into
// the page with mediabunny, which writes the files.
import {
  BufferTarget, EncodedAudioPacketSource, EncodedPacket, EncodedVideoPacketSource, Mp4OutputFormat,
  Output, WebMOutputFormat,
} from 'mediabunny';
import { wellFormedAvcRecord } from './avc_record.js';
import { framedWords, messagePages } from './video_message.js';

const FPS = 30, WIDTH = 640, HEIGHT = 480, BITRATE = 2e6;
// The card's pace with its 16 ms pause and a quick frame: 0.01 a step, a
// step each 1/60 s, from its first idle frame's phase.
const FIRST_PHASE = 0.01, PHASE_PER_SECOND = 0.6;
const AFTER_THE_TUNE = 1;  // seconds of the card after the tune ends
// Frames the encoder may hold: enough to keep it busy while the next is drawn.
const ENCODER_QUEUE = 4;
// VP8 before VP9: as good for the card, and 4.5 times faster in WebKit.
const FORMS = [
  { container: 'mp4', codec: 'avc', encoder: 'avc1.42E01F' },
  { container: 'webm', codec: 'vp8', encoder: 'vp8' },
  { container: 'webm', codec: 'vp9', encoder: 'vp09.00.10.08' },
];

const encoderConfig = (form) => ({ codec: form.encoder, width: WIDTH, height: HEIGHT, bitrate: BITRATE, framerate: FPS,
  ...(form.codec == 'avc' ? { avc: { format: 'avc' } } : {}) });

async function encodable(form) {
  const answer = await VideoEncoder.isConfigSupported(encoderConfig(form)).catch(() => null);
  return answer && answer.supported;
}

// The boxes of an MP4 between START and END: [type, where its body starts, where it ends].
function* mp4Boxes(view, start, end) {
  for (let at = start; at + 8 <= end;) {
    const size = view.getUint32(at), type = String.fromCharCode(...new Uint8Array(view.buffer, at + 4, 4));
    if (size < 8 || at + size > end)
      throw new Error(`the tune's MP4 is broken at byte ${at}`);
    yield [type, at + 8, at + size];
    at += size;
  }
}

// The body of the box at PATH (types from the top, a number skipping that many bytes of a box's own fields).
function mp4Box(view, path, start = 0, end = view.byteLength) {
  if (!path.length)
    return [start, end];
  const [step, ...rest] = path;
  if (typeof step == 'number')
    return mp4Box(view, rest, start + step, end);
  for (const [type, body, stop] of mp4Boxes(view, start, end))
    if (type == step)
      return mp4Box(view, rest, body, stop);
  throw new Error(`the tune's MP4 has no ${step} box`);
}

// The bytes of the descriptor with TAG inside an esds box's descriptors (ISO 14496-1: tag, size in 7-bit groups).
function esdsDescriptor(bytes, tag) {
  for (let at = 0; at < bytes.length;) {
    const found = bytes[at++];
    let size = 0;
    do size = size * 128 + (bytes[at] & 127); while (bytes[at++] & 128);
    if (found == tag)
      return bytes.subarray(at, at + size);
    at += found == 3 ? 3 : found == 4 ? 13 : size;  // into ES_Descriptor and DecoderConfigDescriptor
  }
  throw new Error("the tune's MP4 has no AAC configuration");
}

// The tune's AAC packets from the page's MP4 (one track, its samples in one
// chunk after another as ffmpeg writes them), with their decoder's
// configuration and the tune's length; the encoder's priming, which the
// edit list skips, has negative times.
function tuneAsItIs(bytes) {
  const view = new DataView(bytes.buffer), track = ['moov', 'trak'];
  const [mdhd] = mp4Box(view, [...track, 'mdia', 'mdhd']), rate = view.getUint32(mdhd + 12);
  const [mvhd] = mp4Box(view, ['moov', 'mvhd']), [elst] = mp4Box(view, [...track, 'edts', 'elst']);
  const seconds = view.getUint32(elst + 8) / view.getUint32(mvhd + 12), skipped = view.getUint32(elst + 12) / rate;
  const table = (name) => mp4Box(view, [...track, 'mdia', 'minf', 'stbl', name])[0];
  const [sizes, chunks, offsets] = [table('stsz'), table('stsc'), table('stco')], count = view.getUint32(sizes + 8);
  const [stsd, stsdEnd] = mp4Box(view, [...track, 'mdia', 'minf', 'stbl', 'stsd', 8, 'mp4a', 28, 'esds', 4]);
  const description = esdsDescriptor(bytes.subarray(stsd, stsdEnd), 5), channels = view.getUint16(table('stsd') + 8 + 16 + 8);
  const packets = [];
  for (let run = 0, sample = 0; run < view.getUint32(chunks + 4); run++) {
    const entry = chunks + 8 + run * 12, next = run + 1 < view.getUint32(chunks + 4) ? view.getUint32(entry + 12) : Infinity;
    for (let chunk = view.getUint32(entry); chunk < next && sample < count; chunk++) {
      let at = view.getUint32(offsets + 8 + (chunk - 1) * 4);
      for (let i = 0; i < view.getUint32(entry + 4) && sample < count; i++, sample++) {
        const size = view.getUint32(sizes + 12 + sample * 4);
        packets.push(new EncodedPacket(bytes.subarray(at, at + size), 'key', sample * 1024 / rate - skipped, 1024 / rate));
        at += size;
      }
    }
  }
  const decoderConfig = { codec: 'mp4a.40.2', sampleRate: rate, numberOfChannels: channels, description };
  return { packets, decoderConfig, seconds };
}

// The tune decoded, for an Opus encoder, which takes 48 kHz.
function tuneDecoded(bytes) {
  const context = new OfflineAudioContext(1, 1, 48000);
  return new Promise((ok, fail) => context.decodeAudioData(bytes.slice().buffer, ok, fail));
}

// An Opus packet's length in seconds, from its first byte (RFC 6716, 3.1:
// the frames' length and how many) and, in a packet of many frames, its second.
function opusSeconds(packet) {
  const config = packet[0] >> 3, code = packet[0] & 3;
  const frame = config < 12 ? [10, 20, 40, 60][config % 4] : config < 16 ? [10, 20][config % 2] : [2.5, 5, 10, 20][config % 4];
  return (frame * (code == 0 ? 1 : code < 3 ? 2 : packet[1] & 63)) / 1000;
}

// The tune as Opus packets, encoded here, with its decoder's configuration
// and its length. Each packet is timed by its own length and those before
// it: WebKit's encoder gives every packet of an input the input's own
// timestamp and duration.
async function tuneAsOpus(bytes) {
  const tune = await tuneDecoded(bytes), chunks = [], { numberOfChannels, sampleRate, length } = tune;
  let decoderConfig = null, failure = null;
  const encoder = new AudioEncoder({
    output: (chunk, meta) => { chunks.push(chunk), decoderConfig ||= meta?.decoderConfig; },
    error: (e) => { failure = e; },
  });
  encoder.configure({ codec: 'opus', sampleRate, numberOfChannels, bitrate: 96e3 });
  const samples = new Float32Array(length * numberOfChannels);
  for (let channel = 0; channel < numberOfChannels; channel++)
    samples.set(tune.getChannelData(channel), channel * length);
  encoder.encode(new AudioData({ format: 'f32-planar', sampleRate, numberOfFrames: length, numberOfChannels, timestamp: 0, data: samples }));
  await encoder.flush().catch((e) => { failure ||= e; });
  encoder.close();
  if (failure)
    throw failure;
  let at = 0;
  const packets = chunks.map((chunk) => {
    const data = new Uint8Array(chunk.byteLength);
    chunk.copyTo(data);
    const seconds = opusSeconds(data);
    return new EncodedPacket(data, 'key', (at += seconds) - seconds, seconds);
  });
  return { packets, decoderConfig, seconds: tune.duration };
}

// A failure the page says in its reader's words, by the key SAID (words.js).
const saying = (said, message) => Object.assign(new Error(message), { said });

// The live card's loop rests while the page draws the video's frames.
async function restLiveCard(program, resting) {
  program.cardMakingVideo = resting;
  if (!resting)
    return program.cardMayDraw && program.cardMayDraw();
  for (let tries = 0; !program.cardMayDraw; tries++) {
    if (tries == 250)
      throw saying('videoCardNotRunning', 'the card is not running');
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

// A writer of FORM's file with the tune in it: the page's AAC packets as
// they are in an MP4, Opus made from the decoded tune in a WebM; and the
// tune's length in seconds.
async function startFile(form, tuneBytes) {
  const output = new Output({ target: new BufferTarget(),
    format: form.container == 'mp4' ? new Mp4OutputFormat({ fastStart: 'in-memory' }) : new WebMOutputFormat() });
  const video = new EncodedVideoPacketSource(form.codec), audio = new EncodedAudioPacketSource(form.container == 'mp4' ? 'aac' : 'opus');
  output.addVideoTrack(video, { frameRate: FPS });
  output.addAudioTrack(audio);
  await output.start();
  const tune = form.container == 'mp4' ? tuneAsItIs(tuneBytes) : await tuneAsOpus(tuneBytes);
  for (const [i, packet] of tune.packets.entries())
    await audio.add(packet, i ? undefined : { decoderConfig: tune.decoderConfig });
  audio.close();
  return { output, video, seconds: tune.seconds };
}

// The card's frame K as the program draws it and turns it into I420
// (BT.601 limited range, rows top first) on the GPU.
function cardPlanes(program, k) {
  const at = program._card_draw_video_frame(FIRST_PHASE + PHASE_PER_SECOND * k / FPS);
  if (!at)
    throw saying('videoCardGone', 'the card has ended, or cannot draw the video here');
  return program.HEAPU8.subarray(at, at + WIDTH * HEIGHT * 3 / 2);
}

// Frame K of the video, from its I420 PLANES.
const videoFrame = (planes, k) => new VideoFrame(planes, { format: 'I420', codedWidth: WIDTH, codedHeight: HEIGHT,
  timestamp: Math.round(k * 1e6 / FPS), duration: Math.round(1e6 / FPS),
  colorSpace: { primaries: 'smpte170m', transfer: 'smpte170m', matrix: 'smpte170m', fullRange: false } });

// The video's frames: the card's while the tune plays and a second after,
// then, with a message, each of its pages over the card's last frame
// dimmed. FRAME(k) gives frame K's planes; FRAMES is how many.
function videoFrames(card, seconds) {
  const frames = Math.ceil((seconds + AFTER_THE_TUNE) * FPS), pages = card.message ? messagePages(card.message) : [];
  let last = null, page = null, pageEnds = frames;
  return {
    frames: frames + pages.reduce((sum, p) => sum + Math.round(p.seconds * FPS), 0),
    frame(k) {
      if (k < frames)
        return k + 1 < frames ? cardPlanes(card.program, k) : (last = cardPlanes(card.program, k).slice());
      if (k == pageEnds) {
        page = pages.shift();
        pageEnds += Math.round(page.seconds * FPS);
        page.planes = framedWords(last, page.words);
      }
      return page.planes;
    },
  };
}

// A turn for the page's own tasks (the encoder's output, the bar, Cancel)
// without the 4 ms that nested timers wait. One channel serves every turn:
// a channel made for each turn and then dropped lives on only as long as the
// engine keeps an unreferenced port alive for its message.
const turns = new MessageChannel(), turnsWaiting = [];
turns.port1.onmessage = () => turnsWaiting.shift()();
const pageTurn = () => new Promise((resolve) => {
  turnsWaiting.push(resolve);
  turns.port2.postMessage(0);
});

// Until the encoder has taken some of its queue (or a moment has passed, where it does not say).
const encoderTook = (encoder) => new Promise((resolve) => {
  const taken = () => resolve(clearTimeout(timer), encoder.removeEventListener?.('dequeue', taken));
  const timer = setTimeout(taken, 5);
  encoder.addEventListener?.('dequeue', taken);
});

// A hidden page's timers slow to a crawl or stop (a phone switched to
// another app): the making waits until the page is shown again.
const pageShown = () => new Promise((resolve) => {
  const shown = () => {
    if (!document.hidden)
      resolve(document.removeEventListener('visibilitychange', shown));
  };
  document.addEventListener('visibilitychange', shown);
});

// One video of FORM of the CARD; PROGRESS(done, all) after each second of it; STOPPED() true once cancelled.
// Its one key frame is the first: WebKit's encoders ignore the bitrate asked
// for and code a key frame coarsely (28 dB in luma), which the frames after
// it refine (35 dB), so a key frame every few seconds would blur the card
// each time; Chromium's video comes out sharper and a fifth smaller so; and
// a card's video is short enough to play, or seek, from its start.
async function makeVideoAs(form, card, progress, stopped) {
  const { output, video, seconds } = await startFile(form, card.tune);
  let failure = null, written = Promise.resolve(), hidden = false;
  const encoder = new VideoEncoder({
    output: (chunk, meta) => {
      if (meta?.decoderConfig?.description && form.codec == 'avc')
        meta = { ...meta, decoderConfig: { ...meta.decoderConfig, description: wellFormedAvcRecord(meta.decoderConfig.description) } };
      written = written.then(() => video.add(EncodedPacket.fromEncodedChunk(chunk), meta));
    },
    error: (e) => { failure = failure || e; },
  });
  try {
    encoder.configure(encoderConfig(form));
    const { frames, frame: planes } = videoFrames(card, seconds);
    for (let k = 0; k < frames && !failure && !stopped(); k++) {
      if (document.hidden)
        await pageShown(hidden = true);
      const frame = videoFrame(planes(k), k);
      encoder.encode(frame, { keyFrame: k == 0 });
      frame.close();
      if ((k + 1) % FPS == 0 || k + 1 == frames)
        progress(k + 1, frames);  // each change of the bar is a repaint, costly on a software renderer
      await (encoder.encodeQueueSize > ENCODER_QUEUE ? encoderTook(encoder) : pageTurn());
    }
    if (!failure && !stopped())
      await encoder.flush().catch((e) => { failure = failure || e; });
    await written;
    if (failure)
      throw hidden ? Object.assign(saying('videoHidden', 'it was stopped while the page was hidden; make it again'), { hidden }) : failure;
    if (stopped())
      return null;
    video.close();
    await output.finalize();
    return new Blob([output.target.buffer], { type: output.format.mimeType });
  } finally {
    if (encoder.state != 'closed')
      encoder.close();
    if (output.state != 'finalized')
      await output.cancel().catch(() => {});
  }
}

// The video of the card as it is now, in the first form this browser can
// encode (asked one at a time: each question takes Chromium some 0.1 s); an
// H.264 encoder that fails (some claim support, then fail at the first
// frame) gives way once to WebM. CARD holds the program (Module), the
// tune's MP4 and the sender's message (empty for none). Resolves to
// { blob, form }, or null when cancelled.
export async function makeVideo(card, progress, stopped) {
  await restLiveCard(card.program, true);
  try {
    let failure = saying('videoNoEncoder', 'this browser cannot encode H.264, VP8 or VP9 video');
    for (const form of FORMS) {
      if (!(await encodable(form)))
        continue;
      try {
        const blob = await makeVideoAs(form, card, progress, stopped);
        return blob && { blob, form };
      } catch (e) {
        if (form.container != 'mp4' || stopped() || e.hidden)
          throw e;
        failure = e;
      }
    }
    throw failure;
  } finally {
    await restLiveCard(card.program, false);
  }
}

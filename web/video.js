// The card as a video, made in the page faster than it plays: each frame is
// the card program's own, drawn at its pulse by card_draw_video_frame while
// the live card rests, encoded with the browser's WebCodecs VideoEncoder;
// the page's AAC tune goes in as the packets it already is. MP4 (H.264,
// Constrained Baseline, so no B-frames) where the browser can encode it,
// else once WebM (VP9 or VP8) with the tune encoded as Opus. Bundled into
// the page with mediabunny, which writes the files.
import {
  AudioBufferSource, BufferTarget, EncodedAudioPacketSource, EncodedPacket, EncodedVideoPacketSource, Mp4OutputFormat,
  Output, WebMOutputFormat,
} from 'mediabunny';

const FPS = 30, WIDTH = 640, HEIGHT = 480, BITRATE = 2e6;
// The card's pace with its 16 ms pause and a quick frame: 0.01 a step, a
// step each 1/60 s, from its first idle frame's phase.
const FIRST_PHASE = 0.01, PHASE_PER_SECOND = 0.6;
const AFTER_THE_TUNE = 1;  // seconds of the card after the tune ends
const KEY_FRAME_EVERY = 2 * FPS;
const FORMS = [
  { container: 'mp4', codec: 'avc', encoder: 'avc1.42E01F' },
  { container: 'webm', codec: 'vp9', encoder: 'vp09.00.10.08' },
  { container: 'webm', codec: 'vp8', encoder: 'vp8' },
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

// The frame just drawn, read back and turned into limited-range BT.601
// YUV 4:2:0, what players and messengers expect of H.264 (a frame made
// straight from the canvas would be full range); rows top first.
function videoFrameOf(gl, rgba, yuv, k) {
  gl.readPixels(0, 0, WIDTH, HEIGHT, gl.RGBA, gl.UNSIGNED_BYTE, rgba);
  const chroma = WIDTH * HEIGHT, half = WIDTH / 2;
  for (let y = 0; y < HEIGHT; y++) {
    const row = (HEIGHT - 1 - y) * WIDTH * 4;
    for (let x = 0; x < WIDTH; x++) {
      const at = row + x * 4, r = rgba[at], g = rgba[at + 1], b = rgba[at + 2];
      yuv[y * WIDTH + x] = 16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255 + 0.5;
      if ((x | y) & 1)
        continue;
      const below = at - WIDTH * 4, [r4, g4, b4] = [0, 1, 2].map((c) => rgba[at + c] + rgba[at + 4 + c] + rgba[below + c] + rgba[below + 4 + c]);
      const uv = (y / 2) * half + x / 2;
      yuv[chroma + uv] = 128 + (-37.797 * r4 - 74.203 * g4 + 112 * b4) / 1020 + 0.5;
      yuv[chroma * 5 / 4 + uv] = 128 + (112 * r4 - 93.786 * g4 - 18.214 * b4) / 1020 + 0.5;
    }
  }
  return new VideoFrame(yuv, { format: 'I420', codedWidth: WIDTH, codedHeight: HEIGHT, timestamp: Math.round(k * 1e6 / FPS),
    duration: Math.round(1e6 / FPS), colorSpace: { primaries: 'smpte170m', transfer: 'smpte170m', matrix: 'smpte170m', fullRange: false } });
}

// The live card's loop rests while the page draws the video's frames.
async function restLiveCard(program, resting) {
  program.cardMakingVideo = resting;
  if (!resting)
    return program.cardMayDraw && program.cardMayDraw();
  for (let tries = 0; !program.cardMayDraw; tries++) {
    if (tries == 250)
      throw new Error('the card is not running');
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

// One video of FORM of the CARD; PROGRESS(done, all) after each frame; STOPPED() true once cancelled.
async function makeVideoAs(form, card, progress, stopped) {
  const output = new Output({ target: new BufferTarget(),
    format: form.container == 'mp4' ? new Mp4OutputFormat({ fastStart: 'in-memory' }) : new WebMOutputFormat() });
  const video = new EncodedVideoPacketSource(form.codec);
  const audio = form.container == 'mp4' ? new EncodedAudioPacketSource('aac') : new AudioBufferSource({ codec: 'opus', bitrate: 96e3 });
  output.addVideoTrack(video, { frameRate: FPS });
  output.addAudioTrack(audio);
  await output.start();
  let seconds;
  if (form.container == 'mp4') {
    const tune = tuneAsItIs(card.tune);
    for (const [i, packet] of tune.packets.entries())
      await audio.add(packet, i ? undefined : { decoderConfig: tune.decoderConfig });
    seconds = tune.seconds;
  } else {
    const tune = await tuneDecoded(card.tune);
    await audio.add(tune);
    seconds = tune.duration;
  }
  audio.close();

  let failure = null, written = Promise.resolve();
  const encoder = new VideoEncoder({
    output: (chunk, meta) => { written = written.then(() => video.add(EncodedPacket.fromEncodedChunk(chunk), meta)); },
    error: (e) => { failure = failure || e; },
  });
  try {
    encoder.configure(encoderConfig(form));
    const canvas = card.canvas, frames = Math.ceil((seconds + AFTER_THE_TUNE) * FPS);
    canvas.width = WIDTH, canvas.height = HEIGHT;  // the live card sizes it again when it goes on
    const gl = canvas.getContext('webgl'), rgba = new Uint8Array(WIDTH * HEIGHT * 4), yuv = new Uint8Array(WIDTH * HEIGHT * 3 / 2);
    for (let k = 0; k < frames && !failure && !stopped(); k++) {
      if (!card.program._card_draw_video_frame(FIRST_PHASE + PHASE_PER_SECOND * k / FPS))
        throw new Error('the card has ended');
      const frame = videoFrameOf(gl, rgba, yuv, k);
      encoder.encode(frame, { keyFrame: k % KEY_FRAME_EVERY == 0 });
      frame.close();
      progress(k + 1, frames);
      while (encoder.encodeQueueSize > 2 && !failure)
        await new Promise((resolve) => setTimeout(resolve, 0));
    }
    if (!failure && !stopped())
      await encoder.flush();
    await written;
    if (failure)
      throw failure;
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
// encode; an H.264 encoder that fails (some claim support, then fail at the
// first frame) gives way once to WebM. CARD holds the program (Module), its
// canvas and the tune's MP4. Resolves to { blob, form }, or null when
// cancelled.
export async function makeVideo(card, progress, stopped) {
  const forms = [];
  for (const form of FORMS)
    if (await encodable(form))
      forms.push(form);
  if (!forms.length)
    throw new Error('this browser cannot encode H.264, VP9 or VP8 video');
  await restLiveCard(card.program, true);
  try {
    for (const [i, form] of forms.entries()) {
      try {
        const blob = await makeVideoAs(form, card, progress, stopped);
        return blob && { blob, form };
      } catch (e) {
        if (form.container != 'mp4' || i + 1 == forms.length || stopped())
          throw e;
      }
    }
  } finally {
    await restLiveCard(card.program, false);
  }
}

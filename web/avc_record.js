// The AVC decoder configuration record (ISO/IEC 14496-15, "avcC") that an
// MP4 carries for its H.264 track, written as the standard has it whatever
// the encoder handed over: version 1; the first SPS's profile, constraints
// and level; the reserved bits set; each SPS and PPS with one NAL header
// byte. Strict players (and phones' hardware decoders) read the record
// before the stream and refuse a malformed one. Firefox's WebCodecs gives
// the reserved bits as 0 and repeats the header byte of every parameter
// set (67 67 42 ..., 68 68 ...; Mozilla bug 2031056). No DOM here.

// A set's second byte never equals its header in a well-formed record: no
// profile is 0x67, and a PPS would have to be the third of its stream.
const once = (set) => (set.length > 1 && set[0] == set[1] ? set.subarray(1) : set);

// COUNT parameter sets (a 16-bit length, then the set) from AT; and where they end.
function parameterSets(bytes, at, count) {
  const sets = [];
  for (let i = 0; i < count; i++) {
    const length = at + 2 <= bytes.length ? (bytes[at] << 8) | bytes[at + 1] : Infinity;
    if (at + 2 + length > bytes.length)
      throw new Error("the encoder's H.264 configuration is cut short");
    sets.push(once(bytes.subarray(at + 2, at + 2 + length)));
    at += 2 + length;
  }
  return [sets, at];
}

const withLengths = (sets) => sets.flatMap((set) => [set.length >> 8, set.length & 255, ...set]);

// The record RECORD (bytes, or a buffer) made well formed; one that is already comes back as it was.
export function wellFormedAvcRecord(record) {
  const bytes = ArrayBuffer.isView(record) ? new Uint8Array(record.buffer, record.byteOffset, record.byteLength) : new Uint8Array(record);
  if (bytes.length < 7)
    throw new Error("the encoder's H.264 configuration is cut short");
  const [sps, afterSps] = parameterSets(bytes, 6, bytes[5] & 31);
  const [pps, afterPps] = parameterSets(bytes, afterSps + 1, bytes[afterSps]);
  if (!sps.length || sps[0].length < 4)
    throw new Error("the encoder's H.264 configuration has no sequence parameter set");
  // The High profiles' extension, where there is one, follows as it was.
  return new Uint8Array([1, sps[0][1], sps[0][2], sps[0][3], 0xfc | (bytes[4] & 3), 0xe0 | sps.length, ...withLengths(sps),
    pps.length, ...withLengths(pps), ...bytes.subarray(afterPps)]);
}

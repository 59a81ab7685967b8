// The tune: "Deck the Halls", a traditional Welsh carol, in C major at 126
// beats a minute: a music-box melody, soft arpeggiated bells, a plucked
// bass and a light sleigh bell, with a small room reverb and a fade-out.
#include "assets.h"

#include <algorithm>
#include <cmath>

static const double BEAT = 60.0 / 126;
static const double INTRO_BEATS = 4;      // one bar of accompaniment first
static const double TAIL_SECONDS = 3.2;   // the last chord rings and fades
static const double PEAK = 0.7079;        // -3 dBFS

struct note {
    int pitch;  // MIDI number
    double beats;
};

// The melody in three phrases; A is sung twice.
static const note PHRASE_A[] = {
    {67, 1.5}, {65, .5}, {64, 1}, {62, 1}, {60, 1}, {62, 1}, {64, 1}, {60, 1},
    {62, .5}, {64, .5}, {65, .5}, {62, .5}, {64, 1.5}, {62, .5}, {60, 1}, {59, 1}, {60, 2},
};
static const note PHRASE_B[] = {
    {62, 1.5}, {64, .5}, {65, 1}, {62, 1}, {64, 1.5}, {65, .5}, {67, 1}, {62, 1},
    {64, .5}, {66, .5}, {67, 1}, {69, .5}, {71, .5}, {72, 1}, {71, 1}, {69, 1}, {67, 2},
};
static const note PHRASE_C[] = {
    {67, 1.5}, {65, .5}, {64, 1}, {62, 1}, {60, 1}, {62, 1}, {64, 1}, {60, 1},
    {69, .5}, {69, .5}, {69, .5}, {69, .5}, {67, 1.5}, {65, .5}, {64, 1}, {62, 1}, {60, 2},
};

// One chord for every half bar of the melody (two beats each).
enum chord_name { C, F, G, G7, D7 };
static const chord_name HARMONY[] = {
    C, C, F, C, G7, C, G, C,   // A
    C, C, F, C, G7, C, G, C,   // A again
    G7, G7, C, G, C, D7, D7, G, // B
    C, C, F, C, F, C, G7, C,   // C
};
struct voicing {
    int bass;
    int tones[3];
};
static const voicing VOICINGS[] = {
    {48, {60, 64, 67}},  // C
    {41, {60, 65, 69}},  // F
    {43, {59, 62, 67}},  // G
    {43, {59, 65, 67}},  // G7
    {50, {60, 66, 69}},  // D7
};

struct partial {
    double ratio, level, decay;  // decay: seconds to fall by 1/e
};
struct voice {
    partial partials[4];
    double level;
};
// A music-box tine: a strong fundamental with short inharmonic overtones.
static const voice MUSIC_BOX = {{{1, 1, 1.1}, {2, 0.28, 0.45}, {2.76, 0.12, 0.3}, {5.4, 0.05, 0.12}}, 0.5};
static const voice SOFT_BELL = {{{1, 1, 0.8}, {2, 0.2, 0.3}, {3, 0.05, 0.2}, {4, 0, 1}}, 0.15};
static const voice PLUCKED_BASS = {{{1, 1, 0.9}, {2, 0.35, 0.4}, {3, 0.1, 0.25}, {4, 0, 1}}, 0.34};

static double frequency(int pitch)
{
    return 440.0 * pow(2.0, (pitch - 69) / 12.0);
}

// Adds one struck note: a 3 ms rise, exponential decay per partial, and a
// short fade once it has died away, so no note ever ends in a click.
static void strike(std::vector<double> *mix, const voice &v, int pitch, double start, double gain)
{
    const double ring = 4.0, attack = 0.003, fade = 0.05;
    size_t first = (size_t)(start * CAROL_RATE);
    size_t count = (size_t)(ring * CAROL_RATE);
    double f = frequency(pitch);
    for (size_t i = 0; i < count && first + i < mix->size(); i++) {
        double t = (double)i / CAROL_RATE;
        double envelope = std::min(1.0, t / attack) * std::min(1.0, (ring - t) / fade);
        double sum = 0;
        for (const partial &p : v.partials)
            if (p.level > 0 && f * p.ratio < CAROL_RATE / 2.2)
                sum += p.level * exp(-t / p.decay) * sin(2 * M_PI * f * p.ratio * t);
        (*mix)[first + i] += v.level * gain * envelope * sum;
    }
}

// A sleigh-bell shake: a few grains of high, band-passed noise.
static void jingle(std::vector<double> *mix, double start, double gain, random_source *random)
{
    // Band-pass biquad around 6.5 kHz.
    const double centre = 6500, q = 1.6;
    double w = 2 * M_PI * centre / CAROL_RATE, alpha = sin(w) / (2 * q), a0 = 1 + alpha;
    double b0 = alpha / a0, b2 = -alpha / a0, a1 = -2 * cos(w) / a0, a2 = (1 - alpha) / a0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    size_t first = (size_t)(start * CAROL_RATE), count = (size_t)(0.12 * CAROL_RATE);
    for (size_t i = 0; i < count && first + i < mix->size(); i++) {
        double t = (double)i / CAROL_RATE;
        double grains = 0;
        for (int g = 0; g < 3; g++) {
            double dt = t - g * 0.011;
            if (dt >= 0)
                grains += std::min(1.0, dt / 0.001) * exp(-dt / 0.025) / (1 + g);
        }
        double x = (random->next() * 2 - 1) * grains;
        double y = b0 * x + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        (*mix)[first + i] += gain * y;
    }
}

// A small Schroeder reverb: four combs in parallel, then two all-passes.
static std::vector<double> reverb(const std::vector<double> &dry)
{
    const int comb_delays[] = {1116, 1188, 1277, 1356};  // at 44.1 kHz, halved below
    const int allpass_delays[] = {556, 441};
    std::vector<double> wet(dry.size(), 0.0);
    for (int d : comb_delays) {
        std::vector<double> line(d / 2, 0.0);
        size_t at = 0;
        for (size_t i = 0; i < dry.size(); i++) {
            double out = line[at];
            line[at] = dry[i] + out * 0.8;
            at = (at + 1) % line.size();
            wet[i] += out * 0.25;
        }
    }
    for (int d : allpass_delays) {
        std::vector<double> line(d / 2, 0.0);
        size_t at = 0;
        for (double &sample : wet) {
            double delayed = line[at];
            line[at] = sample + delayed * 0.5;
            sample = delayed - sample * 0.5;
            at = (at + 1) % line.size();
        }
    }
    return wet;
}

static double play_phrase(std::vector<double> *mix, const note *notes, size_t count, double beat)
{
    for (size_t i = 0; i < count; i++) {
        strike(mix, MUSIC_BOX, notes[i].pitch + 12, beat * BEAT, 1.0);
        beat += notes[i].beats;
    }
    return beat;
}

// Broken chords in eighths (root, third, fifth, third) and a bass note on
// each half bar; the intro bar repeats the first chord.
static void accompany(std::vector<double> *mix, random_source *random)
{
    const size_t halves = sizeof HARMONY / sizeof HARMONY[0];
    for (size_t h = 0; h < halves + 2; h++) {
        const voicing &v = VOICINGS[h < 2 ? C : HARMONY[h - 2]];
        double start = h * 2 * BEAT;
        strike(mix, PLUCKED_BASS, v.bass, start, 1.0);
        const int order[4] = {0, 1, 2, 1};
        for (int e = 0; e < 4; e++)
            strike(mix, SOFT_BELL, v.tones[order[e]], start + e * BEAT / 2, e == 0 ? 1.0 : 0.8);
        jingle(mix, start, 0.05, random);
        jingle(mix, start + BEAT, 0.035, random);
    }
    // The last chord again, held as the tune fades.
    double end = (halves + 2) * 2 * BEAT;
    const voicing &last = VOICINGS[C];
    strike(mix, PLUCKED_BASS, last.bass, end, 1.0);
    for (int tone : last.tones)
        strike(mix, SOFT_BELL, tone, end, 0.9);
    strike(mix, MUSIC_BOX, 84, end, 0.7);
}

std::vector<int16_t> make_carol()
{
    const double melody_beats = 4 * 16;
    const double seconds = (INTRO_BEATS + melody_beats) * BEAT + TAIL_SECONDS;
    std::vector<double> mix((size_t)(seconds * CAROL_RATE), 0.0);
    random_source random{0xDEC4A115ULL};

    double beat = INTRO_BEATS;
    beat = play_phrase(&mix, PHRASE_A, sizeof PHRASE_A / sizeof PHRASE_A[0], beat);
    beat = play_phrase(&mix, PHRASE_A, sizeof PHRASE_A / sizeof PHRASE_A[0], beat);
    beat = play_phrase(&mix, PHRASE_B, sizeof PHRASE_B / sizeof PHRASE_B[0], beat);
    play_phrase(&mix, PHRASE_C, sizeof PHRASE_C / sizeof PHRASE_C[0], beat);
    accompany(&mix, &random);

    std::vector<double> wet = reverb(mix);
    double peak = 0;
    for (size_t i = 0; i < mix.size(); i++) {
        // Fade out over the tail, to silence at the very last sample.
        double left = (double)(mix.size() - 1 - i) / CAROL_RATE;
        double fade = left < TAIL_SECONDS ? 0.5 - 0.5 * cos(M_PI * left / TAIL_SECONDS) : 1.0;
        mix[i] = (mix[i] + 0.22 * wet[i]) * fade;
        peak = std::max(peak, fabs(mix[i]));
    }
    std::vector<int16_t> samples(mix.size());
    for (size_t i = 0; i < mix.size(); i++)
        samples[i] = (int16_t)lround(mix[i] / peak * PEAK * 32767);
    return samples;
}

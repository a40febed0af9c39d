// dw_demo_synth: writes the demo source, about thirty seconds of calm original
// music, to a 44100 Hz stereo 16-bit WAV file.
//
//   dw_demo_synth OUT.wav [SECONDS]
//
// The piece is a slow progression of four chords played by additive pads over
// a soft bass, with a pentatonic bell melody that wanders above it and a stereo
// echo on the bells. Everything is computed here from sine partials; the only
// randomness is our own seeded generator, so every run writes the same bytes.
// Granular resynthesis likes sustained, harmonically rich material with some
// clear attacks in it, which is what the pads and the bells give it.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A small deterministic generator (the same recurrence the engine uses), so the
// file does not depend on the standard library's distributions.
class Random {
public:
    explicit Random(uint32_t seed) : state_(seed) {}
    double Next() {  // [0, 1)
        state_ = state_ * 214013u + 2531011u;
        return static_cast<double>((state_ >> 16) & 0x7FFF) / 32768.0;
    }
    double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }

private:
    uint32_t state_;
};

double MidiToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Raised-cosine rise from 0 to 1 over `length` seconds.
double Rise(double t, double length) {
    if (t <= 0.0) return 0.0;
    if (t >= length) return 1.0;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * t / length);
}

struct Stereo {
    std::vector<float> left, right;
    explicit Stereo(size_t frames) : left(frames, 0.0f), right(frames, 0.0f) {}
    size_t Frames() const { return left.size(); }
};

struct Chord {
    double start;         // seconds
    double length;        // seconds, before the release
    std::vector<int> pad; // MIDI notes
    int bass;             // MIDI note
};

// One pad note: a few harmonics falling off gently, each breathing with its own
// slow tremolo, played by two voices detuned by a few cents and spread apart.
void AddPadNote(Stereo& out, double startSec, double lengthSec, int note, double gain, Random& rng) {
    constexpr int kHarmonics = 7;
    const double attack = 2.5, release = 3.0;
    const double f0 = MidiToHz(note);
    const size_t first = static_cast<size_t>(std::max(0.0, startSec) * kRate);
    const size_t last = std::min(out.Frames(), static_cast<size_t>((startSec + lengthSec + release) * kRate));
    double amp[kHarmonics], lfoRate[kHarmonics], lfoPhase[kHarmonics];
    for (int h = 0; h < kHarmonics; ++h) {
        amp[h] = 1.0 / std::pow(h + 1.0, 1.6);
        lfoRate[h] = rng.Range(0.05, 0.25);
        lfoPhase[h] = rng.Range(0.0, kTwoPi);
    }
    const double detune[2] = {std::pow(2.0, -3.0 / 1200.0), std::pow(2.0, 3.5 / 1200.0)};
    const double pan = rng.Range(-0.4, 0.4);
    const double toLeft[2] = {0.75 - 0.25 * pan, 0.25 - 0.25 * pan};
    const double toRight[2] = {0.25 + 0.25 * pan, 0.75 + 0.25 * pan};
    for (size_t i = first; i < last; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double local = t - startSec;
        const double env = Rise(local, attack) * (1.0 - Rise(local - lengthSec, release));
        if (env <= 0.0) continue;
        for (int v = 0; v < 2; ++v) {
            double s = 0.0;
            const double f = f0 * detune[v];
            for (int h = 0; h < kHarmonics; ++h) {
                const double breathe = 0.65 + 0.35 * std::sin(kTwoPi * lfoRate[h] * t + lfoPhase[h] + v);
                s += amp[h] * breathe * std::sin(kTwoPi * f * (h + 1) * local + v * 0.7 * h);
            }
            s *= env * gain;
            out.left[i] += static_cast<float>(s * toLeft[v]);
            out.right[i] += static_cast<float>(s * toRight[v]);
        }
    }
}

// A soft bass: the root with a little second harmonic, centred.
void AddBass(Stereo& out, double startSec, double lengthSec, int note, double gain) {
    const double f = MidiToHz(note);
    const size_t first = static_cast<size_t>(std::max(0.0, startSec) * kRate);
    const size_t last = std::min(out.Frames(), static_cast<size_t>((startSec + lengthSec + 3.0) * kRate));
    for (size_t i = first; i < last; ++i) {
        const double local = static_cast<double>(i) / kRate - startSec;
        const double env = Rise(local, 3.0) * (1.0 - Rise(local - lengthSec, 3.0));
        const double s = gain * env * (std::sin(kTwoPi * f * local) + 0.25 * std::sin(kTwoPi * 2.0 * f * local));
        out.left[i] += static_cast<float>(s);
        out.right[i] += static_cast<float>(s);
    }
}

// A bell: inharmonic partials with a short attack, the higher ones dying first.
void AddBell(Stereo& out, double startSec, int note, double gain, double pan) {
    static constexpr double kRatio[] = {1.0, 2.0, 2.76, 4.07, 5.43, 6.8};
    static constexpr double kAmp[] = {1.0, 0.45, 0.35, 0.18, 0.1, 0.05};
    static constexpr double kDecay[] = {2.8, 1.9, 1.3, 0.8, 0.5, 0.35};
    const double f0 = MidiToHz(note);
    const size_t first = static_cast<size_t>(startSec * kRate);
    const size_t last = std::min(out.Frames(), first + static_cast<size_t>(7.0 * kRate));
    const double left = std::sqrt(0.5 * (1.0 - pan)), right = std::sqrt(0.5 * (1.0 + pan));
    for (size_t i = first; i < last; ++i) {
        const double local = static_cast<double>(i - first) / kRate;
        double s = 0.0;
        for (size_t p = 0; p < std::size(kRatio); ++p)
            s += kAmp[p] * std::exp(-local / kDecay[p]) * std::sin(kTwoPi * f0 * kRatio[p] * local);
        s *= gain * Rise(local, 0.004) * (1.0 - Rise(local - 5.5, 1.5));  // no click where the bell is cut
        out.left[i] += static_cast<float>(s * left);
        out.right[i] += static_cast<float>(s * right);
    }
}

// A stereo echo with crossed feedback, so repeats drift from side to side.
void AddEcho(const Stereo& in, Stereo& out, double mix) {
    const size_t dl = static_cast<size_t>(0.43 * kRate), dr = static_cast<size_t>(0.61 * kRate);
    std::vector<float> bufL(dl, 0.0f), bufR(dr, 0.0f);
    size_t il = 0, ir = 0;
    for (size_t i = 0; i < in.Frames(); ++i) {
        const float outL = bufL[il], outR = bufR[ir];
        bufL[il] = in.left[i] + 0.38f * outR;
        bufR[ir] = in.right[i] + 0.38f * outL;
        il = (il + 1) % dl;
        ir = (ir + 1) % dr;
        out.left[i] += static_cast<float>(mix * outL);
        out.right[i] += static_cast<float>(mix * outR);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: dw_demo_synth OUT.wav [SECONDS]\n");
        return 2;
    }
    const double seconds = argc == 3 ? std::atof(argv[2]) : 30.0;
    if (!(seconds >= 8.0 && seconds <= 600.0)) {
        std::fprintf(stderr, "dw_demo_synth: SECONDS must be from 8 to 600\n");
        return 2;
    }
    const size_t frames = static_cast<size_t>(seconds * kRate);
    Random rng(20260101u);

    // D major, slowly: Dmaj9, Bm9, Gmaj7(#11), Asus2, then round again.
    const std::vector<Chord> progression = {
        {0, 0, {50, 57, 61, 64, 66}, 38},
        {0, 0, {47, 54, 57, 61, 62}, 35},
        {0, 0, {43, 50, 54, 57, 59}, 31},
        {0, 0, {45, 52, 59, 62, 64}, 33},
    };
    const double chordLength = seconds / 4.0;

    Stereo pads(frames), bells(frames), mix(frames);
    for (size_t c = 0; c < progression.size(); ++c) {
        // Each chord swells in before the previous one has faded, so the pads never stop.
        const double start = c == 0 ? 0.0 : c * chordLength - 1.5;
        const double length = chordLength + (c == 0 ? 0.0 : 1.5) - 1.0;
        for (int note : progression[c].pad) AddPadNote(pads, start, length, note, 0.11, rng);
        AddBass(mix, start, length, progression[c].bass, 0.16);
    }

    // The melody: a random walk on the D major pentatonic scale, one bell every
    // 0.7 to 1.9 seconds, now and then a fifth below as an answer.
    static constexpr int kScale[] = {69, 71, 74, 76, 78, 81, 83, 86, 88};
    int degree = 4;
    for (double t = 1.8; t < seconds - 4.0; t += rng.Range(0.7, 1.9)) {
        // Steps of -2 to +2 degrees, turned back at the ends so the tune keeps to the middle.
        const int top = static_cast<int>(std::size(kScale)) - 1;
        degree += static_cast<int>(std::floor(rng.Range(-2.0, 3.0)));
        if (degree < 0) degree = -degree;
        if (degree > top) degree = 2 * top - degree;
        AddBell(bells, t, kScale[degree], rng.Range(0.08, 0.14), rng.Range(-0.6, 0.6));
        if (rng.Next() < 0.2) AddBell(bells, t + 0.35, kScale[degree] - 7, 0.06, rng.Range(-0.6, 0.6));
    }

    for (size_t i = 0; i < frames; ++i) {
        mix.left[i] += pads.left[i] + bells.left[i];
        mix.right[i] += pads.right[i] + bells.right[i];
    }
    AddEcho(bells, mix, 0.45);

    // Fade the ends, bring the peak to -3 dBFS, and dither down to 16 bits.
    float peak = 0.0f;
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const float fade = static_cast<float>(Rise(t, 2.0) * (1.0 - Rise(t - (seconds - 3.0), 3.0)));
        mix.left[i] *= fade;
        mix.right[i] *= fade;
        peak = std::max({peak, std::fabs(mix.left[i]), std::fabs(mix.right[i])});
    }
    const double gain = peak > 0.0f ? 0.708 / peak : 1.0;
    std::vector<short> pcm(frames * 2);
    for (size_t i = 0; i < frames; ++i) {
        for (int ch = 0; ch < 2; ++ch) {
            const double x = (ch == 0 ? mix.left[i] : mix.right[i]) * gain * 32767.0;
            const double dither = rng.Next() - rng.Next();  // triangular, one step wide each way
            pcm[i * 2 + ch] = static_cast<short>(std::clamp(std::lround(x + dither), -32768L, 32767L));
        }
    }

    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "dw_demo_synth: cannot write %s: %s\n", argv[1], sf_strerror(nullptr));
        return 1;
    }
    const sf_count_t written = sf_writef_short(file, pcm.data(), static_cast<sf_count_t>(frames));
    const int closed = sf_close(file);
    if (written != static_cast<sf_count_t>(frames) || closed != 0) {
        std::fprintf(stderr, "dw_demo_synth: writing %s failed\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    std::printf("Wrote %.1f s of music to %s\n", seconds, argv[1]);
    return 0;
}

// Writes the seeds of fuzz_load_source: a few milliseconds of a tone in each
// format the program loads, each file preceded by the byte that makes the
// fuzzer name it with its extension (the index in its list of extensions).
// Usage: make_source_seeds FOLDER [MP1 MP2], the MPEG files to cut short.

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool WriteSeed(const std::string& path, unsigned char selector, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.put(static_cast<char>(selector));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<char> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool Encode(const std::string& folder, const char* name, unsigned char selector, int format, int channels, int rate,
            int frames) {
    const std::string temp = folder + "/.encoding";
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(temp.c_str(), SFM_WRITE, &info);
    if (f == nullptr) {
        std::fprintf(stderr, "%s: %s\n", name, sf_strerror(nullptr));
        return false;
    }
    std::vector<float> data(static_cast<std::size_t>(frames * channels));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            data[static_cast<std::size_t>(i * channels + c)] =
                static_cast<float>(0.5 * std::sin(2.0 * M_PI * (440.0 + 220.0 * c) * i / rate));
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
    const bool ok = WriteSeed(folder + "/" + name, selector, ReadAll(temp));
    std::remove(temp.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string folder = argv[1];
    // Selectors: 0 .wav, 1 .aiff, 2 .flac, 3 .ogg, 4 .mp3, 5 .mp2, 6 .mp1, 7 .au
    bool ok = Encode(folder, "pcm16-mono.wav", 0, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 8000, 64) &&
              Encode(folder, "float-stereo.wav", 0, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 22050, 32) &&
              Encode(folder, "ima-adpcm.wav", 0, SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 8000, 505) &&
              Encode(folder, "pcm24-three-channels.aiff", 1, SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 3, 8000, 48) &&
              Encode(folder, "pcm16-stereo.flac", 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 8000, 192) &&
              Encode(folder, "vorbis-mono.ogg", 3, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 8000, 400) &&
              Encode(folder, "layer3-mono.mp3", 4, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 1, 8000, 1152) &&
              Encode(folder, "ulaw.au", 7, SF_FORMAT_AU | SF_FORMAT_ULAW, 1, 8000, 64);
    // No Debian library writes Layer I or II through libsndfile: the first
    // few frames of the committed test fixtures stand in.
    if (ok && argc >= 4) {
        std::vector<char> mp1 = ReadAll(argv[2]), mp2 = ReadAll(argv[3]);
        mp1.resize(std::min<std::size_t>(mp1.size(), 3 * 1668 / 4));
        mp2.resize(std::min<std::size_t>(mp2.size(), 3 * 418));
        ok = WriteSeed(folder + "/layer1-stereo.mp1", 6, mp1) && WriteSeed(folder + "/layer2-stereo.mp2", 5, mp2);
    }
    return ok ? 0 : 1;
}

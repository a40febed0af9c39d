#pragma once
// Sources the command-line tests make for themselves: interleaved stereo
// samples written as a 16-bit file through libsndfile.

#include <gtest/gtest.h>

#include <sndfile.h>

#include <filesystem>
#include <vector>

namespace dw::cli::test {

// Writes `data` (interleaved left, right) as 16-bit stereo at `rate` Hz in
// `container` (SF_FORMAT_WAV, SF_FORMAT_FLAC, ...). A file that cannot be made
// fails the test with libsndfile's reason.
inline void WriteStereo16(const std::filesystem::path& path, int container, int rate, const std::vector<float>& data) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = container | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path.string() << ": " << sf_strerror(nullptr);
    sf_writef_float(file, data.data(), static_cast<sf_count_t>(data.size() / 2));
    sf_close(file);
}

}  // namespace dw::cli::test

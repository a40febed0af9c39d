#pragma once
// Small sources for the window tests: a WAV file of a tone written into a
// temporary folder, so no test depends on files outside the project.

#include <QString>
#include <QTemporaryDir>

#include <cstdint>

namespace dw::test {

// Writes a 16-bit stereo WAV of `seconds` of a 440 Hz tone at `rate` Hz,
// `level` 1 at about -8.7 dBFS (0: silence).
QString WriteToneWav(const QTemporaryDir& dir, const QString& name, double seconds, std::uint32_t rate = 22050,
                     double level = 1.0);

}  // namespace dw::test

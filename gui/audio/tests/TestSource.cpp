#include "gui/audio/tests/TestSource.h"

#include <QFile>

#include <cmath>
#include <vector>

namespace dw::test {

namespace {
void Put32(std::vector<char>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put16(std::vector<char>& b, std::uint16_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
}
}  // namespace

QString WriteToneWav(const QTemporaryDir& dir, const QString& name, double seconds, std::uint32_t rate, double level) {
    const auto frames = static_cast<std::uint32_t>(seconds * rate);
    const std::uint32_t dataBytes = frames * 4;
    std::vector<char> b;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    Put32(b, 36 + dataBytes);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(b, 16);
    Put16(b, 1);  // PCM
    Put16(b, 2);
    Put32(b, rate);
    Put32(b, rate * 4);
    Put16(b, 4);
    Put16(b, 16);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(level * 12000 * std::sin(2 * 3.14159265358979 * 440 * i / rate));
        Put16(b, static_cast<std::uint16_t>(v));
        Put16(b, static_cast<std::uint16_t>(v));
    }
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(b.data(), static_cast<qint64>(b.size()));
    return path;
}

}  // namespace dw::test

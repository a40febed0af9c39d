#include "core/engine/tests/EngineTestSupport.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace dw::test {

void SetSyntheticSource(CProject& project, std::uint32_t frames) {
    CProperties& p = project.properties;
    p.sourceFrames = MakeSilentFrames(frames);
    p.sourceFrameCount = frames;
    p.sourceLoaded = true;
    std::uint32_t noise = 12345;
    const double rate = p.sampleRate > 0 ? static_cast<double>(p.sampleRate) : 11025.0;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = i / rate;
        noise = noise * 1664525u + 1013904223u;
        const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.02;
        const double swell = 0.6 + 0.4 * std::sin(2.0 * 3.141592653589793 * 0.1 * t);
        const double a = std::sin(2.0 * 3.141592653589793 * 220.0 * t);
        const double b = std::sin(2.0 * 3.141592653589793 * 331.0 * t);
        p.sourceFrames[i].left = static_cast<float>(swell * (0.5 * a + 0.2 * b) + n);
        p.sourceFrames[i].right = static_cast<float>(swell * (0.2 * a + 0.5 * b) - n);
    }
}

void SetGraph(CProject& project, int graph, float value) {
    for (auto& cell : project.matrix.rows[static_cast<std::size_t>(graph)]) cell = value;
}

void MakeSmallProject(CProject& project) {
    project.SetDefaults();
    project.properties.musicLength = 10;
    project.properties.quality = 0;
    project.properties.sampleRate = 11025;
    SetSyntheticSource(project, 20 * 11025);
}

void MakeLightProject(CProject& project) {
    MakeSmallProject(project);
    SetGraph(project, 0, 0.0f);  // Granulation
    SetGraph(project, 2, 0.0f);  // Smoothness
}

std::vector<std::uint8_t> Bytes(const void* data, std::size_t frames) {
    std::vector<std::uint8_t> out(frames * 8);
    if (frames > 0) std::memcpy(out.data(), data, out.size());
    return out;
}

}  // namespace dw::test

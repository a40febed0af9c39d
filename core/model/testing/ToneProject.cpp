#include "core/model/testing/ToneProject.h"

#include <cmath>
#include <numbers>

namespace dw::test {

void MakeToneProject(CProject& project, std::uint32_t quality, double rightHz, float level) {
    auto& p = project.properties;
    p.quality = quality;
    p.sampleRate = SampleRateOfQuality(quality);
    p.musicLength = 10;
    p.baseMotifLength = 2.0;
    p.sourcePath = "tone";
    const std::uint32_t rate = p.sampleRate;
    const std::uint32_t n = 2 * rate;
    p.sourceFrames = MakeSilentFrames(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        p.sourceFrames[i].left = static_cast<float>(level * std::sin(2 * std::numbers::pi * 440.0 * t));
        p.sourceFrames[i].right = static_cast<float>(level * std::sin(2 * std::numbers::pi * rightHz * t));
    }
    p.sourceFrameCount = n;
    p.sourceLoaded = true;
    project.musicOutdated = 1;
}

}  // namespace dw::test

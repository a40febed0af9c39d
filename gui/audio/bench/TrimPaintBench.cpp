// Paint time of the trim dialog's drawing area for a 60-minute source at
// 11025 Hz: the first paint at a new size (peaks computed) and a repaint at
// the same size (peaks from the cache). The aim is well under 16 ms a paint.
// Built, never registered as a test; run it on the offscreen platform.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <memory>

#include "gui/audio/CDlgTrim.h"
#include "gui/audio/CDlgTrimPlayer.h"
#include "core/model/Project.h"

namespace {

constexpr std::uint32_t kSixtyMinutes = 60u * 60u * 11025u;

struct Fixture {
    Fixture() {
        project.properties.sourceFrames = dw::MakeSilentFrames(kSixtyMinutes);
        project.properties.sourceFrameCount = kSixtyMinutes;
        project.properties.sampleRate = 11025;
        project.properties.sourceLoaded = true;
        dw::SetTrimPlayerFactory([](dw::CProperties&) { return std::unique_ptr<dw::IStreamTransport>(); });
        dialog = std::make_unique<dw::CDlgTrim>(nullptr, &project.properties, dw::CDlgTrim::kTrimSource,
                                                dw::FractionRange{0.2, 0.4}, dw::FractionRange{0.05, 0.95});
    }
    dw::CProject project;
    std::unique_ptr<dw::CDlgTrim> dialog;
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

void BM_TrimPaintNewSize(benchmark::State& state) {
    Fixture& f = TheFixture();
    const int width = static_cast<int>(state.range(0));
    QImage image(width + 1, 400, QImage::Format_RGB32);
    int flip = 0;
    for (auto _ : state) {
        QPainter p(&image);
        const dw::TrimLayout layout{width + (flip ^= 1), 370};  // a new width every paint
        f.dialog->RenderWave(p, layout);
    }
}
BENCHMARK(BM_TrimPaintNewSize)->Arg(631)->Arg(1900)->Unit(benchmark::kMillisecond);

void BM_TrimPaintSameSize(benchmark::State& state) {
    Fixture& f = TheFixture();
    const int width = static_cast<int>(state.range(0));
    QImage image(width, 400, QImage::Format_RGB32);
    const dw::TrimLayout layout{width, 370};
    for (auto _ : state) {
        QPainter p(&image);
        f.dialog->RenderWave(p, layout);
    }
}
BENCHMARK(BM_TrimPaintSameSize)->Arg(631)->Arg(1900)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

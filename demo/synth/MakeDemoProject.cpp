// dw_make_demo_project: writes demo/demo.dwv, the project the README's main
// command renders. It starts from the default project and shapes it into a
// piece of two and a half minutes at CD quality: five sections that open
// sparse and smooth, thicken and wander in the middle, and settle again.
//
//   dw_make_demo_project OUT.dwv
//
// The source is named relative to the project ("demo-source.wav"), so the
// command line finds it beside the project file.

#include <cstdio>
#include <string>

#include "core/model/Matrix.h"
#include "core/model/Project.h"
#include "core/model/ProjectFile.h"

namespace {

class PrintSink final : public dw::IMessageSink {
public:
    void ShowMessage(int, std::string_view text, dw::MessageIcon) override {
        std::fprintf(stderr, "dw_make_demo_project: %.*s\n", static_cast<int>(text.size()), text.data());
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dw_make_demo_project OUT.dwv\n");
        return 2;
    }
    dw::CProject project;
    project.SetDefaults();

    dw::CProperties& p = project.properties;
    p.sourcePath = "demo-source.wav";
    p.musicLength = 150;
    // Leave out the fades at both ends of the source.
    p.trimStart = 0.07;
    p.trimEnd = 0.9;
    p.baseMotifLength = 6.0;
    p.fractalScanner = true;
    p.loopMotifs = false;
    p.quality = 2;
    p.sampleRate = dw::SampleRateOfQuality(2);
    p.volume = 0.8;
    p.fadeIn = 6;
    p.fadeOut = 10;

    project.sections.items = {
        {0.0, 0.18, dw::kDefaultSourceRange, dw::kDefaultSourceRange},
        {0.18, 0.4, dw::kDefaultSourceRange, dw::kDefaultSourceRange},
        {0.4, 0.62, dw::kDefaultSourceRange, dw::kDefaultSourceRange},
        {0.62, 0.82, dw::kDefaultSourceRange, dw::kDefaultSourceRange},
        {0.82, 1.0, dw::kDefaultSourceRange, dw::kDefaultSourceRange},
    };
    // Percent per section, in graph order.
    static constexpr int kShape[dw::kGraphCount][5] = {
        {15, 20, 30, 25, 15},  // Granulation
        {10, 20, 30, 20, 10},  // Complexity
        {20, 25, 30, 25, 20},  // Smoothness
        {5, 10, 20, 15, 5},    // Texture
        {20, 30, 40, 30, 20},  // Dynamics
        {20, 40, 60, 40, 20},  // Progression
        {50, 40, 30, 40, 60},  // Variations
        {30, 40, 50, 40, 30},  // Transition
    };
    project.matrix.columnCount = 5;
    for (int g = 0; g < dw::kGraphCount; ++g) {
        project.matrix.rows[static_cast<size_t>(g)].assign(5, 0.0f);
        for (int c = 0; c < 5; ++c)
            project.matrix.rows[static_cast<size_t>(g)][static_cast<size_t>(c)] =
                static_cast<float>(kShape[g][c] / 100.0);
    }

    if (const std::string broken = dw::CheckInvariants(project); !broken.empty()) {
        std::fprintf(stderr, "dw_make_demo_project: the demo project is inconsistent: %s\n", broken.c_str());
        return 1;
    }
    PrintSink sink;
    if (!dw::StoreProject(project, argv[1], sink)) return 1;
    std::printf("Wrote the demo project to %s\n", argv[1]);
    return 0;
}

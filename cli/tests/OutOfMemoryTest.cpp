// Running out of memory in any long stage of a render ends it with the
// out-of-memory message and leaves the file that was there as it was. The
// render goes through the command's own function, in this process, with one
// stage armed to fail as an allocation would, on whichever thread it reaches.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/Render.h"
#include "cli/tests/RunProcess.h"
#include "cli/tests/TestSounds.h"
#include "core/base/AllocationFault.h"

namespace dw::cli::test {
namespace {

namespace fs = std::filesystem;

// Two seconds of a tone, 16-bit stereo at 22050 Hz.
void WriteSource(const fs::path& path) {
    std::vector<float> data(2 * 44100);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<float>(0.3 * std::sin(0.05 * static_cast<double>(i / 2)));
    WriteStereo16(path, SF_FORMAT_WAV, 22050, data);
}

struct OomCase {
    const char* name;
    AllocationStage stage;
    unsigned nth;          // which of the stage's allocation places fails
    const char* output;    // the file asked for
};

void PrintTo(const OomCase& c, std::ostream* os) { *os << c.name; }

class RenderOutOfMemory : public testing::TestWithParam<OomCase> {};

TEST_P(RenderOutOfMemory, SaysSoAndKeepsTheOldFile) {
    const OomCase& c = GetParam();
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    WriteSource(dir.path() / "source.wav");
    const fs::path target = dir.path() / c.output;
    std::ofstream(target) << "the previous render";

    RenderRequest request;
    request.source = (dir.path() / "source.wav").string();
    request.output = target.string();
    request.seed = 7;
    request.quiet = true;
    request.settings.length = 10;
    request.settings.quality = 0;
    request.settings.reverbOn = true;  // so that the finishing runs the effects
    std::ostringstream out, err;
    ArmAllocationFault(c.stage, c.nth);
    const int status = RunRender(request, out, err, false);
    DisarmAllocationFault();

    EXPECT_EQ(status, kExitFailed);
    EXPECT_NE(err.str().find("Not enough memory for this render; nothing was written."), std::string::npos)
        << err.str();
    EXPECT_EQ(ReadText(target), "the previous render");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 2u) << "the source and the old file only: no temporary left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Stages, RenderOutOfMemory,
    testing::Values(OomCase{"SourceLoading", AllocationStage::SourceLoading, 1, "out.wav"},
                    OomCase{"Creation", AllocationStage::Creation, 5, "out.wav"},
                    OomCase{"Finishing", AllocationStage::Finishing, 1, "out.wav"},
                    OomCase{"FlacEncodingInsideLibflac", AllocationStage::FlacEncoding, 2, "out.flac"}),
    [](const testing::TestParamInfo<OomCase>& i) { return std::string(i.param.name); });

// Unarmed, the same render writes its file: the hook changes nothing else.
TEST(RenderOutOfMemory, UnarmedTheRenderIsWritten) {
    TempDir dir;
    WriteSource(dir.path() / "source.wav");
    RenderRequest request;
    request.source = (dir.path() / "source.wav").string();
    request.output = (dir.path() / "out.flac").string();
    request.seed = 7;
    request.quiet = true;
    request.settings.length = 10;
    request.settings.quality = 0;
    request.settings.reverbOn = true;
    std::ostringstream out, err;
    EXPECT_EQ(RunRender(request, out, err, false), kExitOk) << err.str();
    EXPECT_GT(fs::file_size(dir.path() / "out.flac"), 1000u);
}

}  // namespace
}  // namespace dw::cli::test

// The output path's converter: a sine keeps its frequency and level across
// the rates the project uses; equal rates pass through bit for bit.
#include <gtest/gtest.h>

#include "core/audio/RateConverter.h"
#include "core/audio/tests/TestSignals.h"

namespace dw {
namespace {

struct RateCase {
    std::uint32_t in, out;
};
void PrintTo(const RateCase& c, std::ostream* os) { *os << c.in << " Hz to " << c.out << " Hz"; }

class ConverterRates : public ::testing::TestWithParam<RateCase> {};

TEST_P(ConverterRates, SineKeepsFrequencyAndLevel) {
    const auto [in, out] = GetParam();
    const double tone = 1000.0;
    const auto source = test::StereoSine(tone, in, in);  // one second
    std::size_t read = 0;
    RateConverter conv;
    conv.Prepare(in, out, 256);
    std::vector<float> result(out * 2);
    // Pull in uneven pieces, as a device would.
    const std::size_t pieces[] = {100, 333, 512, 1};
    std::size_t done = 0;
    for (int k = 0; done < out; ++k) {
        const std::size_t n = std::min(pieces[k % 4], out - done);
        conv.Render(result.data() + 2 * done, n, [&](float* d, std::size_t want) {
            for (std::size_t i = 0; i < want; ++i, ++read) {
                d[2 * i] = read < in ? source[2 * read] : 0.0f;
                d[2 * i + 1] = read < in ? source[2 * read + 1] : 0.0f;
            }
        });
        done += n;
    }
    const std::size_t from = out / 4, count = out / 2;
    EXPECT_NEAR(test::ZeroCrossingFrequency(result.data(), from, count, out), tone, 0.5);
    EXPECT_NEAR(test::ToneLevel(result.data(), from, count, tone, out), 0.5, 0.01);
    EXPECT_NEAR(test::ToneLevel(result.data(), from, count, tone, out, 1), 0.5, 0.01);
}

INSTANTIATE_TEST_SUITE_P(Output, ConverterRates,
                         ::testing::Values(RateCase{11025, 44100}, RateCase{22050, 44100}, RateCase{48000, 44100},
                                           RateCase{44100, 48000}),
                         [](const auto& p) {
                             return std::to_string(p.param.in) + "to" + std::to_string(p.param.out);
                         });

TEST(Converter, EqualRatesPassThroughUnchanged) {
    const auto source = test::StereoSine(1234.5, 44100, 3000);
    RateConverter conv;
    conv.Prepare(44100, 44100, 256);
    std::vector<float> result(source.size());
    std::size_t read = 0;
    conv.Render(result.data(), 3000, [&](float* d, std::size_t k) {
        std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(2 * read), 2 * k, d);
        read += k;
    });
    EXPECT_EQ(result, source);
}

}  // namespace
}  // namespace dw

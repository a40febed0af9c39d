// The production renderer finds its run ends with a multiplication where the
// reference divides; a source frame off by one anywhere would change the
// music, so the two must agree for every index and rate a grain can have.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "core/engine/Quotient.h"

namespace dw {
namespace {

TEST(QuotientOf, AgreesWithTheDivisionOverWholeGrains) {
    std::vector<double> rates = {0.925, 1.075, 1.0, 0.5, 2.0, 1.0 + 0x1p-16, 1.0 - 0x1p-16, 1.0 + 0x1p-40, 0.999999};
    std::mt19937_64 draw(2026);
    std::uniform_real_distribution<double> texture(0.925, 1.075);
    for (int n = 0; n < 40; ++n) rates.push_back(texture(draw));
    for (double rate : rates) {
        const QuotientOf quotient(rate);
        for (std::int64_t k = 0; k < (1 << 17); ++k) {
            ASSERT_EQ(quotient(k), Quotient(k, rate)) << "k " << k << " rate " << rate;
        }
    }
}

// Where k / rate is an integer or within a rounding of one, the product and
// the quotient can land on different sides of it: there the division decides.
TEST(QuotientOf, AgreesWhereTheQuotientIsAtAnInteger) {
    std::mt19937_64 draw(7);
    std::uniform_int_distribution<std::int64_t> index(1, 1 << 22);
    std::uniform_real_distribution<double> texture(0.925, 1.075);
    for (int n = 0; n < 200000; ++n) {
        const std::int64_t k = index(draw);
        const auto m = static_cast<std::int64_t>(std::llround(static_cast<double>(k) / texture(draw)));
        if (m <= 0) continue;
        const double exact = static_cast<double>(k) / static_cast<double>(m);
        for (double rate : {exact, std::nextafter(exact, 0.0), std::nextafter(exact, 4.0),
                            std::nextafter(std::nextafter(exact, 4.0), 4.0)}) {
            const QuotientOf quotient(rate);
            for (std::int64_t j = k - 1; j <= k + 1; ++j) {
                ASSERT_EQ(quotient(j), Quotient(j, rate)) << "k " << j << " rate " << rate;
            }
        }
    }
}

}  // namespace
}  // namespace dw

#pragma once

#include <cstdint>

namespace dw {

// trunc(i / rate) as the reference renderer computes it: a division in
// doubles, never a multiplication by 1 / rate.
inline std::int64_t Quotient(std::int64_t i, double rate) {
    return static_cast<std::int64_t>(static_cast<double>(i) / rate);
}

// Quotient(k, rate) for 0 <= k < 2^52, mostly without a division: the product
// k x (1 / rate) lies within three units in the last place of the rounded
// quotient (k / rate x 2^-51 at most), so where it is farther than that from
// an integer both truncate alike. Only a product that close to an integer is
// divided.
struct QuotientOf {
    double rate;
    double inverse;
    explicit QuotientOf(double r) : rate(r), inverse(1.0 / r) {}
    std::int64_t operator()(std::int64_t k) const {
        const double q = static_cast<double>(k) * inverse;
        const auto n = static_cast<std::int64_t>(q);
        const double f = q - static_cast<double>(n);
        const double margin = q * 0x1p-46 + 0x1p-60;
        if (f > margin && f < 1.0 - margin) return n;
        return Quotient(k, rate);
    }
};

}  // namespace dw

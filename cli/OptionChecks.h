#pragma once
// The checks every option value of the command line passes before it is
// converted: numbers are plain decimal (no hex, no "nan" or "inf", no spaces
// around them) and finite, and within their range; text values are not
// empty. CLI11 on its own reads "0x10" as sixteen, takes "nan" into any
// floating range (every comparison with NaN is false) and lets "" through.
// The messages name the value as given; Run escapes them before printing.

#include <cstdint>
#include <string>

namespace CLI {
class Validator;
}

namespace dw::cli {

// A whole number from `low` to `high`, in decimal digits only.
CLI::Validator WholeBetween(std::uint64_t low, std::uint64_t high);
// A finite decimal number from `low` to `high` ("1.5", "-16", "2e-3");
// the texts are how the range is said in messages and help.
CLI::Validator NumberBetween(double low, double high, const std::string& lowText, const std::string& highText);
// A finite decimal number; its range is checked where the option is used.
CLI::Validator AnyNumber();
// Any text but the empty one.
CLI::Validator NotEmpty();
// Text for a tag: valid UTF-8 (a tag that is not is dropped by FLAC and Ogg
// writers without a word), any length, empty allowed.
CLI::Validator TagText();

// Why SOURCE_DATE_EPOCH, when set, cannot date a file (not a whole number of
// seconds since 1970 in decimal digits); empty when it is unset or fine.
std::string SourceDateEpochProblem();

}  // namespace dw::cli

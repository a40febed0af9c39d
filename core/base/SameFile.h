#pragma once
// Whether two paths name one file, so that an output never replaces an input
// however it is spelled: through a link, with "..", relative or absolute.

#include <filesystem>

namespace dw {

// True when `a` and `b` are the same existing file (hard or symbolic links
// included), or, for a file that does not exist yet, the same place once
// links in their folders are followed and the spelling is normalised.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace dw

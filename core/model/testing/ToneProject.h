#pragma once
// A project on a synthesised tone, for the tests that create or play music
// and want it to take moments: no sound file is read, the tone is put in as
// the decoded source.

#include <cstdint>

#include "core/model/Project.h"

namespace dw::test {

// Sets `project` to a short piece at `quality`'s rate: 10 s of music from
// 2 s base motifs, whose source is 2 s of a 440 Hz sine on the left and
// `rightHz` on the right at `level`, loaded and decoded, with the music
// still to be created. The source path names no file ("tone"); tests that
// need one set their own.
void MakeToneProject(CProject& project, std::uint32_t quality = 0, double rightHz = 440.0, float level = 0.5f);

}  // namespace dw::test

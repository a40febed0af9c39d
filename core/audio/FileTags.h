#pragma once
// What a written sound file says about itself: its title, who made it, with
// which software and when, and in its comment everything needed to make the
// same music again (the seed, the source, the project and the settings).

#include <cstdint>
#include <ctime>
#include <string>

#include "core/audio/Export.h"
#include "core/model/Properties.h"

namespace dw {

struct TagRequest {
    std::string title;        // empty: the project file's name, else the source's
    std::string artist;
    std::string version;      // of Driftwell
    std::uint32_t seed = 0;
    std::string sourcePath;   // empty: music that came from standard input
    std::string projectPath;  // empty: the default project
    std::string extra;        // more of the render's settings, e.g. "no effects" (see FinishingComment)
    std::time_t when = 0;
};

// The tags of music made from `properties` as `request` says.
SoundTags MakeSoundTags(const CProperties& properties, const TagRequest& request);

// The time a file is dated: SOURCE_DATE_EPOCH when set (so that a build or a
// batch can be repeated byte for byte on another day), otherwise now.
std::time_t TagTime();

}  // namespace dw

#pragma once
// The string table: every user-visible text that has an id, used by the core
// and by the windows. Texts are UTF-8 and stand exactly as the program shows
// them (typos included: they are the program's texts).

#include <span>
#include <string_view>

namespace dw {

// The text of string `id`; empty when the table has no such id.
std::string_view LoadString(int id);

// Every id of the table, ascending.
std::span<const int> StringTableIds();

// Ids by name, for readable call sites.
enum StringId : int {
    IDS_SOURCE_ALLOC_FAILED = 61000,
    IDS_SOURCE_OPEN_FAILED = 61001,
    IDS_OUTPUT_ALLOC_FAILED = 61002,
    IDS_BACKGROUND_ALLOC_FAILED = 61003,
    IDS_ENVELOPE_ALLOC_FAILED = 61004,
    IDS_SOURCE_TOO_LONG = 61005,
    IDS_SOURCE_SHORTER_THAN_ANNOUNCED = 61006,
    IDS_SOURCE_SILENT = 61007,
    IDS_ENCODER_CREATE_FAILED = 61100,
    IDS_ENCODER_WRITE_FAILED = 61101,
    IDS_CANNOT_OPEN_GUIDE = 61200,
    IDS_OS_NOT_SUPPORTED = 61201,
    IDS_SCREEN_NOT_SUPPORTED = 61202,
    IDS_VERSION_FORMAT = 61203,
    IDS_TIP_NEW_PROJECT = 61220,
    IDS_TIP_OPEN_PROJECT = 61221,
    IDS_TIP_SAVE_PROJECT = 61222,
    IDS_TIP_SAVE_PROJECT_COPY = 61223,
    IDS_TIP_WRITE_MUSIC = 61224,
    IDS_TIP_USERS_GUIDE = 61225,
    IDS_TIP_ABOUT = 61226,
    IDS_TIP_HOME_PAGE = 61227,
    IDS_GUIDE_FILE_NAME = 61229,
    IDS_HOME_PAGE_ADDRESS = 61230,
    IDS_RESAMPLER_OPEN_FAILED = 61500,
    IDS_STREAM_FILE_LENGTH = 61501,
    IDS_STREAM_DURATION = 61502,
    IDS_STREAM_INFO = 61503,
    IDS_STREAM_DATA = 61504,
    IDS_WRONG_AUDIO_LIBRARY = 61506,
    IDS_WRONG_EFFECTS_LIBRARY = 61507,
    IDS_CANNOT_INIT_DEVICE = 61508,
    IDS_CANNOT_APPLY_LOW_PASS = 61510,
    IDS_CANNOT_APPLY_REVERB = 61511,
    IDS_CANNOT_APPLY_CHORUS = 61512,
    IDS_ENCODER_ACM_FILE = 61520,
    IDS_ENCODER_CREATE_FILE_FAILED = 61521,
    IDS_ENCODER_ACM_FORMAT_FAILED = 61522,
    IDS_WRONG_FORMAT = 61523,
    IDS_CANNOT_OPEN_PLAYBACK_STREAM = 61530,
    IDS_GRAPH_GRANULATION = 61550,  // 61550 to 61557: the eight graph names in graph order
    IDS_GRAPH_TRANSITION = 61557,
    IDS_SELECT_SOURCE_FILE = 61600,
    IDS_ENCODER_FIRST = 61611,  // 61611 to 61614: encoder list, index 0 to 3
    IDS_QUALITY_FIRST = 61620,  // 61620 to 61623: quality list, index 0 to 3
    IDS_CAPTION_TRIM = 61640,
    IDS_CAPTION_SECTION_SOURCE = 61641,
};

}  // namespace dw

#include "core/audio/FileTags.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace dw {

namespace {

std::string NameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }
std::string StemOf(const std::string& path) { return std::filesystem::path(path).stem().string(); }

std::string Amount(double value) {
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

}  // namespace

SoundTags MakeSoundTags(const CProperties& p, const TagRequest& r) {
    SoundTags tags;
    tags.title = !r.title.empty()       ? r.title
                 : !r.projectPath.empty() ? StemOf(r.projectPath)
                                          : r.sourcePath.empty() ? std::string("Driftwell")
                                          : StemOf(r.sourcePath);
    tags.artist = r.artist;
    tags.software = "Driftwell " + r.version;
    std::tm utc{};
    const std::time_t when = r.when;
    if (::gmtime_r(&when, &utc) != nullptr) {
        char date[40];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday);
        tags.date = date;
    }
    std::string c = "Driftwell " + r.version + ", seed " + std::to_string(r.seed);
    c += "; source " + (r.sourcePath.empty() ? std::string("(standard input)") : NameOf(r.sourcePath));
    c += "; project " + (r.projectPath.empty() ? std::string("(default)") : NameOf(r.projectPath));
    c += "; " + std::to_string(p.musicLength) + " s at " + std::to_string(p.sampleRate) + " Hz, volume " +
         Amount(p.volume) + ", loop " + (p.loopMusic ? "on" : "off") + ", fade in " + std::to_string(p.fadeIn) +
         " s, fade out " + std::to_string(p.fadeOut) + " s";
    if (p.highCutOn) c += ", high-cut " + Amount(p.highCut);
    if (p.reverbOn) c += ", reverb " + Amount(p.reverb);
    if (p.chorusOn) c += ", chorus " + Amount(p.chorus);
    if (!r.extra.empty()) c += ", " + r.extra;
    tags.comment = c;
    return tags;
}

std::time_t TagTime() {
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != '\0') {
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(epoch, &end, 10);
        if (errno == 0 && end != nullptr && *end == '\0' && value >= 0) return static_cast<std::time_t>(value);
    }
    return std::time(nullptr);
}

}  // namespace dw

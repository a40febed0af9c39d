#include "core/model/Project.h"

#include <cmath>
#include <cstring>
#include <string>

namespace dw {

void CProject::SetDefaults() {
    sections.SetDefaults();
    matrix.SetDefaults();
    properties.SetDefaults();
}

std::unique_ptr<CProject> CopyForCreation(const CProject& project) {
    auto copy = std::make_unique<CProject>();
    copy->matrix = project.matrix;
    copy->graphs = project.graphs;
    copy->sections = project.sections;
    copy->musicOutdated = project.musicOutdated;
    const CProperties& p = project.properties;
    copy->properties.AssignStoredFields(p);
    copy->properties.sourceMissing = p.sourceMissing;
    if (p.sourceFrames != nullptr && p.sourceFrameCount > 0) {
        copy->properties.sourceFrames = AllocateFrames(p.sourceFrameCount);
        if (copy->properties.sourceFrames == nullptr) return nullptr;
        std::memcpy(static_cast<void*>(copy->properties.sourceFrames.get()), p.sourceFrames.get(),
                    std::size_t{p.sourceFrameCount} * sizeof(StereoFrame));
        copy->properties.sourceFrameCount = p.sourceFrameCount;
    }
    copy->properties.sourceLoaded = p.sourceLoaded;
    return copy;
}

namespace {

bool InUnit(double v) { return v >= 0.0 && v <= 1.0; }

std::string CheckProperties(const CProperties& p) {
    if (p.musicLength < kMinMusicLength || p.musicLength > kMaxMusicLength) return "musicLength out of range";
    if (!InUnit(p.trimStart) || !InUnit(p.trimEnd) || !(p.trimStart < p.trimEnd)) return "bad trim range";
    if (!(p.baseMotifLength >= kMinBaseMotifLength && p.baseMotifLength <= kMaxBaseMotifLength))
        return "baseMotifLength out of range";
    if (p.baseMotifLength > static_cast<double>(p.musicLength)) return "baseMotifLength above musicLength";
    if (p.quality >= kQualityCount) return "quality out of range";
    if (p.sampleRate != kQualityTable[p.quality].sampleRate) return "sampleRate does not match quality";
    if (!InUnit(p.volume)) return "volume out of range";
    if (p.fadeIn > kMaxFade || p.fadeOut > kMaxFade) return "fade out of range";
    if (p.encoder >= kEncoderCount) return "encoder out of range";
    if (!InUnit(p.highCut) || !InUnit(p.reverb) || !InUnit(p.chorus)) return "effect amount out of range";
    if (!p.sourceFrames && p.sourceFrameCount != 0) return "sourceFrameCount without sourceFrames";
    return {};
}

bool SourceFractionOk(double v) { return v == kDefaultSourceRange || InUnit(v); }

}  // namespace

std::string CheckInvariants(const CProject& project) {
    if (auto problem = CheckProperties(project.properties); !problem.empty()) return problem;
    const auto& items = project.sections.items;
    if (items.empty()) return "no section";
    if (items.front().start != 0.0) return "first section does not start at 0";
    if (items.back().end != 1.0) return "last section does not end at 1";
    for (std::size_t i = 0; i < items.size(); ++i) {
        const CSection& s = items[i];
        if (!(s.start < s.end)) return "section " + std::to_string(i) + " is empty or reversed";
        if (i + 1 < items.size() && s.end != items[i + 1].start)
            return "sections " + std::to_string(i) + " and " + std::to_string(i + 1) + " are not contiguous";
        if (!SourceFractionOk(s.sourceStart) || !SourceFractionOk(s.sourceEnd))
            return "section " + std::to_string(i) + " has a bad source range";
    }
    const auto& m = project.matrix;
    if (m.columnCount != static_cast<std::int32_t>(items.size())) return "column count differs from section count";
    for (int g = 0; g < kGraphCount; ++g) {
        const auto& row = m.rows[static_cast<std::size_t>(g)];
        if (row.size() != items.size()) return "row " + std::to_string(g) + " has the wrong number of cells";
        for (const CCell v : row)
            if (!(v >= 0.0f && v <= 1.0f)) return "row " + std::to_string(g) + " has a value outside 0 to 1";
    }
    return {};
}

}  // namespace dw

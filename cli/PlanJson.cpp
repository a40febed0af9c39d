#include "cli/PlanJson.h"

namespace dw::cli {

namespace {

nlohmann::ordered_json NotesToJson(const std::vector<CNote>& notes) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const CNote& n : notes) list.push_back({n.position, n.body, n.blend});
    return list;
}

}  // namespace

nlohmann::ordered_json PlanToJson(const CMusicEngine& engine) {
    nlohmann::ordered_json sections = nlohmann::ordered_json::array();
    for (const CPSection& s : engine.PlannedSections()) {
        sections.push_back({
            {"section", s.section},
            {"outputStart", s.outputStart},
            {"outputEnd", s.outputEnd},
            {"sourceStart", s.sourceStart},
            {"sourceEnd", s.sourceEnd},
            {"motif",
             {{"base", s.motif.base},
              {"range", s.motif.range},
              {"length", s.motif.length},
              {"notes", NotesToJson(s.motif.notes)}}},
        });
    }
    return {
        {"sampleRate", engine.SampleRate()},
        {"outputFrameCount", engine.OutputFrameCount()},
        {"sections", std::move(sections)},
        {"score", {{"notes", NotesToJson(engine.Score().notes)}}},
    };
}

}  // namespace dw::cli

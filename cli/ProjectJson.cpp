#include "cli/ProjectJson.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace dw::cli {

double ShortestFloat(float value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text - 1, value);
    if (error != std::errc()) return static_cast<double>(value);
    *end = '\0';
    return std::strtod(text, nullptr);
}

nlohmann::ordered_json ProjectToJson(const CProject& project, std::uint32_t version) {
    const CProperties& p = project.properties;
    nlohmann::ordered_json properties = {
        {"sourcePath", p.sourcePath},
        {"musicLength", p.musicLength},
        {"trimStart", p.trimStart},
        {"trimEnd", p.trimEnd},
        {"baseMotifLength", p.baseMotifLength},
        {"fractalScanner", p.fractalScanner},
        {"loopMotifs", p.loopMotifs},
        {"quality", p.quality},
        {"sampleRate", p.sampleRate},
        {"volume", p.volume},
        {"loopMusic", p.loopMusic},
        {"fadeIn", p.fadeIn},
        {"fadeOut", p.fadeOut},
        {"encoder", p.encoder},
        {"highCutOn", p.highCutOn},
        {"highCut", p.highCut},
        {"reverbOn", p.reverbOn},
        {"reverb", p.reverb},
        {"chorusOn", p.chorusOn},
        {"chorus", p.chorus},
    };

    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const auto& row : project.matrix.rows) {
        nlohmann::ordered_json cells = nlohmann::ordered_json::array();
        for (CCell cell : row) cells.push_back(ShortestFloat(cell));
        rows.push_back(std::move(cells));
    }

    nlohmann::ordered_json sections = nlohmann::ordered_json::array();
    for (const CSection& s : project.sections.items)
        sections.push_back({s.start, s.end, s.sourceStart, s.sourceEnd});

    return {
        {"version", version},
        {"properties", std::move(properties)},
        {"matrix", {{"columnCount", project.matrix.columnCount}, {"rows", std::move(rows)}}},
        {"sections", std::move(sections)},
    };
}

namespace {

bool IsFlatArray(const nlohmann::ordered_json& value) {
    if (!value.is_array()) return false;
    for (const auto& item : value)
        if (item.is_structured()) return false;
    return true;
}

// JSON escapes the C0 controls itself but lets DEL and the C1 controls
// (U+0080 to U+009F; U+009B starts a terminal command like ESC [) through
// raw. They are written as \u escapes of the same characters, so the JSON
// still means the same. `json` is valid UTF-8 (the dump replaced anything
// else), so 0xC2 here is always the lead byte of a character.
std::string EscapeRemainingControls(const std::string& json) {
    std::string out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        const auto b = static_cast<unsigned char>(json[i]);
        const auto next = i + 1 < json.size() ? static_cast<unsigned char>(json[i + 1]) : 0u;
        char escape[8];
        if (b == 0x7F) {
            out += "\\u007f";
        } else if (b == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", next);
            out += escape;
            ++i;
        } else {
            out += json[i];
        }
    }
    return out;
}

void Dump(const nlohmann::ordered_json& value, int depth, std::string& text) {
    const auto plain = [](const nlohmann::ordered_json& v) {
        return EscapeRemainingControls(v.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
    };
    const std::string indent(static_cast<size_t>(depth + 1) * 2, ' ');
    const std::string closing(static_cast<size_t>(depth) * 2, ' ');
    if (value.is_object() && !value.empty()) {
        text += "{\n";
        bool first = true;
        for (const auto& [key, item] : value.items()) {
            if (!first) text += ",\n";
            first = false;
            text += indent + plain(key) + ": ";
            Dump(item, depth + 1, text);
        }
        text += "\n" + closing + "}";
    } else if (value.is_array() && !value.empty() && !IsFlatArray(value)) {
        text += "[\n";
        bool first = true;
        for (const auto& item : value) {
            if (!first) text += ",\n";
            first = false;
            text += indent;
            Dump(item, depth + 1, text);
        }
        text += "\n" + closing + "]";
    } else if (IsFlatArray(value)) {
        text += "[";
        bool first = true;
        for (const auto& item : value) {
            if (!first) text += ", ";
            first = false;
            text += plain(item);
        }
        text += "]";
    } else {
        text += plain(value);
    }
}

}  // namespace

std::string DumpJson(const nlohmann::ordered_json& value) {
    std::string text;
    Dump(value, 0, text);
    text += '\n';
    return text;
}

}  // namespace dw::cli

#include "core/panel/StoredFields.h"

#include <array>

#include "core/model/Properties.h"

namespace dw {
namespace {

// A field's `differs` from its member pointer.
template <auto Member>
bool Differs(const CProperties& a, const CProperties& b) {
    return a.*Member != b.*Member;
}

constexpr int kPercent = 100;

using M = OutdatedMark;
using C = PanelControl;

using DiffersFn = bool (*)(const CProperties&, const CProperties&);

// Rows without a value label, and fields without a row.
constexpr StoredField Row(std::string_view name, OutdatedMark mark, DiffersFn differs, PanelControl control,
                          std::string_view caption, int controlId, DluRect controlRect, int captionId,
                          DluRect captionRect) {
    return StoredField{name, mark, differs, control, caption, controlId, controlRect, captionId, captionRect,
                       0, DluRect{}, 0};
}
constexpr StoredField Slider(std::string_view name, OutdatedMark mark, DiffersFn differs, std::string_view caption,
                             int controlId, DluRect controlRect, int captionId, DluRect captionRect, int valueId,
                             DluRect valueRect, int sliderMax) {
    return StoredField{name, mark, differs, PanelControl::Slider, caption, controlId, controlRect, captionId,
                       captionRect, valueId, valueRect, sliderMax};
}
constexpr StoredField Hidden(std::string_view name, OutdatedMark mark, DiffersFn differs) {
    return Row(name, mark, differs, PanelControl::None, "", 0, DluRect{}, 0, DluRect{});
}

// Caption texts are the ones the panel shows.
const std::array<StoredField, 20> kFields{{
    Row("sourcePath", M::Creation, &Differs<&CProperties::sourcePath>, C::Source, "", 1053, {8, 31, 154, 12}, 0, {}),
    Row("musicLength", M::Creation, &Differs<&CProperties::musicLength>, C::MusicLength, "Music length", 1044,
        {78, 50, 36, 15}, 0, {8, 53, 45, 8}),
    Row("baseMotifLength", M::Creation, &Differs<&CProperties::baseMotifLength>, C::MotifLength,
        "Base motif length", 1060, {78, 71, 49, 12}, 0, {8, 72, 62, 8}),
    Row("fractalScanner", M::Creation, &Differs<&CProperties::fractalScanner>, C::CheckLeft, "Fractal scanner",
        1069, {78, 91, 8, 9}, 0, {8, 91, 56, 8}),
    Row("loopMotifs", M::Creation, &Differs<&CProperties::loopMotifs>, C::CheckLeft, "Loop motifs", 1068,
        {78, 109, 8, 9}, 0, {8, 109, 55, 8}),
    // The quality's new rate decodes the source again, which marks a creation.
    Row("quality", M::Finishing, &Differs<&CProperties::quality>, C::Combo, "Quality", 1017, {45, 126, 117, 13}, 0,
        {8, 129, 35, 8}),
    Row("encoder", M::None, &Differs<&CProperties::encoder>, C::Combo, "Encoder", 1018, {45, 146, 117, 13}, 0,
        {8, 149, 35, 8}),
    Slider("volume", M::Finishing, &Differs<&CProperties::volume>, "Volume", 1072, {95, 166, 66, 16}, 0,
           {8, 169, 28, 8}, 1071, {76, 169, 18, 8}, kPercent),
    Row("loopMusic", M::Creation, &Differs<&CProperties::loopMusic>, C::CheckLeft, "Loop music", 1070,
        {78, 190, 8, 9}, 0, {8, 190, 55, 8}),
    Slider("fadeIn", M::Finishing, &Differs<&CProperties::fadeIn>, "Fade in", 1073, {95, 207, 66, 16}, 1077,
           {8, 210, 44, 8}, 1074, {76, 210, 18, 8}, static_cast<int>(kMaxFade)),
    Slider("fadeOut", M::Finishing, &Differs<&CProperties::fadeOut>, "Fade out", 1075, {95, 228, 66, 16}, 1078,
           {8, 230, 44, 8}, 1076, {76, 231, 18, 8}, static_cast<int>(kMaxFade)),
    Row("highCutOn", M::None, &Differs<&CProperties::highCutOn>, C::CheckRight, "High-cut filter", 1083,
        {8, 252, 8, 8}, 1080, {22, 251, 48, 8}),
    Slider("highCut", M::None, &Differs<&CProperties::highCut>, "", 1079, {95, 248, 66, 16}, 0, {}, 1081,
           {76, 251, 18, 8}, kPercent),
    Row("reverbOn", M::None, &Differs<&CProperties::reverbOn>, C::CheckRight, "Reverb", 1098, {8, 273, 8, 8}, 1096,
        {22, 272, 29, 8}),
    Slider("reverb", M::None, &Differs<&CProperties::reverb>, "", 1095, {95, 269, 66, 16}, 0, {}, 1097,
           {76, 272, 18, 8}, kPercent),
    Row("chorusOn", M::None, &Differs<&CProperties::chorusOn>, C::CheckRight, "Chorus", 1102, {8, 292, 8, 8}, 1100,
        {22, 291, 26, 8}),
    Slider("chorus", M::None, &Differs<&CProperties::chorus>, "", 1099, {95, 288, 66, 16}, 0, {}, 1101,
           {76, 291, 18, 8}, kPercent),
    // Set by the Trim dialog.
    Hidden("trimStart", M::Creation, &Differs<&CProperties::trimStart>),
    Hidden("trimEnd", M::Creation, &Differs<&CProperties::trimEnd>),
    // Always the quality's rate; the quality carries the mark.
    Hidden("sampleRate", M::None, &Differs<&CProperties::sampleRate>),
}};

}  // namespace

std::uint32_t MarkMusic(std::uint32_t musicOutdated, OutdatedMark mark) {
    switch (mark) {
    case OutdatedMark::Creation: return 1;
    case OutdatedMark::Finishing: return musicOutdated == 1 ? 1 : 2;
    case OutdatedMark::None: break;
    }
    return musicOutdated;
}

std::span<const StoredField> StoredFields() { return kFields; }

const StoredField* StoredFieldOfControl(int controlId) {
    if (controlId == 0) return nullptr;
    for (const StoredField& f : kFields)
        if (f.controlId == controlId) return &f;
    return nullptr;
}

OutdatedMark MarkOfChanges(const CProperties& from, const CProperties& to) {
    OutdatedMark mark = OutdatedMark::None;
    for (const StoredField& f : kFields) {
        if (!f.differs(from, to)) continue;
        if (f.mark == OutdatedMark::Creation) return OutdatedMark::Creation;
        if (f.mark == OutdatedMark::Finishing) mark = OutdatedMark::Finishing;
    }
    return mark;
}

}  // namespace dw

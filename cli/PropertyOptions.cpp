#include "cli/PropertyOptions.h"

#include <CLI/CLI.hpp>

#include <cmath>

#include "cli/OptionChecks.h"

namespace dw::cli {

namespace {

// "--name" sets the switch, "--no-name" clears it; both at once contradict
// each other and are refused.
void AddSwitch(CLI::App& command, const std::string& name, std::optional<bool>& value, const std::string& help,
               const std::string& group) {
    CLI::Option* on = command.add_flag_callback("--" + name, [&value] { value = true; }, help)->group(group);
    command.add_flag_callback("--no-" + name, [&value] { value = false; }, "")->group(group)->excludes(on);
}

}  // namespace

void AddPropertyOptions(CLI::App& command, PropertyOptions& o) {
    const std::string group = "Project settings";
    const auto in = [&](CLI::Option* option) { option->group(group); };
    in(command.add_option("--length", o.length, "Length of the music in seconds")
           ->check(WholeBetween(kMinMusicLength, kMaxMusicLength)));
    in(command
           .add_option("--quality", o.quality,
                       "0: 11025 Hz, 1: 22050 Hz, 2: 44100 Hz, 3: 48000 Hz (default: the project's; without a "
                       "project, the source's rate or the next higher)")
           ->check(WholeBetween(0, kQualityCount - 1)));
    in(command.add_option("--volume", o.volume, "Peak level of the music, 0 to 1")->check(NumberBetween(0, 1, "0", "1")));
    AddSwitch(command, "loop", o.loop, "Make the music loop seamlessly (--no-loop: do not)", group);
    in(command.add_option("--fade-in", o.fadeIn, "Fade in over the first SECONDS, 0 to 10")
           ->check(WholeBetween(0, kMaxFade)));
    in(command.add_option("--fade-out", o.fadeOut, "Fade out over the last SECONDS, 0 to 10")
           ->check(WholeBetween(0, kMaxFade)));
    in(command.add_option("--motif-length", o.motifLength, "Length of the base motif in seconds, 2 to 20")
           ->check(NumberBetween(kMinBaseMotifLength, kMaxBaseMotifLength, "2", "20")));
    in(command.add_option("--trim-start", o.trimStart, "Start of the part of the source used, 0 to 1")
           ->check(NumberBetween(0, 1, "0", "1")));
    in(command.add_option("--trim-end", o.trimEnd, "End of the part of the source used, 0 to 1")
           ->check(NumberBetween(0, 1, "0", "1")));
    AddSwitch(command, "fractal-scanner", o.fractalScanner, "Scan the source fractally (--no-fractal-scanner: do not)",
              group);
    AddSwitch(command, "loop-motifs", o.loopMotifs, "Loop the motifs (--no-loop-motifs: do not)", group);
    in(command.add_option("--high-cut", o.highCut, "Switch the high cut on at AMOUNT, 0 to 1")
           ->check(NumberBetween(0, 1, "0", "1")));
    in(command.add_option("--reverb", o.reverb, "Switch the reverb on at AMOUNT, 0 to 1")->check(NumberBetween(0, 1, "0", "1")));
    in(command.add_option("--chorus", o.chorus, "Switch the chorus on at AMOUNT, 0 to 1")->check(NumberBetween(0, 1, "0", "1")));
    for (const char* name : {"high-cut", "reverb", "chorus"}) {
        std::optional<bool>& on = name[0] == 'h' ? o.highCutOn : name[0] == 'r' ? o.reverbOn : o.chorusOn;
        // An amount switches the effect on: with its --no- they contradict.
        command.add_flag_callback(std::string("--no-") + name, [&on] { on = false; },
                                  std::string("Switch the ") + (name[0] == 'h' ? "high cut" : name) + " off")
            ->group(group)
            ->excludes(command.get_option(std::string("--") + name));
    }
}

std::string ApplyPropertyOptions(const PropertyOptions& o, CProperties& p) {
    if (o.quality) {
        p.quality = *o.quality;
        p.sampleRate = SampleRateOfQuality(*o.quality);
    }
    if (o.length) p.musicLength = *o.length;
    if (o.volume) p.volume = *o.volume;
    if (o.loop) p.loopMusic = *o.loop;
    if (o.fadeIn) p.fadeIn = *o.fadeIn;
    if (o.fadeOut) p.fadeOut = *o.fadeOut;
    if (o.motifLength) p.baseMotifLength = *o.motifLength;
    if (o.trimStart) p.trimStart = *o.trimStart;
    if (o.trimEnd) p.trimEnd = *o.trimEnd;
    if (o.fractalScanner) p.fractalScanner = *o.fractalScanner;
    if (o.loopMotifs) p.loopMotifs = *o.loopMotifs;
    // An amount switches its effect on; --no-... wins over it.
    const auto effect = [](const std::optional<double>& amount, const std::optional<bool>& on, bool& isOn,
                           double& value) {
        if (amount) {
            value = *amount;
            isOn = true;
        }
        if (on) isOn = *on;
    };
    effect(o.highCut, o.highCutOn, p.highCutOn, p.highCut);
    effect(o.reverb, o.reverbOn, p.reverbOn, p.reverb);
    effect(o.chorus, o.chorusOn, p.chorusOn, p.chorus);

    if (!(p.trimStart < p.trimEnd))
        return "--trim-start must be below --trim-end (the part used is " + std::to_string(p.trimStart) + " to " +
               std::to_string(p.trimEnd) + ")";
    const auto shortest = static_cast<std::uint32_t>(std::ceil(p.baseMotifLength));
    if (p.musicLength < shortest)
        return "--length: Value " + std::to_string(p.musicLength) + " not in range " + std::to_string(shortest) +
               " to " + std::to_string(kMaxMusicLength) + " (the music cannot be shorter than the base motif)";
    return {};
}

}  // namespace dw::cli

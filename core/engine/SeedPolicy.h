#pragma once
// Which seed the program's next creation uses, and which seed the window
// shows. The seed is not a project property (project files do not hold it).
//
//  - The shown seed is the seed of the music last created, or one the user
//    typed; none before the first creation.
//  - "Keep seed" makes every creation use the shown seed. Typing a seed keeps
//    it.
//  - "New variation" makes the next creation use a seed other than the
//    music's; with the seed kept, the new one replaces it and stays kept.
//  - Otherwise each creation takes a new seed from the clock (CreationSeed).
//
// The control panel shows this state and forwards the user's edits here; the
// main window asks NextSeed before a creation and tells Used after it. Free
// of any user interface.

#include <cstdint>
#include <functional>
#include <optional>

namespace dw {

class SeedPolicy {
public:
    std::optional<std::uint32_t> Shown() const { return shown_; }
    bool Kept() const { return kept_; }

    // "Keep seed" switched by the user.
    void SetKept(bool keep) { kept_ = keep; }

    // A seed typed by the user: shown and kept from now on. True when it
    // differs from the seed shown before, so the music made with that one is
    // out of date.
    bool Type(std::uint32_t seed);

    // "New variation": a seed drawn with `draw` until it differs from
    // `musicSeed`, the seed of the music as it is. The next creation uses it;
    // with the seed kept it is also shown and kept.
    using Draw = std::function<std::uint32_t()>;
    void NewVariation(std::uint32_t musicSeed, const Draw& draw);
    // The variation asked for was not created: the creation after it takes
    // its seed as if none had been asked for.
    void DropVariation() { variation_.reset(); }

    // The seed of the next creation: a pending variation, else the kept
    // seed, else a new one from the clock.
    std::uint32_t NextSeed() const;

    // A creation used `seed`: it is shown, and a pending variation is spent.
    void Used(std::uint32_t seed);

private:
    std::optional<std::uint32_t> shown_;
    bool kept_ = false;
    std::optional<std::uint32_t> variation_;
};

}  // namespace dw

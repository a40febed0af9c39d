#pragma once
// A stand-in for a playback stream in the widget tests of the timeline and the
// trim dialog.

#include <cstdint>
#include <vector>

#include "core/transport/StreamTransport.h"

namespace dw::test {

// A playback stream whose position the test sets by hand.
class FakeTransport final : public IStreamTransport {
public:
    bool active = false;
    std::uint64_t frame = 0;
    std::vector<std::uint32_t> seeks;
    int plays = 0;
    int stops = 0;
    bool* destroyed = nullptr;

    ~FakeTransport() override {
        if (destroyed) *destroyed = true;
    }
    bool Active() const override { return active; }
    std::uint64_t Frame() const override { return frame; }
    void Seek(std::uint32_t f) override {
        frame = f;
        seeks.push_back(f);
    }
    bool Play() override {
        ++plays;
        active = true;
        return true;
    }
    void Stop() override {
        ++stops;
        active = false;
    }
};

}  // namespace dw::test

#pragma once
// The little that the timeline and the trim dialog ask of a playback stream:
// where it stands, whether it plays, seek, play and stop. The windows talk to
// this interface so that their tests can stand in a stream whose position
// they set by hand; the application hands them the adapter over its real
// playback stream.
//
// User-interface thread only; the stream's own callback runs elsewhere and
// the implementation reads its shared position and flag atomically.

#include <cstdint>

namespace dw {

class IStreamTransport {
public:
    virtual ~IStreamTransport() = default;
    // True while playing or paused; cleared when stopped or the data played to its end.
    virtual bool Active() const = 0;
    // Frame of the data that plays next.
    virtual std::uint64_t Frame() const = 0;
    // Moves the position to `frame` (clamped to the data by the stream).
    virtual void Seek(std::uint32_t frame) = 0;
    // Plays from the position without restarting; false when it cannot play.
    virtual bool Play() = 0;
    // Stops playback; the position stays.
    virtual void Stop() = 0;
};

}  // namespace dw

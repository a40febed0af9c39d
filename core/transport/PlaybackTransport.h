#pragma once
// The windows' view of the audio layer's playback streams.
//
// PlaybackTransport adapts the main window's PlaybackStream (not owned) for
// the timeline: it reads the stream's position and active flag and seeks it,
// all atomically, while the device thread plays it.
//
// OwnedPlaybackTransport is the trim dialog's own player: it creates a stream
// on the properties' decoded source when it is made, and stops and frees it
// when it is destroyed. If the stream cannot be created, its message is shown
// and the player stays silent.
//
// User-interface thread only.

#include <memory>

#include "core/transport/StreamTransport.h"

namespace dw {

struct PlaybackStream;
class CProperties;
class IMessageSink;

class PlaybackTransport : public IStreamTransport {
public:
    explicit PlaybackTransport(PlaybackStream* stream) : stream_(stream) {}

    bool Active() const override;
    std::uint64_t Frame() const override;
    void Seek(std::uint32_t frame) override;
    bool Play() override;
    void Stop() override;

protected:
    PlaybackStream* stream_;
};

class OwnedPlaybackTransport final : public PlaybackTransport {
public:
    OwnedPlaybackTransport(CProperties& properties, IMessageSink& messages);
    ~OwnedPlaybackTransport() override;

private:
    std::unique_ptr<PlaybackStream> owned_;
};

}  // namespace dw

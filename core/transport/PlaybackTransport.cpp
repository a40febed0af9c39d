#include "core/transport/PlaybackTransport.h"

#include <algorithm>

#include "core/audio/Playback.h"
#include "core/model/Progress.h"
#include "core/model/Properties.h"

namespace dw {

bool PlaybackTransport::Active() const { return stream_ && stream_->active.load(std::memory_order_acquire); }

std::uint64_t PlaybackTransport::Frame() const {
    return stream_ ? stream_->position.load(std::memory_order_acquire) >> 3 : 0;
}

void PlaybackTransport::Seek(std::uint32_t frame) {
    if (!stream_) return;
    // Byte positions are 32-bit: keep the frame inside the data so that the
    // product cannot wrap around to the start.
    const auto frames = static_cast<std::uint32_t>(std::max(stream_->frames.load(), 0));
    PlaybackSeek(*stream_, std::min(frame, frames) * 8u);
}

bool PlaybackTransport::Play() {
    if (!stream_) return false;
    PlaybackPlay(*stream_);
    return Active();
}

void PlaybackTransport::Stop() {
    if (stream_) PlaybackStop(*stream_);
}

OwnedPlaybackTransport::OwnedPlaybackTransport(CProperties& properties, IMessageSink& messages)
    : PlaybackTransport(nullptr), owned_(std::make_unique<PlaybackStream>()) {
    if (CreatePlaybackStream(properties, *owned_, messages) != 0) return;  // silent, as promised
    const std::uint32_t count = properties.sourceFrames ? properties.sourceFrameCount : 0;
    // A source beyond 2^31 frames cannot be handed to a stream; play none of it
    // rather than a wrapped-around part.
    const auto frames = static_cast<std::int32_t>(std::min<std::uint32_t>(count, 0x7FFFFFFFu / 8u));
    SetPlaybackSource(*owned_, frames, properties.sourceFrames.get(), messages);
    stream_ = owned_.get();
}

OwnedPlaybackTransport::~OwnedPlaybackTransport() {
    if (owned_) FreePlaybackStream(*owned_);
}

}  // namespace dw

#pragma once
// The trim dialog's own player: a playback stream of its own on the decoded
// source, created when the dialog opens and freed when it closes. The default
// factory plays through the audio layer; tests put in a stream whose position
// they set by hand.

#include <functional>
#include <memory>

#include "core/transport/StreamTransport.h"

namespace dw {

class CProperties;

// Makes the player for a dialog that opens on `properties` (their decoded
// source, rate and effects). May return nullptr: the dialog then opens
// silent. An empty function restores the default.
using TrimPlayerFactory = std::function<std::unique_ptr<IStreamTransport>(CProperties& properties)>;
void SetTrimPlayerFactory(TrimPlayerFactory factory);
std::unique_ptr<IStreamTransport> MakeTrimPlayer(CProperties& properties);

}  // namespace dw

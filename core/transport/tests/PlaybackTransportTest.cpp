#include "core/transport/PlaybackTransport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/audio/Playback.h"
#include "core/model/Project.h"

namespace dw {
namespace {

using namespace std::chrono_literals;

// The trim dialog's own player on the null device: created on the decoded
// source, seeks inside it, plays and stops.
TEST(PlaybackTransport, OwnedPlayerPlaysTheSourceOnTheNullDevice) {
    RecordingProgress messages;
    AudioStartOptions options;
    options.kind = OutputKind::Null;
    ASSERT_EQ(InitAudio(messages, options), 0);
    {
        CProperties properties;
        constexpr std::uint32_t kFrames = 11025;  // one second
        properties.sourceFrames = MakeSilentFrames(kFrames);
        properties.sourceFrameCount = kFrames;
        OwnedPlaybackTransport player(properties, messages);
        EXPECT_TRUE(messages.messages.empty());
        EXPECT_FALSE(player.Active());
        player.Seek(kFrames + 5000);  // past the end: held at the end
        EXPECT_EQ(player.Frame(), kFrames);
        player.Seek(100);
        EXPECT_TRUE(player.Play());
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (player.Frame() <= 100 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
        EXPECT_GT(player.Frame(), 100u);
        player.Stop();
        EXPECT_FALSE(player.Active());
    }
    ShutdownAudio(nullptr);
}

TEST(PlaybackTransport, WithoutAStreamNothingPlays) {
    PlaybackTransport none(nullptr);
    EXPECT_FALSE(none.Play());
    none.Seek(10);
    none.Stop();
    EXPECT_FALSE(none.Active());
    EXPECT_EQ(none.Frame(), 0u);
}

}  // namespace
}  // namespace dw

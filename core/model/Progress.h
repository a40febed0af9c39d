#pragma once
// The small interface through which long work (decoding a source, creating the
// music, writing a sound file) reports progress, learns of a cancel and shows
// its messages. The progress dialogs of the windows, the command line and the
// tests implement it; the core never shows anything itself.
//
// Called on the thread that runs the work (the user-interface thread in the
// application). Implementations may pump events inside SetProgress.

#include <string>
#include <string_view>
#include <vector>

namespace dw {

// The icon of a message box; the command line prints them all the same way.
enum class MessageIcon { None, Information, Exclamation, Stop, Error };

// Where the core's user messages go: a modal message box in the windows,
// standard error on the command line. `stringId` is the message's id in the
// string table (0 when it has none); `text` is the full text to show.
class IMessageSink {
public:
    virtual ~IMessageSink() = default;
    virtual void ShowMessage(int stringId, std::string_view text, MessageIcon icon) = 0;
};

class IProgress : public IMessageSink {
public:
    // Position of the bar, 0 to 100.
    virtual void SetProgress(int percent) = 0;
    // False once the user asked to cancel; the work stops at its next check.
    virtual bool IsRunning() const = 0;
};

// Reports nowhere and never cancels.
class NullProgress final : public IProgress {
public:
    void ShowMessage(int, std::string_view, MessageIcon) override {}
    void SetProgress(int) override {}
    bool IsRunning() const override { return true; }
};

// Keeps everything it is told; for tests. `cancelAtReport` (>= 0) makes
// IsRunning answer false from that report on (counting SetProgress calls from 0).
class RecordingProgress final : public IProgress {
public:
    struct Message {
        int stringId;
        std::string text;
        MessageIcon icon;
    };
    std::vector<int> positions;
    std::vector<Message> messages;
    int cancelAtReport = -1;
    bool cancelled = false;

    void ShowMessage(int stringId, std::string_view text, MessageIcon icon) override {
        messages.push_back({stringId, std::string(text), icon});
    }
    void SetProgress(int percent) override {
        positions.push_back(percent);
        if (cancelAtReport >= 0 && static_cast<int>(positions.size()) > cancelAtReport) cancelled = true;
    }
    bool IsRunning() const override { return !cancelled; }
};

}  // namespace dw

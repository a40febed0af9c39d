#pragma once
// Undo and redo for every edit of the project, on Qt's undo stack.
//
// Each step is a pair of snapshots: the stored part of the project before and
// after one edit (matrix, sections and the twenty stored properties). The
// panels do not build commands; they only say when an edit has ended
// (WM_APP_PROJECT_EDITED: a committed field, a released slider or drag, a
// menu command, a confirmed dialog, a new source), and the main window calls
// Record(), which compares the project with the snapshot it holds and pushes
// one step when they differ. A drag therefore becomes one step however many
// values it passed through, an edit that changed nothing becomes none, and a
// change nobody announced is still caught by the next Record (Undo and Redo
// record first), so no edit can slip past the history.
//
// A step back or forward puts the stored values back, marks the created
// music outdated as the edit itself did, decodes the source again where the
// source or the quality changed, and lets the main window show the result.
// The title's "*" follows from the byte comparison with the saved file as
// for any edit. User-interface thread only.

#include "core/model/Project.h"

#include <QObject>
#include <QUndoStack>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QWidget;

namespace dw {

// The stored part of a project at one moment.
struct ProjectState {
    std::vector<std::uint8_t> bytes;  // what a save would write: the cheap comparison
    CMatrix matrix;
    CSections sections;
    std::shared_ptr<const CProperties> properties;  // the stored fields only
};
ProjectState CaptureState(const CProject& project);

// How the created music counts after going from `from` to `to`, as the edit
// between them marked it: 1 when what the engine creates from changed
// (sections, matrix, source, trim range, lengths, scanner, loops), 2 for what
// only the final pass uses (volume, fades, and the quality, whose decode
// marks 1 itself), 0 for the effects and the encoder, which apply as played.
std::uint32_t OutdatedMarkOf(const ProjectState& from, const ProjectState& to);

// What changed in a step back or forward, for the windows to follow.
struct RestoredChanges {
    bool source = false;   // another source file
    bool quality = false;  // another sample rate: the source is decoded again
    bool encoder = false;
    std::array<bool, 3> effectSwitched{};  // high-cut, reverb, chorus
    std::array<bool, 3> effectAmount{};
};
RestoredChanges ChangesBetween(const ProjectState& from, const ProjectState& to);

// What a step back or forward asks of the main window.
class IHistoryHost {
public:
    virtual ~IHistoryHost() = default;
    // The stored values are back and the source is not decoded: decode it
    // again (a progress dialog) when it or the quality changed. A decode
    // chooses a fresh trim range, which the history puts back afterwards.
    virtual void DecodeRestoredSource(const RestoredChanges& changes) = 0;
    // Shows the restored project: panels, matrix, effects, encoder, title.
    virtual void ShowRestored(const RestoredChanges& changes) = 0;
};

class ProjectHistory final : public QObject {
    Q_OBJECT
public:
    ProjectHistory(CProject& project, IHistoryHost& host, QObject* parent = nullptr);
    ~ProjectHistory() override;

    QUndoStack& stack() { return stack_; }

    // Forgets every step; the project as it is now is where history starts
    // (start-up, New, Open).
    void Reset();
    // Pushes one step when the project differs from the last snapshot; true
    // when it did. Ignored while a step is being put back (the decode it runs
    // reports an edit of its own).
    bool Record();
    void Undo();
    void Redo();

    // Ctrl+Z undoes; Ctrl+Shift+Z and Ctrl+Y redo, on `window`.
    void InstallShortcuts(QWidget* window);

private:
    class Step;
    void Restore(const ProjectState& target, const ProjectState& from);
    void PutBack(const ProjectState& target);

    CProject& project_;
    IHistoryHost& host_;
    QUndoStack stack_;
    ProjectState current_;
    bool restoring_ = false;
};

}  // namespace dw

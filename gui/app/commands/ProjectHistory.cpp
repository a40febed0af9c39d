#include "gui/app/commands/ProjectHistory.h"

#include "core/model/ProjectFile.h"
#include "core/panel/StoredFields.h"

#include <QKeySequence>
#include <QShortcut>
#include <QUndoCommand>
#include <QWidget>

namespace dw {

ProjectState CaptureState(const CProject& project) {
    ProjectState s;
    s.bytes = StoreProjectToBytes(project);
    s.matrix = project.matrix;
    s.sections = project.sections;
    auto properties = std::make_shared<CProperties>();
    properties->AssignStoredFields(project.properties);
    s.properties = std::move(properties);
    return s;
}

std::uint32_t OutdatedMarkOf(const ProjectState& from, const ProjectState& to) {
    // The engine creates from the matrix and the sections; the properties'
    // marks are those of the stored-field table, as the panel sets them.
    if (from.matrix.columnCount != to.matrix.columnCount || from.matrix.rows != to.matrix.rows ||
        from.sections.items != to.sections.items)
        return 1;
    return static_cast<std::uint32_t>(MarkOfChanges(*from.properties, *to.properties));
}

RestoredChanges ChangesBetween(const ProjectState& from, const ProjectState& to) {
    const CProperties& a = *from.properties;
    const CProperties& b = *to.properties;
    RestoredChanges c;
    c.source = a.sourcePath != b.sourcePath;
    c.quality = a.quality != b.quality;
    c.encoder = a.encoder != b.encoder;
    c.effectSwitched = {a.highCutOn != b.highCutOn, a.reverbOn != b.reverbOn, a.chorusOn != b.chorusOn};
    c.effectAmount = {a.highCut != b.highCut, a.reverb != b.reverb, a.chorus != b.chorus};
    return c;
}

// One edit: the snapshots on either side of it.
class ProjectHistory::Step final : public QUndoCommand {
public:
    Step(ProjectHistory& history, ProjectState before, ProjectState after)
        : history_(history), before_(std::move(before)), after_(std::move(after)) {}
    void undo() override { history_.Restore(before_, after_); }
    void redo() override {
        // QUndoStack::push runs redo at once; the edit is already made.
        if (pushed_) {
            pushed_ = false;
            return;
        }
        history_.Restore(after_, before_);
    }

private:
    ProjectHistory& history_;
    ProjectState before_;
    ProjectState after_;
    bool pushed_ = true;
};

ProjectHistory::ProjectHistory(CProject& project, IHistoryHost& host, QObject* parent)
    : QObject(parent), project_(project), host_(host), stack_(this), current_(CaptureState(project)) {}

ProjectHistory::~ProjectHistory() = default;

void ProjectHistory::Reset() {
    stack_.clear();
    current_ = CaptureState(project_);
}

bool ProjectHistory::Record() {
    if (restoring_) return false;
    ProjectState now = CaptureState(project_);
    if (now.bytes == current_.bytes) return false;
    ProjectState before = std::move(current_);
    current_ = now;
    stack_.push(new Step(*this, std::move(before), std::move(now)));
    return true;
}

void ProjectHistory::Undo() {
    if (restoring_) return;
    Record();  // an edit nobody announced is the step to take back first
    stack_.undo();
}

void ProjectHistory::Redo() {
    if (restoring_) return;
    Record();  // a fresh edit ends what could be redone, as any push does
    stack_.redo();
}

void ProjectHistory::InstallShortcuts(QWidget* window) {
    struct Key {
        QKeySequence keys;
        bool undo;
    };
    const Key keys[] = {
        {QKeySequence(QStringLiteral("Ctrl+Z")), true},
        {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), false},
        {QKeySequence(QStringLiteral("Ctrl+Y")), false},
    };
    for (const Key& k : keys) {
        auto* shortcut = new QShortcut(k.keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        const bool undo = k.undo;
        connect(shortcut, &QShortcut::activated, this, [this, undo] { undo ? Undo() : Redo(); });
    }
}

void ProjectHistory::PutBack(const ProjectState& target) {
    CProperties& p = project_.properties;
    const bool loaded = p.sourceLoaded;
    project_.matrix = target.matrix;
    project_.sections = target.sections;
    p.AssignStoredFields(*target.properties);
    p.sourceLoaded = loaded;
}

void ProjectHistory::Restore(const ProjectState& target, const ProjectState& from) {
    restoring_ = true;
    const RestoredChanges changes = ChangesBetween(from, target);
    CProperties& p = project_.properties;
    // Samples decoded from another file or at another rate do not belong to
    // the restored project.
    if (changes.source || changes.quality) p.sourceLoaded = false;
    PutBack(target);
    project_.musicOutdated = MarkMusic(project_.musicOutdated, static_cast<OutdatedMark>(OutdatedMarkOf(from, target)));
    if (changes.source || changes.quality) {
        host_.DecodeRestoredSource(changes);
        PutBack(target);  // the decode chose a fresh trim range; the step brings back its own
    }
    host_.ShowRestored(changes);
    current_ = CaptureState(project_);
    restoring_ = false;
}

}  // namespace dw

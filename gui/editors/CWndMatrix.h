#pragma once
// The matrix and graph editor: the project's graphs as horizontal rows, its
// sections as vertical columns, each cell's value as a bar filling the cell
// from the bottom. A left drag sets a value or moves the boundary between two
// sections; a right click opens the popup menu that splits and merges
// sections, gives a section its own source range, and flattens or randomises
// graphs.
//
// User-interface thread only. The project belongs to the main window and
// outlives this window; every change sets the project's musicOutdated. The
// editor reports to the main window only through application messages:
// WM_APP_REDRAW_MATRIX after every use of the popup menu, WM_APP_STOP before
// the source-range dialog opens, and WM_APP_PROJECT_EDITED when a drag or a
// menu command has ended (one step to undo).

#include <QFont>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

#include "core/geometry/MatrixGeometry.h"
#include "core/model/Random.h"

class QMenu;

namespace dw {

class CProject;

class CWndMatrix final : public QWidget {
public:
    static constexpr int kControlId = 20004;

    // Cursor modes: arrow, west-east sizing arrow (near or dragging a
    // boundary), north-south sizing arrow (dragging a value).
    enum CursorMode { kArrow = 0, kSizeWE = 1, kSizeNS = 2 };

    CWndMatrix(QWidget* parent, CProject* project, QObject* mainWindow);

    // Draws the client area into `p` at `size`; paintEvent and tests use it.
    void Render(QPainter& p, QSize size) const;

    // A thin 1-pixel border around the client area, as the main window gives
    // the editor and the row headers so that their rows line up. Mouse
    // positions and the geometry are those of the client area inside it.
    void SetThinBorder(bool on);
    int ClientWidth() const { return qMax(0, width() - 2 * border_); }
    int ClientHeight() const { return qMax(0, height() - 2 * border_); }

    int HoveredRow() const { return hover_.row; }
    int HoveredSection() const { return hover_.section; }
    int Cursor() const { return cursorMode_; }
    bool Dragging() const { return dragging_; }

    // Shows the popup menu at a global position and returns the chosen
    // command id, 0 when it was dismissed. Replaceable for tests.
    using MenuRunner = std::function<int(QMenu& menu, const QPoint& globalPos)>;
    void SetMenuRunner(MenuRunner runner) { menuRunner_ = std::move(runner); }

    // Runs the source-range dialog for a section: the default range and the
    // initial range in, the confirmed range out (nothing when cancelled).
    // Replaceable for tests; by default the trim dialog in its section mode.
    using SourceRangeDialog = std::function<std::optional<FractionRange>(
        const FractionRange& defaultRange, const FractionRange& initialRange)>;
    void SetSourceRangeDialog(SourceRangeDialog dialog) { sourceRangeDialog_ = std::move(dialog); }

    // The generator Random Graph and Random Matrix draw from: the editor's
    // own, seeded from the clock when the editor is made, so that filling the
    // matrix never moves the music's sequence. Replaceable for tests.
    void SetRandom(Random random) { random_ = random; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    std::vector<SectionBounds> Sections() const;
    int RowCount() const;
    void SetCursorMode(int mode);
    void HitTestAt(QPoint pos);
    void SetValueFromY(int y);
    void MoveBoundaryTo(int x);
    void RunPopupMenu(QPoint pos, QPoint globalPos);
    void RunCommand(int command, int row, int section);
    void SetSectionSource(int section);
    void ShowError(const char* what);

    CProject* project_;
    QObject* mainWindow_;
    int border_ = 0;
    Hover hover_;
    int cursorMode_ = kArrow;
    bool dragging_ = false;
    bool boundaryDrag_ = false;
    BoundaryGrab grab_;
    MenuRunner menuRunner_;
    SourceRangeDialog sourceRangeDialog_;
    Random random_{TimeSeed()};
};

}  // namespace dw

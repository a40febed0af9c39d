#include "gui/editors/CWndMatrix.h"

#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>

#include <exception>

#include "gui/audio/CDlgTrim.h"
#include "core/model/Project.h"
#include "gui/kit/AppMessages.h"
#include "gui/kit/ShapePainting.h"

namespace dw {

CWndMatrix::CWndMatrix(QWidget* parent, CProject* project, QObject* mainWindow)
    : QWidget(parent), project_(project), mainWindow_(mainWindow) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // every paint covers the whole window
    setMouseTracking(true);                 // hover follows the mouse without a button held
    menuRunner_ = [](QMenu& menu, const QPoint& globalPos) {
        const QAction* chosen = menu.exec(globalPos);
        return chosen ? chosen->data().toInt() : 0;
    };
    sourceRangeDialog_ = [this](const FractionRange& defaultRange, const FractionRange& initialRange) {
        return CDlgTrim::RunSectionSource(this, &project_->properties, defaultRange, initialRange);
    };
}

std::vector<SectionBounds> CWndMatrix::Sections() const {
    std::vector<SectionBounds> bounds;
    if (!project_) return bounds;
    bounds.reserve(project_->sections.items.size());
    for (const CSection& s : project_->sections.items) bounds.push_back({s.start, s.end});
    return bounds;
}

int CWndMatrix::RowCount() const { return project_ ? project_->graphs.visibleCount : 0; }

void CWndMatrix::Render(QPainter& p, QSize size) const {
    const int w = size.width();
    const int h = size.height();
    const int n = RowCount();
    FillRect(p, 0, 0, w, h, Rgb(135, 140, 145));  // only shows when there is nothing to draw
    if (n < 1) return;
    const auto sections = Sections();
    const CMatrix& matrix = project_->matrix;

    for (int i = 0; i < n; ++i) {
        const RowSpan row = RowBounds(h, n, i);
        FillRect(p, 0, row.top + 1, w, row.bottom, HslColor(RowHue(i, n), kBandSaturation, kBandLightness));
    }
    for (int i = 0; i < n; ++i) {
        const RowSpan row = RowBounds(h, n, i);
        const QColor bar = HslColor(RowHue(i, n), kBarSaturation, kBarLightness);
        const auto& values = matrix.rows[static_cast<std::size_t>(project_->graphs.graphOfRow[i])];
        for (std::size_t k = 0; k < sections.size() && k < values.size(); ++k) {
            const Rect cell{SectionLeft(sections[k], w), row.top, SectionRight(sections[k], w), row.bottom};
            const Rect r = ValueBar(cell, values[k]);
            FillRect(p, r.left, r.top, r.right, r.bottom, bar);
        }
    }
    for (int i = 1; i < n; ++i) {
        const RowSpan row = RowBounds(h, n, i);
        FrameRect(p, -1, row.top - 1, w + 1, row.top + 2, Rgb(90, 100, 110), Rgb(135, 140, 145));
    }
    for (std::size_t k = 0; k + 1 < sections.size(); ++k)
        VLine(p, BoundaryLineX(sections[k], w), -1, h + 1, Rgb(103, 131, 157));
}

void CWndMatrix::paintEvent(QPaintEvent*) {
    PaintBuffered(this, [this](QPainter& p, QSize size) {
        PaintWithBorder(p, size, border_, [this](QPainter& q, QSize client) { Render(q, client); });
    });
}

void CWndMatrix::SetThinBorder(bool on) {
    border_ = on ? 1 : 0;
    update();
}

void CWndMatrix::SetCursorMode(int mode) {
    cursorMode_ = mode;
    static const QCursor cursors[] = {QCursor(Qt::ArrowCursor), QCursor(Qt::SizeHorCursor), QCursor(Qt::SizeVerCursor)};
    setCursor(cursors[mode]);
}

void CWndMatrix::HitTestAt(QPoint pos) {
    const auto sections = Sections();
    if (HitTest(hover_, pos.x(), pos.y(), ClientWidth(), ClientHeight(), RowCount(), sections)) update();
    SetCursorMode(NearBoundary(hover_.section, pos.x(), ClientWidth(), sections) ? kSizeWE : kArrow);
}

void CWndMatrix::SetValueFromY(int y) {
    const RowSpan row = RowBounds(ClientHeight(), RowCount(), hover_.row);
    const int graph = project_->graphs.graphOfRow[hover_.row];
    try {
        project_->matrix.SetCell(graph, hover_.section, ValueFromY(y, row.top, row.bottom));
        project_->musicOutdated = 1;
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void CWndMatrix::MoveBoundaryTo(int x) {
    auto& items = project_->sections.items;
    const int count = static_cast<int>(items.size());
    if (grab_.rightSection >= count) return;  // the list changed under the drag
    const double f = BoundaryFromX(x, grab_, ClientWidth(), Sections());
    items[grab_.leftSection].end = f;
    items[grab_.rightSection].start = f;
    project_->musicOutdated = 1;
}

void CWndMatrix::mouseMoveEvent(QMouseEvent* event) {
    if (!project_) return;
    const QPoint pos = event->position().toPoint() - QPoint(border_, border_);
    if (!dragging_) {
        HitTestAt(pos);
        return;
    }
    // The hovered row and section stay those of the press for the whole drag.
    if (boundaryDrag_) {
        SetCursorMode(kSizeWE);
        MoveBoundaryTo(pos.x());
    } else {
        SetCursorMode(kSizeNS);
        SetValueFromY(pos.y());
    }
    update();
}

void CWndMatrix::mousePressEvent(QMouseEvent* event) {
    if (!project_) return;
    const QPoint pos = event->position().toPoint() - QPoint(border_, border_);
    if (event->button() == Qt::RightButton) {
        // Not in the middle of a drag: a split or merge would pull the
        // dragged sections from under it.
        if (!dragging_) RunPopupMenu(pos, event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (hover_.row < 0 || hover_.section < 0) return;
    if (hover_.row >= RowCount() || hover_.section >= project_->sections.Count()) return;
    dragging_ = true;  // Qt keeps the mouse grabbed for the widget while the button is held
    const auto sections = Sections();
    if (NearBoundary(hover_.section, pos.x(), ClientWidth(), sections)) {
        boundaryDrag_ = true;
        grab_ = PickBoundary(hover_.section, pos.x(), ClientWidth(), sections);
        SetCursorMode(kSizeWE);
    } else {
        boundaryDrag_ = false;
        SetValueFromY(pos.y());
        SetCursorMode(kSizeNS);
    }
    update();
}

void CWndMatrix::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const bool dragged = dragging_;
    dragging_ = false;
    boundaryDrag_ = false;
    SetCursorMode(kArrow);
    update();
    // The whole drag, from press to release, is one edit.
    if (dragged) SendAppMessage(mainWindow_, WM_APP_PROJECT_EDITED);
}

void CWndMatrix::leaveEvent(QEvent*) {
    // A drag keeps its row and section: they are what it edits.
    if (dragging_) return;
    hover_ = Hover{};
    update();
}

void CWndMatrix::RunPopupMenu(QPoint pos, QPoint globalPos) {
    (void)pos;
    if (hover_.row < 0 || hover_.section < 0) return;
    if (hover_.row >= RowCount() || hover_.section >= project_->sections.Count()) return;
    const int row = hover_.row;
    const int section = hover_.section;
    const SectionBounds bounds = Sections()[static_cast<std::size_t>(section)];

    QMenu menu(this);
    for (const int id : kMatrixMenu) {
        if (id == 0) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromLatin1(MatrixCommandText(id)));
        action->setData(id);
        if (id == ID_SPLIT_SECTION) action->setEnabled(SplitAllowed(bounds, ClientWidth()));
        if (id == ID_SET_SECTION_SOURCE) action->setEnabled(project_->properties.sourceLoaded);
    }

    SetCursorMode(kArrow);
    const int command = menuRunner_ ? menuRunner_(menu, globalPos) : 0;
    RunCommand(command, row, section);
    update();
    SendAppMessage(mainWindow_, WM_APP_REDRAW_MATRIX);
    SendAppMessage(mainWindow_, WM_APP_PROJECT_EDITED);
}

void CWndMatrix::RunCommand(int command, int row, int section) {
    const int graph = project_->graphs.graphOfRow[row];
    try {
        switch (command) {
        case ID_SPLIT_SECTION:
            project_->sections.Split(section);
            project_->matrix.SplitColumn(section);
            break;
        case ID_MERGE_SECTION:
            // Nothing happens on the last section, but the music still counts as outdated.
            project_->sections.Merge(section);
            project_->matrix.MergeColumn(section);
            break;
        case ID_FLAT_GRAPH: project_->matrix.FlatGraph(graph, section); break;
        case ID_FLAT_MATRIX: project_->matrix.FlatMatrix(graph, section); break;
        case ID_RANDOM_GRAPH: project_->matrix.RandomGraph(graph, random_); break;
        case ID_RANDOM_MATRIX: project_->matrix.RandomMatrix(random_); break;
        case ID_SET_SECTION_SOURCE: SetSectionSource(section); return;
        default: return;
        }
        project_->musicOutdated = 1;
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void CWndMatrix::SetSectionSource(int section) {
    SendAppMessage(mainWindow_, WM_APP_STOP);
    const CSection& s = project_->sections.At(section);
    const FractionRange defaultRange =
        SectionDefaultRange({s.start, s.end}, project_->properties.trimStart, project_->properties.trimEnd);
    const FractionRange initial = InitialSectionRange(s.sourceStart, s.sourceEnd, defaultRange);
    if (!sourceRangeDialog_) return;
    const std::optional<FractionRange> confirmed = sourceRangeDialog_(defaultRange, initial);
    if (!confirmed) return;
    // The dialog ran modally: the section list may not have changed, but check.
    if (section >= project_->sections.Count()) return;
    const FractionRange stored = StoredSectionRange(*confirmed, defaultRange);
    CSection& target = project_->sections.items[static_cast<std::size_t>(section)];
    target.sourceStart = stored.start;
    target.sourceEnd = stored.end;
    project_->musicOutdated = 1;
}

void CWndMatrix::ShowError(const char* what) {
    QMessageBox::critical(this, QStringLiteral("Driftwell"), QString::fromUtf8(what));
}

}  // namespace dw

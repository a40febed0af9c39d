#pragma once
// The column of graph names to the left of the matrix editor: one coloured
// band per row, tiled exactly like the editor's rows so that they line up,
// with the name of the graph shown in that row. Display only; it takes no
// input. Repainted when the main window's layout moves it.
//
// User-interface thread only. The project belongs to the main window and
// outlives this window.

#include <QFont>
#include <QWidget>

namespace dw {

class CProject;

class CWndHeaders final : public QWidget {
public:
    static constexpr int kControlId = 20002;

    CWndHeaders(QWidget* parent, CProject* project);

    // Draws the client area into `p` at `size`; paintEvent and tests use it.
    void Render(QPainter& p, QSize size) const;

    // The same thin border as the matrix editor's (see CWndMatrix).
    void SetThinBorder(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CProject* project_;
    QFont font_;
    int border_ = 0;
};

}  // namespace dw

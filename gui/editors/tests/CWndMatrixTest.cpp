#include "gui/editors/CWndMatrix.h"

#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

#include "gui/audio/CDlgTrim.h"
#include "gui/audio/CDlgTrimPlayer.h"
#include "core/model/Project.h"
#include "gui/kit/ShapePainting.h"
#include "gui/kit/testing/WidgetTestSupport.h"

namespace dw {
namespace {

using test::Leave;
using test::Move;
using test::Press;
using test::Release;

// An 800 × 803 editor on the default project: rows 0 to 2 are 101 pixels
// high, rows 3 to 7 100 pixels; the default sections are 200 pixels wide.
class MatrixEditor : public ::testing::Test {
protected:
    MatrixEditor() : editor(nullptr, &project, &mainWindow) {
        editor.resize(800, 803);
        EXPECT_TRUE(test::ShowAndWait(editor));
        project.musicOutdated = 0;
    }

    float Value(int graph, int section) const { return project.matrix.Cell(graph, section); }

    // Opens the popup menu on the cell under (x, y), chooses `command` (0
    // dismisses it) and returns the enabled state of each item by id.
    std::map<int, bool> ChooseFromMenu(QPoint at, int command) {
        std::map<int, bool> enabled;
        editor.SetMenuRunner([&](QMenu& menu, const QPoint&) {
            menuItems.clear();
            for (QAction* action : menu.actions()) {
                menuItems.push_back(action->isSeparator() ? QString() : action->text());
                if (!action->isSeparator()) enabled[action->data().toInt()] = action->isEnabled();
            }
            return command;
        });
        Move(editor, at);
        Press(editor, at, Qt::RightButton);
        Release(editor, at, Qt::RightButton);
        return enabled;
    }

    CProject project;
    test::MessageRecorder mainWindow;
    CWndMatrix editor;
    std::vector<QString> menuItems;  // of the last menu shown; empty strings for separators
};

TEST_F(MatrixEditor, ValueDragIsExactBeyondTheCell) {
    struct Case {
        const char* name;
        int dragToY;
        float value;
    };
    // Row 4 (Dynamics) spans 403..503; section 2 spans x 400..600.
    const Case cases[] = {
        {"above the cell", 300, 1.0f},  {"on the top edge", 403, 1.0f}, {"middle", 453, 0.5f},
        {"on the bottom edge", 503, 0.0f}, {"below the window", 2000, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        project.musicOutdated = 0;
        Move(editor, {500, 480});
        Press(editor, {500, 480});
        EXPECT_EQ(editor.Cursor(), CWndMatrix::kSizeNS);
        Move(editor, {900, c.dragToY}, Qt::LeftButton);  // the hovered cell stays that of the press
        EXPECT_EQ(Value(kDynamics, 2), c.value);
        EXPECT_EQ(project.musicOutdated, 1u);
        Release(editor, {900, c.dragToY});
        EXPECT_EQ(editor.Cursor(), CWndMatrix::kArrow);
        EXPECT_FALSE(editor.Dragging());
    }
    EXPECT_EQ(Value(kDynamics, 1), 0.3f);  // the neighbours are untouched
    EXPECT_EQ(Value(kTexture, 2), 0.2f);
}

TEST_F(MatrixEditor, PressOnARowEdgeEditsTheLowerRowAndOnABoundaryColumnTheLeftSection) {
    // y = 101 is the edge between rows 0 and 1; the press sets the value at once.
    Move(editor, {100, 101});
    Press(editor, {100, 101});
    Release(editor, {100, 101});
    EXPECT_EQ(editor.HoveredRow(), 1);
    EXPECT_EQ(Value(kComplexity, 0), 1.0f);  // the top edge of row 1
    EXPECT_EQ(Value(kGranulation, 0), 0.15f);
}

TEST_F(MatrixEditor, WithABorderTheGeometryIsThatOfTheClientArea) {
    editor.SetThinBorder(true);
    editor.resize(802, 805);  // the same 800 × 803 client area inside a 1-pixel border
    ASSERT_EQ(editor.ClientWidth(), 800);
    Move(editor, {101, 102});  // client (100, 101): the edge between rows 0 and 1
    EXPECT_EQ(editor.HoveredRow(), 1);
    Move(editor, {198, 50});  // client x 197: near the boundary at 200
    EXPECT_EQ(editor.Cursor(), CWndMatrix::kSizeWE);
    Press(editor, {198, 50});
    Move(editor, {301, 50}, Qt::LeftButton);
    Release(editor, {301, 50});
    EXPECT_DOUBLE_EQ(project.sections.items[0].end, 0.375);
}

TEST_F(MatrixEditor, PressWithoutHoverDoesNothing) {
    Press(editor, {100, 100});
    EXPECT_FALSE(editor.Dragging());
    EXPECT_EQ(project.musicOutdated, 0u);
    Move(editor, {100, 100});
    Leave(editor);
    Press(editor, {100, 100});
    EXPECT_FALSE(editor.Dragging());
}

TEST_F(MatrixEditor, BoundaryDragMovesOnlyTheSharedBoundaryWithinTenPixels) {
    Move(editor, {197, 50});
    EXPECT_EQ(editor.Cursor(), CWndMatrix::kSizeWE);  // within 4 pixels of the boundary at 200
    Press(editor, {197, 50});
    Move(editor, {300, 600}, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(project.sections.items[0].end, 0.375);
    EXPECT_DOUBLE_EQ(project.sections.items[1].start, 0.375);
    EXPECT_EQ(project.musicOutdated, 1u);
    Move(editor, {-300, 600}, Qt::LeftButton);
    EXPECT_DOUBLE_EQ(project.sections.items[0].end, 10.0 / 800);
    Move(editor, {5000, 600}, Qt::LeftButton);  // 10 px short of section 1's right edge at the press
    EXPECT_DOUBLE_EQ(project.sections.items[0].end, 390.0 / 800);
    EXPECT_EQ(editor.Cursor(), CWndMatrix::kSizeWE);
    Release(editor, {5000, 600});
    EXPECT_EQ(editor.Cursor(), CWndMatrix::kArrow);
    // Source ranges, the other sections and the matrix are untouched.
    EXPECT_DOUBLE_EQ(project.sections.items[1].end, 0.5);
    EXPECT_EQ(project.sections.items[0].sourceStart, -1.0);
    EXPECT_EQ(Value(kGranulation, 0), 0.15f);
}

TEST_F(MatrixEditor, OuterEdgesAreNoBoundaries) {
    Move(editor, {1, 50});
    EXPECT_EQ(editor.Cursor(), CWndMatrix::kArrow);
    Move(editor, {799, 50});
    EXPECT_EQ(editor.Cursor(), CWndMatrix::kArrow);
    Move(editor, {404, 50});
    EXPECT_EQ(editor.Cursor(), CWndMatrix::kSizeWE);
    Move(editor, {405, 50});
    EXPECT_EQ(editor.Cursor(), CWndMatrix::kArrow);
}

TEST_F(MatrixEditor, NarrowFirstSectionPressGrabsItsRightBoundary) {
    // A first column of 4 pixels: the press near its outer edge must still
    // pick a boundary between two real sections.
    project.sections.items[0].end = 4.0 / 800;
    project.sections.items[1].start = 4.0 / 800;
    Move(editor, {1, 50});
    ASSERT_EQ(editor.Cursor(), CWndMatrix::kSizeWE);
    Press(editor, {1, 50});
    Move(editor, {100, 50}, Qt::LeftButton);
    Release(editor, {100, 50});
    EXPECT_DOUBLE_EQ(project.sections.items[0].end, 100.0 / 800);
    EXPECT_DOUBLE_EQ(project.sections.items[1].start, 100.0 / 800);
    EXPECT_EQ(project.sections.Count(), 4);
}

TEST_F(MatrixEditor, PopupCommandsChangeTheModelAndAlwaysAskForARedraw) {
    struct Case {
        const char* name;
        int command;
        QPoint at;  // row 4 (Dynamics), a section
        int sections;
        std::vector<float> dynamics;
        bool outdated;
    };
    const Case cases[] = {
        {"Split Section", ID_SPLIT_SECTION, {300, 450}, 5, {0.2f, 0.3f, 0.3f, 0.4f, 0.3f}, true},
        {"Merge Section", ID_MERGE_SECTION, {500, 450}, 3, {0.2f, 0.3f, 0.4f}, true},
        {"Merge Section on the last section", ID_MERGE_SECTION, {700, 450}, 4, {0.2f, 0.3f, 0.4f, 0.3f}, true},
        {"Flat Graph", ID_FLAT_GRAPH, {500, 450}, 4, {0.4f, 0.4f, 0.4f, 0.4f}, true},
        {"Flat Matrix", ID_FLAT_MATRIX, {100, 450}, 4, {0.2f, 0.2f, 0.2f, 0.2f}, true},
        {"dismissed", 0, {500, 450}, 4, {0.2f, 0.3f, 0.4f, 0.3f}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        project.SetDefaults();
        project.musicOutdated = 0;
        mainWindow.messages.clear();
        ChooseFromMenu(c.at, c.command);
        EXPECT_EQ(project.sections.Count(), c.sections);
        EXPECT_EQ(project.matrix.columnCount, c.sections);
        EXPECT_EQ(project.matrix.rows[kDynamics], c.dynamics);
        EXPECT_EQ(project.musicOutdated != 0, c.outdated);
        // Every use of the menu ends an edit, which the main window records for undo.
        EXPECT_EQ(mainWindow.messages, (std::vector<int>{WM_APP_REDRAW_MATRIX, WM_APP_PROJECT_EDITED}));
    }
}

TEST_F(MatrixEditor, RandomGraphChangesOnlyTheHoveredGraph) {
    const auto before = project.matrix.rows;
    ChooseFromMenu({500, 450}, ID_RANDOM_GRAPH);
    for (int g = 0; g < kGraphCount; ++g) {
        if (g == kDynamics) continue;
        EXPECT_EQ(project.matrix.rows[g], before[g]) << g;
    }
    EXPECT_NE(project.matrix.rows[kDynamics], before[kDynamics]);
    for (float v : project.matrix.rows[kDynamics]) {
        EXPECT_GE(v, 0.0f);
        EXPECT_LE(v, 1.0f);
    }
    EXPECT_EQ(project.musicOutdated, 1u);
    project.musicOutdated = 0;
    ChooseFromMenu({500, 450}, ID_RANDOM_MATRIX);
    EXPECT_EQ(project.musicOutdated, 1u);
    EXPECT_NE(project.matrix.rows[kGranulation], before[kGranulation]);
}

// The editor draws from the generator it was handed and from nothing else:
// its fills follow that generator's sequence, graph after graph.
TEST_F(MatrixEditor, RandomMatrixDrawsFromTheEditorsOwnGenerator) {
    editor.SetRandom(Random(99));
    ChooseFromMenu({500, 450}, ID_RANDOM_MATRIX);
    CMatrix expected = project.matrix;
    Random same(99);
    expected.RandomMatrix(same);
    EXPECT_EQ(project.matrix.rows, expected.rows);
    // The next fill goes on from where the first one left off.
    ChooseFromMenu({500, 450}, ID_RANDOM_GRAPH);
    expected.RandomGraph(kDynamics, same);
    EXPECT_EQ(project.matrix.rows, expected.rows);
}

TEST_F(MatrixEditor, MenuListsItsItemsAndGraysSplitOnNarrowColumnsAndSourceWithoutDecodedMusic) {
    std::map<int, bool> enabled = ChooseFromMenu({500, 450}, 0);
    EXPECT_EQ(menuItems, (std::vector<QString>{"Split Section", "Merge Section", "", "Set Section Source", "",
                                               "Flat Graph", "Flat Matrix", "Random Graph", "Random Matrix"}));
    ASSERT_EQ(enabled.size(), 7u);
    EXPECT_TRUE(enabled[ID_SPLIT_SECTION]);
    EXPECT_FALSE(enabled[ID_SET_SECTION_SOURCE]);  // nothing decoded yet
    EXPECT_TRUE(enabled[ID_RANDOM_MATRIX]);

    project.properties.sourceLoaded = true;
    editor.resize(80, 803);  // default sections become 20 pixels wide
    enabled = ChooseFromMenu({50, 450}, 0);
    EXPECT_FALSE(enabled[ID_SPLIT_SECTION]);
    EXPECT_TRUE(enabled[ID_SET_SECTION_SOURCE]);
    editor.resize(84, 803);  // 21 pixels
    enabled = ChooseFromMenu({50, 450}, 0);
    EXPECT_TRUE(enabled[ID_SPLIT_SECTION]);
}

TEST_F(MatrixEditor, NoMenuBeforeTheMouseMovedInAfterItLeftOrDuringADrag) {
    int shown = 0;
    editor.SetMenuRunner([&](QMenu&, const QPoint&) { ++shown;
        return 0;
    });
    Press(editor, {100, 100}, Qt::RightButton);
    Move(editor, {100, 100});
    Leave(editor);
    Press(editor, {100, 100}, Qt::RightButton);
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(mainWindow.messages.empty());
    // Nor in the middle of a drag, whose sections a split or merge would move.
    Move(editor, {197, 100});
    Press(editor, {197, 100});
    Press(editor, {197, 100}, Qt::RightButton);
    EXPECT_EQ(shown, 0);
    Release(editor, {197, 100});
    Press(editor, {197, 100}, Qt::RightButton);
    EXPECT_EQ(shown, 1);
}

TEST_F(MatrixEditor, SetSectionSourceStopsPlaybackAndStoresOnlyARangeOfItsOwn) {
    project.properties.sourceLoaded = true;
    struct Case {
        const char* name;
        std::optional<FractionRange> answer;  // nullopt: the user cancels; empty range: confirm the initial
        double sourceStart, sourceEnd;
        bool outdated;
    };
    const FractionRange def{0.05 + 0.5 * (0.95 - 0.05), 0.05 + 0.75 * (0.95 - 0.05)};  // section 2
    const Case cases[] = {
        {"confirmed with the default range", def, -1.0, -1.0, true},
        {"confirmed with a range of its own", FractionRange{0.1, 0.2}, 0.1, 0.2, true},
        {"cancelled", std::nullopt, -1.0, -1.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        project.SetDefaults();
        project.musicOutdated = 0;
        mainWindow.messages.clear();
        FractionRange shownDefault{}, shownInitial{};
        std::vector<int> messagesBeforeDialog;
        editor.SetSourceRangeDialog([&](const FractionRange& d, const FractionRange& initial) {
            shownDefault = d;
            shownInitial = initial;
            messagesBeforeDialog = mainWindow.messages;
            return c.answer;
        });
        ChooseFromMenu({500, 450}, ID_SET_SECTION_SOURCE);
        EXPECT_EQ(shownDefault, def);
        EXPECT_EQ(shownInitial, def);
        EXPECT_EQ(messagesBeforeDialog, std::vector<int>{WM_APP_STOP});
        EXPECT_EQ(mainWindow.messages, (std::vector<int>{WM_APP_STOP, WM_APP_REDRAW_MATRIX, WM_APP_PROJECT_EDITED}));
        EXPECT_EQ(project.sections.items[2].sourceStart, c.sourceStart);
        EXPECT_EQ(project.sections.items[2].sourceEnd, c.sourceEnd);
        EXPECT_EQ(project.musicOutdated != 0, c.outdated);
    }
}

TEST_F(MatrixEditor, SetSectionSourceOpensOnTheSectionsOwnRange) {
    project.properties.sourceLoaded = true;
    project.sections.items[1].sourceStart = 0.3;
    project.sections.items[1].sourceEnd = 0.35;
    FractionRange shownInitial{};
    editor.SetSourceRangeDialog([&](const FractionRange&, const FractionRange& initial) {
        shownInitial = initial;
        return std::optional<FractionRange>(initial);
    });
    ChooseFromMenu({300, 450}, ID_SET_SECTION_SOURCE);
    EXPECT_EQ(shownInitial, (FractionRange{0.3, 0.35}));
    EXPECT_EQ(project.sections.items[1].sourceStart, 0.3);  // still its own range
}

TEST_F(MatrixEditor, SetSectionSourceThroughTheTrimDialogKeepsTheDefaultWhenConfirmedUnchanged) {
    project.properties.sourceLoaded = true;
    project.sections.items[2].sourceStart = 0.6;
    project.sections.items[2].sourceEnd = 0.7;
    QString caption;
    SetTrimPlayerFactory([](CProperties&) { return std::unique_ptr<IStreamTransport>(); });  // silent
    // The real dialog: press Default, then OK, as soon as it is up.
    test::WhenDialogOpens([&](QDialog* dialog) {
        caption = dialog->windowTitle();
        static_cast<CDlgTrim*>(dialog)->OnDefault();
        dialog->accept();
    });
    editor.SetMenuRunner([](QMenu&, const QPoint&) { return int{ID_SET_SECTION_SOURCE}; });
    Move(editor, {500, 450});
    Press(editor, {500, 450}, Qt::RightButton);
    SetTrimPlayerFactory({});
    EXPECT_EQ(caption, QStringLiteral("Define a section source range"));
    EXPECT_EQ(project.sections.items[2].sourceStart, -1.0);
    EXPECT_EQ(project.sections.items[2].sourceEnd, -1.0);
    EXPECT_EQ(project.musicOutdated, 1u);
}

TEST_F(MatrixEditor, PaintsBandsBarsSeparatorsAndBoundaries) {
    const QImage image = test::RenderToImage(editor, {800, 803});
    // Row 5 (Progression, 503..603), section 2 holds 0.6: the shrunk cell is
    // 506..602, the bar from trunc(602 - 0.6 × 96) = 544 down.
    const QColor bar = HslColor(RowHue(5, 8), kBarSaturation, kBarLightness);
    const QColor band = HslColor(RowHue(5, 8), kBandSaturation, kBandLightness);
    const QColor outline(90, 100, 110);
    const QColor boundary(103, 131, 157);
    test::ExpectPixels(image, {
        {"top of the bar", 500, 544, bar},
        {"band above the bar", 500, 543, band},
        {"bottom of the bar", 500, 601, bar},
        {"separator above row 6 begins", 500, 602, outline},
        {"separator above row 5: outline", 500, 502, outline},
        {"separator above row 5: light middle", 500, 503, QColor(135, 140, 145)},
        {"separator above row 5: outline below", 500, 504, outline},
        // Boundary lines at trunc(W × end) - 1 after every section but the last.
        {"boundary after section 0", 199, 50, boundary},
        {"boundary after section 2", 599, 50, boundary},
    });
    EXPECT_NE(QColor(image.pixel(799, 50)), boundary);  // none after the last section
}

}  // namespace
}  // namespace dw

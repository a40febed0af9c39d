// The control panel on the offscreen platform: the corrections of its input
// fields, the trackbars and labels, the enables, what it marks out of date
// and tells the main window, and when it decodes the source.

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include "gui/app/panel/CWndInfo.h"
#include "core/audio/Playback.h"
#include "core/audio/SourceLoader.h"
#include "gui/audio/CDlgProgressLoadMusic.h"
#include "gui/audio/CDlgTrim.h"
#include "gui/audio/tests/TestSource.h"
#include "core/model/Project.h"
#include "gui/kit/AppMessages.h"

namespace dw {
namespace {

struct Sink final : IMessageSink {
    std::vector<int> ids;
    void ShowMessage(int id, std::string_view, MessageIcon) override { ids.push_back(id); }
};

// The main window's part: records the messages; WM_APP+2 and +4 go back to the panel.
struct FakeMain final : QObject {
    CWndInfo* panel = nullptr;
    std::vector<std::pair<int, qintptr>> received;
    bool event(QEvent* e) override {
        if (e->type() != AppMessageEvent::eventType()) return QObject::event(e);
        auto* m = static_cast<AppMessageEvent*>(e);
        received.emplace_back(m->message(), m->wParam());
        if (panel && m->message() == WM_APP_ENSURE_SOURCE) panel->EnsureSource();
        if (panel && m->message() == WM_APP_REFRESH_PANEL) panel->UpdateControls();
        return true;
    }
    int Count(int message) const {
        return static_cast<int>(std::count_if(received.begin(), received.end(),
                                              [&](const auto& r) { return r.first == message; }));
    }
};

class CWndInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        CDlgProgress::Hooks() = {};
        CDlgProgress::Hooks().holdRounds = 1;
        CDlgProgress::Hooks().onStart = [this](CDlgProgress& d) {
            if (dynamic_cast<CDlgProgressLoadMusic*>(&d) == nullptr) return;
            ++decodes;
            if (cancelDecode) d.OnCancel();
        };
        tone = test::WriteToneWav(dir, "tone.wav", 0.5);
        CWndInfo::SetFileChooser([this]() -> std::optional<QString> { return chosen; });
        project.properties.SetDefaults();
        panel = std::make_unique<CWndInfo>(nullptr, &project, &main, &sink);
        main.panel = panel.get();
    }
    void TearDown() override {
        CWndInfo::SetFileChooser({});
        CDlgProgress::Hooks() = {};
    }
    template <class T>
    T* Ctl(int id) {
        T* w = panel->ControlAs<T>(id);
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    QString LabelText(int id) { return Ctl<QLabel>(id)->text(); }
    void ChooseTone() {
        chosen = tone;
        Ctl<QPushButton>(CWndInfo::IDC_SELECT_SOURCE)->click();
        ASSERT_TRUE(project.properties.sourceLoaded);
    }

    QTemporaryDir dir;
    QString tone;
    std::optional<QString> chosen;
    int decodes = 0;
    bool cancelDecode = false;
    CProject project;
    Sink sink;
    FakeMain main;
    std::unique_ptr<CWndInfo> panel;
};

TEST_F(CWndInfoTest, FirstRefreshAppliesTheQualityAndShowsBareNumbers) {
    EXPECT_EQ(panel->RememberedQuality(), 0);
    EXPECT_EQ(project.properties.sampleRate, 11025u);
    EXPECT_EQ(project.properties.encoder, 0u);
    EXPECT_EQ(main.Count(WM_APP_ENCODER_CHANGED), 1);
    EXPECT_EQ(decodes, 0);  // no source named
    EXPECT_EQ(panel->PanelSize(), QSize(255, 568));  // room for the seed rows below the effects
    for (int id : {CWndInfo::IDC_VOLUME_VALUE, CWndInfo::IDC_FADE_IN_VALUE, CWndInfo::IDC_FADE_OUT_VALUE,
                   CWndInfo::IDC_HIGH_CUT_VALUE, CWndInfo::IDC_REVERB_VALUE, CWndInfo::IDC_CHORUS_VALUE})
        EXPECT_FALSE(LabelText(id).contains(QLatin1Char('%'))) << id;
    EXPECT_EQ(Ctl<QComboBox>(CWndInfo::IDC_QUALITY)->itemText(0), QStringLiteral("Test   (11025 Hz)"));
    EXPECT_EQ(Ctl<QComboBox>(CWndInfo::IDC_ENCODER)->itemText(3), QStringLiteral("MP3 ACM"));
    EXPECT_FALSE(Ctl<QPushButton>(CWndInfo::IDC_TRIM)->isEnabled());
    EXPECT_EQ(Ctl<QTimeEdit>(CWndInfo::IDC_MUSIC_LENGTH)->displayFormat(), QStringLiteral("mm:ss"));
}

TEST_F(CWndInfoTest, BaseMotifLengthIsCorrectedOnCommit) {
    struct Case {
        const char* typed;
        std::uint32_t musicLength;
        const char* shown;
        double stored;
    };
    const Case cases[] = {{"1", 64, "2.000", 2.0}, {"25", 64, "20.000", 20.0}, {"abc", 64, "2.000", 2.0},
                          {"18", 15, "15.000", 15.0}, {"4.5", 64, "4.500", 4.5}};
    auto* edit = Ctl<QLineEdit>(CWndInfo::IDC_BASE_MOTIF);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        project.properties.musicLength = c.musicLength;
        project.musicOutdated = 0;
        edit->setText(QString::fromLatin1(c.typed));
        QTest::keyClick(edit, Qt::Key_Return);  // Enter commits
        EXPECT_EQ(edit->text(), QString::fromLatin1(c.shown));
        EXPECT_DOUBLE_EQ(project.properties.baseMotifLength, c.stored);
        EXPECT_EQ(project.musicOutdated, 1u);
    }
    panel->UpdateControls();
    EXPECT_EQ(edit->text(), QStringLiteral("4.500"));
}

TEST_F(CWndInfoTest, MusicLengthIsCorrectedAndShownAtOnce) {
    struct Case {
        QTime set;
        double motif;
        QTime shown;
        std::uint32_t stored;
    };
    const Case cases[] = {
        {QTime(0, 0, 5), 4.0, QTime(0, 0, 10), 10},
        {QTime(0, 0, 11), 12.5, QTime(0, 0, 13), 13},
        {QTime(0, 12, 34), 4.0, QTime(0, 12, 34), 754},
    };
    auto* picker = Ctl<QTimeEdit>(CWndInfo::IDC_MUSIC_LENGTH);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        project.properties.baseMotifLength = c.motif;
        project.musicOutdated = 0;
        picker->setTime(c.set);
        QTest::keyClick(picker, Qt::Key_Return);
        EXPECT_EQ(picker->time(), c.shown);
        EXPECT_EQ(project.properties.musicLength, c.stored);
        EXPECT_EQ(project.musicOutdated, 1u);
    }
    // An arrow step commits too.
    picker->setTime(QTime(0, 0, 10));
    picker->setCurrentSection(QDateTimeEdit::SecondSection);
    picker->stepBy(1);
    EXPECT_EQ(project.properties.musicLength, 11u);
}

TEST_F(CWndInfoTest, PickerNeverShowsAnotherLengthThanTheStoredOne) {
    auto* picker = Ctl<QTimeEdit>(CWndInfo::IDC_MUSIC_LENGTH);
    for (std::uint32_t length : {64u, 3599u, 3600u, 7384u}) {
        SCOPED_TRACE(length);
        project.properties.musicLength = length;
        panel->UpdateControls();
        const QTime t = picker->time();
        EXPECT_EQ(static_cast<std::uint32_t>(t.hour() * 3600 + t.minute() * 60 + t.second()), length);
        EXPECT_EQ(project.properties.musicLength, length);  // a refresh changes nothing
        EXPECT_EQ(picker->displayFormat().contains(QLatin1Char('H')), length >= 3600);
    }
}

TEST_F(CWndInfoTest, TrackbarsStoreLabelAndMarkOutOfDate) {
    auto* volume = Ctl<QSlider>(CWndInfo::IDC_VOLUME);
    project.musicOutdated = 0;
    volume->setValue(29);
    EXPECT_DOUBLE_EQ(project.properties.volume, 0.29);
    EXPECT_EQ(LabelText(CWndInfo::IDC_VOLUME_VALUE), QStringLiteral("29"));
    EXPECT_EQ(project.musicOutdated, 2u);
    panel->UpdateControls();
    EXPECT_EQ(LabelText(CWndInfo::IDC_VOLUME_VALUE), QStringLiteral("29"));
    EXPECT_EQ(volume->value(), 29);

    project.musicOutdated = 1;  // a 1 stays 1
    Ctl<QSlider>(CWndInfo::IDC_FADE_IN)->setValue(7);
    EXPECT_EQ(project.properties.fadeIn, 7u);
    EXPECT_EQ(project.musicOutdated, 1u);
    EXPECT_EQ(Ctl<QSlider>(CWndInfo::IDC_FADE_OUT)->maximum(), 10);

    // Effect amounts leave the music alone and tell the main window.
    project.musicOutdated = 0;
    main.received.clear();
    Ctl<QSlider>(CWndInfo::IDC_REVERB)->setValue(40);
    EXPECT_DOUBLE_EQ(project.properties.reverb, 0.40);
    EXPECT_EQ(LabelText(CWndInfo::IDC_REVERB_VALUE), QStringLiteral("40"));
    EXPECT_EQ(project.musicOutdated, 0u);
    ASSERT_EQ(main.received.size(), 2u);
    EXPECT_EQ(main.received[0], std::make_pair(int{WM_APP_EFFECT_AMOUNT}, qintptr{1}));
    EXPECT_EQ(main.received[1], std::make_pair(int{WM_APP_PROJECT_EDITED}, qintptr{0}));
    // A refresh moves the trackbars without messages.
    main.received.clear();
    panel->UpdateControls();
    EXPECT_EQ(main.Count(WM_APP_EFFECT_AMOUNT), 0);
}

TEST_F(CWndInfoTest, LoopMusicAndEffectSwitchesEnableTheirRows) {
    auto* loop = Ctl<QCheckBox>(CWndInfo::IDC_LOOP_MUSIC);
    const int fadeIds[] = {CWndInfo::IDC_FADE_IN_LABEL,  CWndInfo::IDC_FADE_IN_VALUE,  CWndInfo::IDC_FADE_IN,
                           CWndInfo::IDC_FADE_OUT_LABEL, CWndInfo::IDC_FADE_OUT_VALUE, CWndInfo::IDC_FADE_OUT};
    for (bool on : {true, false}) {
        SCOPED_TRACE(on);
        project.musicOutdated = 0;
        if (loop->isChecked() != on) loop->click();
        EXPECT_EQ(project.properties.loopMusic, on);
        EXPECT_EQ(project.musicOutdated, 1u);
        for (int id : fadeIds) EXPECT_EQ(panel->Control(id)->isEnabled(), !on) << id;
    }

    struct Effect {
        int check, name, value, slider;
        qintptr wParam;
    };
    const Effect effects[] = {
        {CWndInfo::IDC_HIGH_CUT_ON, CWndInfo::IDC_HIGH_CUT_LABEL, CWndInfo::IDC_HIGH_CUT_VALUE, CWndInfo::IDC_HIGH_CUT, 0},
        {CWndInfo::IDC_REVERB_ON, CWndInfo::IDC_REVERB_LABEL, CWndInfo::IDC_REVERB_VALUE, CWndInfo::IDC_REVERB, 1},
        {CWndInfo::IDC_CHORUS_ON, CWndInfo::IDC_CHORUS_LABEL, CWndInfo::IDC_CHORUS_VALUE, CWndInfo::IDC_CHORUS, 2},
    };
    for (const Effect& e : effects) {
        SCOPED_TRACE(e.wParam);
        auto* box = Ctl<QCheckBox>(e.check);
        for (int round = 0; round < 2; ++round) {
            main.received.clear();
            project.musicOutdated = 0;
            box->click();
            const bool on = box->isChecked();
            EXPECT_EQ(panel->Control(e.value)->isEnabled(), on);
            EXPECT_EQ(panel->Control(e.slider)->isEnabled(), on);
            EXPECT_TRUE(box->isEnabled());
            EXPECT_TRUE(panel->Control(e.name)->isEnabled());
            EXPECT_EQ(project.musicOutdated, 0u);
            ASSERT_EQ(main.received.size(), 2u);
            EXPECT_EQ(main.received[0], std::make_pair(int{WM_APP_EFFECT_SWITCHED}, e.wParam));
            EXPECT_EQ(main.received[1], std::make_pair(int{WM_APP_PROJECT_EDITED}, qintptr{0}));
        }
    }
}

TEST_F(CWndInfoTest, ChoosingASourceDecodesItAndResetsTheTrimRange) {
    project.properties.trimStart = 0.3;
    project.properties.trimEnd = 0.4;
    ChooseTone();
    EXPECT_EQ(decodes, 1);
    EXPECT_EQ(Ctl<QLineEdit>(CWndInfo::IDC_SOURCE_NAME)->text(), QStringLiteral("tone.wav"));
    EXPECT_TRUE(Ctl<QPushButton>(CWndInfo::IDC_TRIM)->isEnabled());
    EXPECT_DOUBLE_EQ(project.properties.trimStart, 0.05);
    EXPECT_DOUBLE_EQ(project.properties.trimEnd, 0.95);
    EXPECT_EQ(project.musicOutdated, 1u);
    EXPECT_GE(main.Count(WM_APP_STOP), 1);

    // Cancelling the file dialog changes nothing.
    chosen.reset();
    Ctl<QPushButton>(CWndInfo::IDC_SELECT_SOURCE)->click();
    EXPECT_EQ(decodes, 1);
    EXPECT_TRUE(project.properties.sourceLoaded);

    // Cancelling the decode of a new file leaves its name shown and nothing decoded.
    const QString other = test::WriteToneWav(dir, "other.wav", 0.5);
    chosen = other;
    cancelDecode = true;
    Ctl<QPushButton>(CWndInfo::IDC_SELECT_SOURCE)->click();
    EXPECT_EQ(decodes, 2);
    EXPECT_FALSE(project.properties.sourceLoaded);
    EXPECT_EQ(Ctl<QLineEdit>(CWndInfo::IDC_SOURCE_NAME)->text(), QStringLiteral("other.wav"));
}

TEST_F(CWndInfoTest, AnOpenedProjectsOwnSourceKeepsItsStoredTrimRange) {
    // As after Open Project: the path and the range come from the file, nothing decoded yet.
    project.properties.sourcePath = tone.toStdString();
    project.properties.sourceLoaded = false;
    project.properties.trimStart = 0.3;
    project.properties.trimEnd = 0.4;
    EXPECT_TRUE(panel->EnsureSource());
    EXPECT_EQ(decodes, 1);
    EXPECT_TRUE(project.properties.sourceLoaded);
    EXPECT_DOUBLE_EQ(project.properties.trimStart, 0.3) << "the stored range would be lost at the next save";
    EXPECT_DOUBLE_EQ(project.properties.trimEnd, 0.4);
    EXPECT_EQ(project.musicOutdated, 1u);
}

TEST_F(CWndInfoTest, QualityChangeDecodesAgainAtTheNewRate) {
    ChooseTone();
    project.properties.trimStart = 0.2;
    project.properties.trimEnd = 0.7;
    project.musicOutdated = 0;
    main.received.clear();
    Ctl<QComboBox>(CWndInfo::IDC_QUALITY)->setCurrentIndex(1);
    EXPECT_EQ(decodes, 2);
    EXPECT_EQ(project.properties.quality, 1u);
    EXPECT_EQ(project.properties.sampleRate, 22050u);
    EXPECT_TRUE(project.properties.sourceLoaded);
    EXPECT_EQ(project.properties.sourceFrameCount, 22050u / 2u);
    EXPECT_DOUBLE_EQ(project.properties.trimStart, 0.05);
    EXPECT_DOUBLE_EQ(project.properties.trimEnd, 0.95);
    EXPECT_EQ(project.musicOutdated, 1u);
    EXPECT_EQ(main.Count(WM_APP_ENCODER_CHANGED), 1);
    EXPECT_EQ(panel->RememberedQuality(), 1);
}

TEST_F(CWndInfoTest, ALoadedProjectWithAnotherQualityIsDecodedTwice) {
    struct Case {
        const char* name;
        std::uint32_t quality;
        int decodes;
        std::uint32_t encoderAfter;
    };
    const Case cases[] = {
        {"same quality: once, loaded encoder kept", 0, 1, 3},
        {"other quality: twice, encoder from the list", 2, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        panel->SetRememberedQuality(0);
        panel->SetEncoderIndex(0);
        // What a load leaves: new stored fields, nothing decoded.
        project.properties.quality = c.quality;
        project.properties.sampleRate = SampleRateOfQuality(c.quality);
        project.properties.encoder = 3;
        project.properties.sourcePath = tone.toStdString();
        project.properties.sourceLoaded = false;
        decodes = 0;
        SendAppMessage(&main, WM_APP_ENSURE_SOURCE);
        SendAppMessage(&main, WM_APP_REFRESH_PANEL);
        EXPECT_EQ(decodes, c.decodes);
        EXPECT_TRUE(project.properties.sourceLoaded);
        EXPECT_EQ(project.properties.encoder, c.encoderAfter);
        EXPECT_EQ(Ctl<QComboBox>(CWndInfo::IDC_ENCODER)->currentIndex(), 0);
    }
}

TEST_F(CWndInfoTest, ListsAndChecksStoreWhatTheyShow) {
    main.received.clear();
    project.musicOutdated = 0;
    Ctl<QComboBox>(CWndInfo::IDC_ENCODER)->setCurrentIndex(1);
    EXPECT_EQ(project.properties.encoder, 1u);
    EXPECT_EQ(panel->EncoderIndex(), 1);
    EXPECT_EQ(main.Count(WM_APP_ENCODER_CHANGED), 1);
    EXPECT_EQ(project.musicOutdated, 0u);
    // The list keeps showing the panel's own index on a refresh.
    project.properties.encoder = 2;
    panel->UpdateControls();
    EXPECT_EQ(Ctl<QComboBox>(CWndInfo::IDC_ENCODER)->currentIndex(), 1);

    for (int id : {CWndInfo::IDC_FRACTAL_SCANNER, CWndInfo::IDC_LOOP_MOTIFS}) {
        project.musicOutdated = 0;
        auto* box = Ctl<QCheckBox>(id);
        box->click();
        const bool stored = id == CWndInfo::IDC_FRACTAL_SCANNER ? project.properties.fractalScanner
                                                                 : project.properties.loopMotifs;
        EXPECT_EQ(stored, box->isChecked()) << id;
        EXPECT_EQ(project.musicOutdated, 1u) << id;
    }
}

TEST_F(CWndInfoTest, TrimStopsPlaybackAndCancelChangesNothing) {
    ChooseTone();
    project.properties.trimStart = 0.2;
    project.properties.trimEnd = 0.6;
    project.musicOutdated = 0;
    main.received.clear();
    // The trim dialog plays through a stream of its own: the silent device.
    ASSERT_EQ(InitAudio(sink, AudioStartOptions{OutputKind::Null, 44100}), 0);
    bool opened = false;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dlg = dynamic_cast<CDlgTrim*>(modal)) {
            opened = true;
            dlg->reject();
        } else if (auto* other = qobject_cast<QDialog*>(modal)) {
            other->reject();  // anything else (a message box) must not hang the test
        }
    });
    closer.start();
    Ctl<QPushButton>(CWndInfo::IDC_TRIM)->click();
    closer.stop();
    ShutdownAudio(nullptr);
    EXPECT_TRUE(opened);
    ASSERT_FALSE(main.received.empty());
    EXPECT_EQ(main.received.front().first, WM_APP_STOP);
    EXPECT_DOUBLE_EQ(project.properties.trimStart, 0.2);
    EXPECT_DOUBLE_EQ(project.properties.trimEnd, 0.6);
    EXPECT_EQ(project.musicOutdated, 0u);
}

// Every text of the panel fits its control, measured with the font the
// control uses: labels, buttons, every entry of the quality and encoder lists
// (the list's field, beside its arrow), and the longest seed in its field.
// Scaling multiplies the font and the rectangles alike, so what fits here
// fits at 200 % too.
TEST_F(CWndInfoTest, EveryTextFitsItsControl) {
    panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    for (QLabel* l : panel->findChildren<QLabel*>()) {
        if (l->text().isEmpty()) continue;
        const int needed = l->fontMetrics().horizontalAdvance(l->text());
        EXPECT_LE(needed, l->contentsRect().width()) << l->text().toStdString();
        EXPECT_LE(l->geometry().right(), panel->width()) << l->text().toStdString();
        // Nor does a label's text run under the control beside it.
        const QRect text(l->geometry().topLeft(), QSize(needed, l->height()));
        for (QWidget* other : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != l && qobject_cast<QLabel*>(other) == nullptr) {
                EXPECT_FALSE(text.intersects(other->geometry()))
                    << l->text().toStdString() << " under " << other->objectName().toStdString();
            }
        }
    }
    for (int id : {CWndInfo::IDC_SELECT_SOURCE, CWndInfo::IDC_TRIM, CWndInfo::IDC_NEW_VARIATION}) {
        auto* b = Ctl<QPushButton>(id);
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 8, b->width()) << b->text().toStdString();
    }
    for (int id : {CWndInfo::IDC_QUALITY, CWndInfo::IDC_ENCODER}) {
        auto* c = Ctl<QComboBox>(id);
        QStyleOptionComboBox option;
        option.initFrom(c);
        const QRect field = c->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, c);
        for (int i = 0; i < c->count(); ++i)
            EXPECT_LE(c->fontMetrics().horizontalAdvance(c->itemText(i)), field.width()) << c->itemText(i).toStdString();
        EXPECT_LE(c->geometry().right(), panel->width() - 2);
    }
    auto* seed = Ctl<QLineEdit>(CWndInfo::IDC_SEED);
    EXPECT_LE(seed->fontMetrics().horizontalAdvance(QStringLiteral("4294967295")) + 8, seed->contentsRect().width());
}

// The first entry of the filter matches every file name the decoder reads,
// upper-case spellings included: the usual names, and FLAC and Opus.
TEST_F(CWndInfoTest, FileDialogOffersEveryTypeTheDecoderReads) {
    const QString filter = CWndInfo::SourceFileFilter();
    ASSERT_TRUE(filter.startsWith(QStringLiteral("Music source files (")));
    const QString first = filter.section(QStringLiteral(";;"), 0, 0);
    const QStringList patterns =
        first.mid(first.indexOf(QLatin1Char('(')) + 1).chopped(1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    auto matches = [&patterns](const QString& name) {
        for (const QString& p : patterns)
            if (QRegularExpression::fromWildcard(p, Qt::CaseSensitive).match(name).hasMatch()) return true;
        return false;
    };
    for (const char* name : {"a.wav", "a.aif", "a.aiff", "a.mp3", "a.mp2", "a.mp1", "a.ogg", "a.flac", "a.opus",
                             "a.WAV", "a.AIFF", "a.FLAC", "a.OPUS", "a.MP3"})
        EXPECT_TRUE(matches(QString::fromLatin1(name))) << name;
    for (const std::string& e : SourceFileExtensions()) {
        EXPECT_TRUE(matches(QStringLiteral("x.") + QString::fromStdString(e))) << e;
        EXPECT_TRUE(matches(QStringLiteral("x.") + QString::fromStdString(e).toUpper())) << e;
    }
    EXPECT_FALSE(matches(QStringLiteral("notes.txt")));
    EXPECT_TRUE(filter.endsWith(QStringLiteral(";;All files (*)")));
    EXPECT_EQ(CWndInfo::SourceFileTitle(), QStringLiteral("Select the Music Source File"));
}

}  // namespace
}  // namespace dw

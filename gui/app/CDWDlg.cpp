#include "gui/app/CDWDlg.h"

#include "gui/app/CWndToolbar.h"
#include "gui/app/HelpCommands.h"
#include "gui/app/MainAudio.h"
#include "gui/app/panel/CWndInfo.h"
#include "gui/audio/CWndControlbar.h"
#include "core/transport/PlayCursor.h"
#include "core/transport/PlaybackTransport.h"
#include "gui/editors/CWndHeaders.h"
#include "gui/editors/CWndMatrix.h"
#include "gui/editors/CWndTimeline.h"
#include "core/base/TextEscape.h"
#include "core/model/Recovery.h"
#include "gui/kit/ArtResources.h"
#include "gui/kit/MessageBox.h"
#include "gui/kit/Painting.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <cstdio>
#include <filesystem>
#include <random>

namespace dw {

namespace {
// What the main window and the transport bar ask of the timeline, which owns
// the play cursor.
class TimelineAdapter final : public ITimelinePanel, public IPlayCursor {
public:
    explicit TimelineAdapter(CWndTimeline* timeline) : timeline_(timeline) {}
    void SetPlayCursor(double fraction) override { timeline_->SetPlayCursor(fraction); }
    double PlayCursor() const override { return timeline_->PlayCursor(); }
    double CurrentFraction() const override { return timeline_->CurrentFraction(); }
    void Repaint() override { timeline_->repaint(); }

private:
    CWndTimeline* timeline_;
};
}  // namespace

// Construction: the project takes its defaults (musicOutdated 1, so the first
// Play creates music), the icon is loaded, nothing is laid out yet.
CDWDlg::CDWDlg(QWidget* parent, AudioChoice audio)
    : QDialog(parent), audio_(std::make_unique<MainAudio>(audio)) {
    setWindowTitle(QStringLiteral("Driftwell"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setObjectName(QStringLiteral("CDWDlg"));
    setAttribute(Qt::WA_OpaquePaintEvent);  // the painting covers the whole client area
    // The template's size (627 x 446 dialog units) until the window is maximised.
    resize(DialogUnitsToPixelsX(627), DialogUnitsToPixelsY(446));
    appIcon_ = LoadAppIcon();
}

CDWDlg::~CDWDlg() {
    // The panels go first: they hold pointers to the project, the stream's
    // transport and each other, which the members below own.
    for (QWidget* panel : {timeline_, static_cast<QWidget*>(toolbar_), transportBar_, rowHeaders_, matrixEditor_,
                           controlPanel_})
        delete panel;
}

QString CDWDlg::AboutMenuText() { return QStringLiteral("w"); }

int CDWDlg::exec() {
    OnInitDialog();
    // Start-up may decode the command line's source in a progress dialog,
    // which dispatches events: a close (the close box, SIGTERM) handled there
    // has already ended the window, and the event loop must not start.
    if (closed_) return result();
    return QDialog::exec();
}

void CDWDlg::OnInitDialog() {
    // The window menu's About item is offered by the window's context menu
    // (contextMenuEvent): desktop window menus cannot be extended.
    setWindowIcon(appIcon_);
    // Maximised; the geometry is set too, so that the window also fills the
    // screen where no window manager acts on the maximised state.
    if (const QScreen* s = screen()) setGeometry(s->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);

    encoderIndex_ = 0;
    acmFormat_.reset();

    CreatePanels();
    LayoutPanels();
    laidOut_ = true;
    // The panels' first refresh has settled the defaults: that is the
    // unchanged project (a command-line project below marks its own).
    toolbar_->projectCommands().commands().MarkSaved();
    history_->Reset();

    background_ = LoadBitmapResource(IDB_MAIN_BG);
    if (background_.isNull()) return;

    if (!audio_->Init(this)) return;
    audio_->CreateStream(project_.properties, this);  // on failure it said so; start-up goes on

    // The window comes first: the source chooser, the loading progress and
    // any message then open over it, centred on it, never over an empty
    // screen.
    TellKeptWork();
    if (!commandLineFile_.isEmpty()) {
        show();
        LoadCommandLineProject();
    }
    history_->Reset();  // the start-up's decode and the command-line project are no edits
}

void CDWDlg::KeepUnsavedWork() {
    if (!toolbar_ || !toolbar_->projectCommands().commands().IsChanged()) return;
    const std::optional<std::filesystem::path> folder = RecoveryFolder();
    if (!folder) return;
    const std::filesystem::path file =
        RecoveryFileFor(*folder, std::filesystem::path(toolbar_->currentProjectPath().toStdString()));
    const std::string problem = WriteRecoveryFile(project_, file);
    // Nobody sees a message now; the terminal that sent the signal might.
    if (!problem.empty())
        std::fprintf(stderr, "driftwell: could not keep the unsaved work in %s: %s\n",
                     EscapeForDisplay(file.string()).c_str(), problem.c_str());
}

void CDWDlg::TellKeptWork() {
    const std::optional<std::filesystem::path> folder = RecoveryFolder();
    if (!folder) return;
    const std::vector<std::filesystem::path> kept = TakeRecoveryNote(*folder);
    if (kept.empty()) return;
    show();
    QString text = QStringLiteral("Driftwell was ended with unsaved work, which was kept in:\n");
    for (const std::filesystem::path& file : kept)
        text += QLatin1Char('\n') + QString::fromStdString(EscapeForDisplay(file.string()));
    text += QStringLiteral("\n\nOpen it with Open Project to go on with it.");
    ShowMessageBox(this, text, MessageIcon::Information);
}

// All panels are created here, in this order, each with the pointers it
// works on and its control id: timeline, toolbar, transport bar, row headers,
// matrix editor, control panel.
void CDWDlg::CreatePanels() {
    // The timeline plays and seeks the main stream through its transport.
    mainTransport_ = std::make_unique<PlaybackTransport>(&audio_->stream());
    auto* timeline = new CWndTimeline(this, &project_, mainTransport_.get());
    timeline->setObjectName(QStringLiteral("panel-%1").arg(IDC_TIMELINE));
    timeline_ = timeline;
    auto adapter = std::make_unique<TimelineAdapter>(timeline);
    timelinePanel_ = adapter.get();
    playCursor_ = adapter.get();
    timelineAdapter_ = std::move(adapter);

    // Write Music to File creates out-of-date music along Play's road: the
    // main window hands the toolbar that road, so no panel looks for another.
    toolbar_ = new CWndToolbar(this, &project_, &engine_,
                               [this] { return transportPanel_ && transportPanel_->PlayRoad(project_.musicOutdated); });

    messageSink_ = std::make_unique<MessageBoxSink>(this);
    auto* transport = new CWndControlbar(this, &project_, &engine_, &audio_->stream(), playCursor_, this,
                                         messageSink_.get());
    transport->setObjectName(QStringLiteral("panel-%1").arg(IDC_TRANSPORT_BAR));
    // Every creation takes the seed the policy gives.
    transport->SetSeedChoice([this]() -> std::optional<std::uint32_t> { return seedPolicy_.NextSeed(); });
    // Endless play: the Seed field follows the variation that plays.
    transport->SetVariationPlaying([this](std::uint32_t seed) {
        seedPolicy_.Used(seed);
        if (controlPanelIf_) controlPanelIf_->ShowSeed();
    });
    transportBar_ = transport;
    transportPanel_ = transport;

    auto* headers = new CWndHeaders(this, &project_);
    headers->setObjectName(QStringLiteral("panel-%1").arg(IDC_ROW_HEADERS));
    headers->SetThinBorder(true);
    rowHeaders_ = headers;

    auto* matrix = new CWndMatrix(this, &project_, this);
    matrix->setObjectName(QStringLiteral("panel-%1").arg(IDC_MATRIX_EDITOR));
    matrix->SetThinBorder(true);
    matrixEditor_ = matrix;

    // Its initialisation already runs the first refresh, which applies the
    // quality and tells the main window the encoder (WM_APP_ENCODER_CHANGED).
    auto* panel = new CWndInfo(this, &project_, this, messageSink_.get(), &seedPolicy_);
    controlPanel_ = panel;
    controlPanelIf_ = panel;
    controlPanelSize_ = panel->PanelSize();

    for (QWidget* w : {timeline_, static_cast<QWidget*>(toolbar_), transportBar_, rowHeaders_, matrixEditor_,
                       controlPanel_})
        w->show();

    // The panels report the end of each edit (WM_APP_PROJECT_EDITED); New
    // and Open start the history again.
    IHistoryHost& host = *this;
    history_ = std::make_unique<ProjectHistory>(project_, host);
    history_->InstallShortcuts(this);
    connect(&toolbar_->projectCommands(), &CProjectCommandsUi::projectReplaced, this, [this] { history_->Reset(); });
}

void CDWDlg::LayoutPanels() {
    if (!toolbar_) return;
    const MainLayout l =
        ComputeMainLayout(width(), height(), controlPanelSize_.width(), controlPanelSize_.height());
    auto place = [](QWidget* w, const Rect& r) {
        if (w) w->setGeometry(r.left, r.top, r.width(), r.height());
    };
    place(toolbar_, l.toolbar);
    place(transportBar_, l.transportBar);
    place(controlPanel_, l.controlPanel);
    place(timeline_, l.timeline);
    place(rowHeaders_, l.rowHeaders);
    place(matrixEditor_, l.matrixEditor);
    transportBarRect_ = l.transportBarRect;
    controlPanelRect_ = l.controlPanelRect;
    headerColumn_ = l.headerColumn;
    if (transportPanel_) transportPanel_->SetLayoutBand(l.transportBand);
}

QSize CDWDlg::MinimumSizeForScreen() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) return {880, 700};
    const QSize size = s->size();
    const MinSize m = MinimumTrackSize(qRound(s->logicalDotsPerInchX()), size.width(), size.height());
    return {m.width, m.height};
}

void CDWDlg::showEvent(QShowEvent* event) {
    if (!minimumSizeSet_) {
        setMinimumSize(MinimumSizeForScreen());
        minimumSizeSet_ = true;
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { setMinimumSize(MinimumSizeForScreen()); });
    }
    QDialog::showEvent(event);
}

void CDWDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (!laidOut_) return;
    LayoutPanels();
    update();
}

void CDWDlg::paintEvent(QPaintEvent*) {
    QPixmap buffer = MakeBackBuffer(*this);
    {
        QPainter p(&buffer);
        p.fillRect(rect(), QColor(120, 130, 145));
        if (laidOut_) {
            MainLayout l;
            l.headerColumn = headerColumn_;
            l.controlPanelRect = controlPanelRect_;
            l.transportBarRect = transportBarRect_;
            const MainPaintAreas a = ComputeMainPaintAreas(l);
            TileBitmap(background_, a.tiledBelowControlPanel, p);
            const Rect& box = a.timelineLeftBox;
            if (box.right > box.left && box.bottom > box.top) {
                p.setPen(QColor(100, 100, 100));
                p.setBrush(QColor(39, 54, 61));
                p.drawRect(QRect(QPoint(box.left, box.top), QPoint(box.right - 1, box.bottom - 1)));
            }
        }
    }
    QPainter(this).drawPixmap(0, 0, buffer);
}

void CDWDlg::keyPressEvent(QKeyEvent* event) {
    // Escape must never close the main window, and Enter does nothing.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter: event->accept(); return;
    default: QDialog::keyPressEvent(event);
    }
}

void CDWDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The window menu's About item, offered where no panel has its own use for
    // the right button: the window's background and the toolbar's.
    QWidget* under = childAt(event->pos());
    if (under && under != toolbar_) {
        event->ignore();
        return;
    }
    QMenu menu(this);
    menu.addSeparator();
    QAction* about = menu.addAction(AboutMenuText());
    if (menu.exec(event->globalPos()) == about) OnSysCommand(kAboutSysCommand);
}

void CDWDlg::OnSysCommand(int command) {
    if ((command & ~0xF) == kAboutSysCommand) ShowAboutBox(this);
}

bool CDWDlg::event(QEvent* e) {
    if (e->type() == AppMessageEvent::eventType()) {
        auto* m = static_cast<AppMessageEvent*>(e);
        OnAppMessage(m->message(), m->wParam());
        m->result = 0;
        return true;
    }
    return QDialog::event(e);
}

void CDWDlg::OnAppMessage(int message, qintptr wParam) {
    switch (message) {
    case WM_APP_NEW_PROJECT: OnNewProject(); break;
    case WM_APP_ENSURE_SOURCE:
        if (controlPanelIf_) controlPanelIf_->EnsureSource();
        break;
    case WM_APP_REFRESH_PANEL:
        if (controlPanelIf_) controlPanelIf_->UpdateControls();
        break;
    case WM_APP_REDRAW_MATRIX:
        if (matrixEditor_) matrixEditor_->repaint();
        break;
    case WM_APP_ENCODER_CHANGED: OnEncoderChanged(); break;
    case WM_APP_EFFECT_SWITCHED: OnEffectSwitched(wParam); break;
    case WM_APP_EFFECT_AMOUNT: OnEffectAmount(wParam); break;
    case WM_APP_STOP: OnStop(); break;
    case WM_APP_PROJECT_EDITED:
        if (history_) history_->Record();
        break;
    case WM_APP_NEW_VARIATION: OnNewVariation(); break;
    case WM_APP_MUSIC_CREATED:
        seedPolicy_.Used(engine_.Seed());
        if (controlPanelIf_) controlPanelIf_->ShowSeed();
        break;
    default: break;  // WM_APP + 3 and anything else: not handled
    }
}

void CDWDlg::OnNewProject() {
    project_.sections.SetDefaults();
    project_.matrix.SetDefaults();
    if (matrixEditor_) matrixEditor_->update();
    project_.properties.sourceLoaded = false;
    project_.properties.SetDefaults();
    if (controlPanelIf_) {
        controlPanelIf_->SetEncoderIndex(0);
        controlPanelIf_->SetRememberedQuality(-1);
        controlPanelIf_->UpdateControls();
    }
}

void CDWDlg::OnEncoderChanged() {
    encoderIndex_ = static_cast<int>(project_.properties.encoder);
    acmFormat_.reset();
    if (encoderIndex_ == 2 || encoderIndex_ == 3) {
        const std::optional<SoundFormat> chosen =
            acmChooser_ ? acmChooser_(encoderIndex_, project_.properties.sampleRate)
                        : audio_->ChooseAcmFormat(this, encoderIndex_, project_.properties.sampleRate);
        if (chosen) acmFormat_ = std::make_unique<SoundFormat>(*chosen);
        if (!acmFormat_) {
            // Cancelled or failed: write plain float WAV, and show it.
            encoderIndex_ = 0;
            if (controlPanelIf_) {
                controlPanelIf_->SetEncoderIndex(0);
                controlPanelIf_->UpdateControls();
            }
        }
    }
    if (toolbar_) toolbar_->SetEncoder(encoderIndex_, acmFormat_.get());
}

void CDWDlg::OnEffectSwitched(qintptr effect) {
    if (effect < 0 || effect > 2) return;
    audio_->ApplyEffectSwitch(static_cast<int>(effect), this);
}

void CDWDlg::OnEffectAmount(qintptr effect) {
    if (effect < 0 || effect > 2) return;
    audio_->ApplyEffectAmount(static_cast<int>(effect));
}

void CDWDlg::OnStop() {
    if (timelinePanel_) timelinePanel_->SetPlayCursor(0.0);
    if (timeline_) timeline_->update();
    audio_->StopMainStream();
    if (transportPanel_) transportPanel_->ClearStartedAndPaused();
}

void CDWDlg::OnNewVariation() {
    if (!transportPanel_) return;
    // Any seed but the present music's, drawn from the system's entropy: a
    // variation need not be repeatable until it is made, and then its seed
    // is shown.
    std::random_device device;
    seedPolicy_.NewVariation(engine_.Seed(), [&device] { return static_cast<std::uint32_t>(device()); });
    if (controlPanelIf_) controlPanelIf_->ShowSeed();
    project_.musicOutdated = 1;
    transportPanel_->PlayRoad(project_.musicOutdated);
    seedPolicy_.DropVariation();  // spent by its creation, or not made
}

void CDWDlg::LoadCommandLineProject() {
    if (!toolbar_) return;
    // As Open Project after its dialog: on success the source is decoded, the
    // control panel and the matrix show the file, and the title names it.
    toolbar_->SetCurrentProjectPath(commandLineFile_);
    if (!toolbar_->LoadProjectAndRefresh(commandLineFile_)) toolbar_->SetCurrentProjectPath(QString());
}

void CDWDlg::closeEvent(QCloseEvent* event) {
    if (!closed_) reject();
    event->accept();
}

void CDWDlg::reject() {
    closed_ = true;
    audio_->Shutdown();
    done(1);
}

void CDWDlg::DecodeRestoredSource(const RestoredChanges& changes) {
    if (!controlPanelIf_) return;
    // The panel shows the restored encoder; a changed quality is applied by
    // the refresh (which decodes at the new rate), another source by its decode.
    controlPanelIf_->SetEncoderIndex(static_cast<int>(project_.properties.encoder));
    if (changes.quality) controlPanelIf_->UpdateControls();
    if (!project_.properties.sourceLoaded && !project_.properties.sourcePath.empty()) controlPanelIf_->EnsureSource();
}

void CDWDlg::ShowRestored(const RestoredChanges& changes) {
    if (controlPanelIf_) {
        controlPanelIf_->SetEncoderIndex(static_cast<int>(project_.properties.encoder));
        controlPanelIf_->UpdateControls();
    }
    if (changes.encoder && encoderIndex_ != static_cast<int>(project_.properties.encoder)) OnEncoderChanged();
    for (int effect = 0; effect < 3; ++effect) {
        if (changes.effectSwitched[static_cast<std::size_t>(effect)]) OnEffectSwitched(effect);
        if (changes.effectAmount[static_cast<std::size_t>(effect)]) OnEffectAmount(effect);
    }
    if (matrixEditor_) matrixEditor_->update();
    if (timeline_) timeline_->update();
    if (toolbar_) toolbar_->UpdateTitle();
}

bool CDWDlg::audioStarted() const { return audio_->started(); }
bool CDWDlg::playbackStreamCreated() const { return audio_->streamCreated(); }
PlaybackStream& CDWDlg::playbackStream() { return audio_->stream(); }

}  // namespace dw

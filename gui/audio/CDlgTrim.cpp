#include "gui/audio/CDlgTrim.h"

#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionFrame>
#include <QTimerEvent>
#include <QVBoxLayout>

#include "gui/audio/CDlgTrimPlayer.h"
#include "core/model/Project.h"
#include "core/resources/StringTable.h"
#include "gui/kit/ArtResources.h"
#include "gui/kit/ShapePainting.h"

namespace dw {

// The drawing area: the dialog's frame control. Its 2-pixel sunken border
// surrounds the drawing rectangle, whose top-left corner is the origin of all
// the dialog's drawing and mouse positions.
class TrimCanvas final : public QWidget {
public:
    static constexpr int kBorder = 2;

    explicit TrimCanvas(CDlgTrim* dialog) : QWidget(dialog), dialog_(dialog) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);
        setMinimumSize(200, 120);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        PaintBuffered(this, [this](QPainter& p, QSize size) {
            // The frame: dark on the top and left edges, light on the others.
            FillRect(p, 0, 0, size.width(), size.height(), Rgb(255, 255, 255));
            FillRect(p, 0, 0, size.width() - 1, size.height() - 1, Rgb(160, 160, 160));
            FillRect(p, 1, 1, size.width() - 1, size.height() - 1, Rgb(227, 227, 227));
            FillRect(p, 1, 1, size.width() - 2, size.height() - 2, Rgb(105, 105, 105));
            const TrimLayout layout = dialog_->Layout();
            p.save();
            p.translate(kBorder, kBorder);
            p.setClipRect(0, 0, layout.width, layout.Height());
            dialog_->RenderWave(p, layout);
            p.restore();
        });
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) dialog_->MousePress(Local(e));
    }
    void mouseMoveEvent(QMouseEvent* e) override { dialog_->MouseMove(Local(e)); }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) dialog_->MouseRelease();
    }

private:
    static QPoint Local(QMouseEvent* e) { return e->position().toPoint() - QPoint(kBorder, kBorder); }
    CDlgTrim* dialog_;
};

namespace {

QCursor CursorFor(TrimCursor shape) {
    switch (shape) {
    case TrimCursor::Position: return LoadCursorResource(IDC_HAND_LEFTRIGHT);
    case TrimCursor::StartEdge: return LoadCursorResource(IDC_HAND_LEFT);
    case TrimCursor::EndEdge: return LoadCursorResource(IDC_HAND_RIGHT);
    case TrimCursor::Arrow: break;
    }
    return QCursor(Qt::ArrowCursor);
}

QString Caption(CDlgTrim::Mode mode) {
    const int id = mode == CDlgTrim::kTrimSource ? 61640 : 61641;
    const std::string_view text = LoadString(id);
    if (!text.empty()) return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return mode == CDlgTrim::kTrimSource ? QStringLiteral("Trim the music source")
                                         : QStringLiteral("Define a section source range");
}

}  // namespace

CDlgTrim::CDlgTrim(QWidget* parent, CProperties* properties, Mode mode, FractionRange range,
                   FractionRange defaultRange)
    : QDialog(parent), properties_(properties), mode_(mode), range_(range), default_(defaultRange) {
    setWindowTitle(Caption(mode));
    font_ = VerdanaFont(10, this);

    canvas_ = new TrimCanvas(this);
    auto* play = new QPushButton(QStringLiteral("Play"), this);
    auto* playRange = new QPushButton(QStringLiteral("Play Range"), this);
    auto* stop = new QPushButton(QStringLiteral("Stop"), this);
    auto* restore = new QPushButton(QStringLiteral("Default"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    play->setObjectName(QStringLiteral("play"));
    playRange->setObjectName(QStringLiteral("playRange"));
    stop->setObjectName(QStringLiteral("stop"));
    restore->setObjectName(QStringLiteral("default"));
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setObjectName(QStringLiteral("cancel"));
    for (QPushButton* b : {play, playRange, stop, restore}) b->setAutoDefault(false);
    connect(play, &QPushButton::clicked, this, [this] { OnPlay(); });
    connect(playRange, &QPushButton::clicked, this, [this] { OnPlayRange(); });
    connect(stop, &QPushButton::clicked, this, [this] { OnStop(); });
    connect(restore, &QPushButton::clicked, this, [this] { OnDefault(); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {play, playRange, stop, restore}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(canvas_, 1);
    layout->addLayout(buttons);
    resize(657, 447);  // the dialog's template size at 96 dots per inch

    if (properties_) player_ = MakeTrimPlayer(*properties_);
    timer_.start(kTimerPeriodMs, this);
}

CDlgTrim::~CDlgTrim() = default;

QWidget* CDlgTrim::Canvas() const { return canvas_; }

TrimLayout CDlgTrim::Layout() const {
    return TrimLayoutFor(canvas_->width(), canvas_->height());
}

std::uint32_t CDlgTrim::FrameCount() const {
    return properties_ && properties_->sourceFrames ? properties_->sourceFrameCount : 0;
}

const float* CDlgTrim::Samples() const {
    if (!properties_ || !properties_->sourceFrames) return nullptr;
    return reinterpret_cast<const float*>(properties_->sourceFrames.get());
}

std::uint64_t CDlgTrim::PlayerFrame() const { return player_ ? player_->Frame() : 0; }
bool CDlgTrim::PlayerActive() const { return player_ && player_->Active(); }

void CDlgTrim::RenderWave(QPainter& p, const TrimLayout& layout) {
    const int w = layout.width;
    const int h = layout.waveHeight;
    const QColor wave = Rgb(200, 210, 220);
    FillRect(p, 0, 0, w, layout.Height(), Rgb(39, 54, 61));
    FillRect(p, static_cast<int>(w * range_.start), 0, static_cast<int>(w * range_.end), h, Rgb(100, 110, 120));

    const int leftCentre = static_cast<int>(h * 0.25);
    const int rightCentre = static_cast<int>(h * 0.75);
    const int scale = h / 4;
    const std::vector<Peak>& peaks = peaks_.Get(Samples(), FrameCount(), w);
    for (int i = 0; i < static_cast<int>(peaks.size()); ++i) {
        const int dl = static_cast<int>(scale * peaks[i].left);
        const int dr = static_cast<int>(scale * peaks[i].right);
        VLine(p, i, leftCentre - dl, leftCentre + dl, wave);
        VLine(p, i, rightCentre - dr, rightCentre + dr, wave);
    }

    HLine(p, 0, w, static_cast<int>(h * 0.5), wave, 3);
    HLine(p, 0, w, h + 1, wave, 3);
    HLine(p, 0, w, leftCentre, wave);
    HLine(p, 0, w, rightCentre, wave);

    const QColor ruler = Rgb(182, 187, 189);
    HLine(p, 0, w, h + 4, ruler);
    p.setFont(font_);
    p.setPen(ruler);
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(Rgb(39, 54, 61));
    const QFontMetrics metrics(font_);
    const std::uint32_t rate = properties_ ? properties_->sampleRate : 0;
    for (const RulerTick& tick : SourceTicks(w, FrameCount(), rate)) {
        VLine(p, tick.x, h + 5, h + 5 + tick.length, ruler);
        if (tick.label.empty()) continue;
        const QString text = QString::fromStdString(tick.label);
        const int tw = metrics.horizontalAdvance(text);
        p.drawText(QRect(tick.x - tw / 2, h + 9, tw + 1, metrics.height()), Qt::AlignLeft | Qt::AlignTop, text);
    }
    p.setBackgroundMode(Qt::TransparentMode);

    VLine(p, marker_, 0, h, Rgb(195, 200, 210));
    FrameRect(p, marker_ - 4, h + 3, marker_ + 4, h + 30, Rgb(56, 66, 76), Rgb(240, 245, 250));
}

void CDlgTrim::MousePress(QPoint pos) {
    mouse_ = pos;
    const TrimLayout layout = Layout();
    const bool inColumns = pos.x() >= 0 && pos.x() < layout.width;
    if (inColumns && pos.y() >= 0 && pos.y() < layout.waveHeight) {
        draggingRange_ = true;
        grabbed_ = GrabEdge(pos.x(), range_, layout.width);
        if (grabbed_ != TrimEdge::None) {
            grabbed_ = MoveEdge(range_, grabbed_, pos.x(), layout.width);
        } else {
            anchor_ = pos.x();
            range_ = NewSelection(anchor_, pos.x(), layout.width);
        }
    } else if (inColumns && pos.y() >= layout.waveHeight && pos.y() < layout.Height()) {
        draggingMarker_ = true;
        SetMarkerFromX(pos.x());
    }
    UpdateCursor();
    canvas_->update();
}

void CDlgTrim::MouseMove(QPoint pos) {
    mouse_ = pos;
    const int w = Layout().width;
    if (draggingRange_) {
        if (grabbed_ != TrimEdge::None)
            grabbed_ = MoveEdge(range_, grabbed_, pos.x(), w);
        else
            range_ = NewSelection(anchor_, pos.x(), w);
    } else if (draggingMarker_) {
        SetMarkerFromX(pos.x());
    }
    UpdateCursor();
    canvas_->update();
}

void CDlgTrim::MouseRelease() {
    draggingRange_ = false;
    draggingMarker_ = false;
    grabbed_ = TrimEdge::None;
    UpdateCursor();
}

void CDlgTrim::UpdateCursor() {
    // While an edge is dragged its cursor stays, and follows the edge when the two swap.
    if (draggingRange_ && grabbed_ == TrimEdge::Start)
        cursorShape_ = TrimCursor::StartEdge;
    else if (draggingRange_ && grabbed_ == TrimEdge::End)
        cursorShape_ = TrimCursor::EndEdge;
    else
        cursorShape_ = CursorAt(mouse_.x(), mouse_.y(), range_, Layout());
    canvas_->setCursor(CursorFor(cursorShape_));
}

void CDlgTrim::SetMarkerFromX(int x) {
    marker_ = ClampToWave(x, Layout().width);
    PlayFromMarker();
}

void CDlgTrim::PlayFromMarker() {
    if (!playing_ || !player_) return;
    player_->Stop();
    player_->Seek(MarkerFrame(marker_, Layout().width, FrameCount()));
    player_->Play();
}

void CDlgTrim::OnPlay() {
    playing_ = true;
    playRange_ = false;
    PlayFromMarker();
    canvas_->update();
}

void CDlgTrim::OnPlayRange() {
    playing_ = true;
    playRange_ = true;
    marker_ = static_cast<int>(Layout().width * range_.start);
    PlayFromMarker();
    canvas_->update();
}

void CDlgTrim::OnStop() {
    playing_ = false;
    if (player_) player_->Stop();
    canvas_->update();
}

void CDlgTrim::OnDefault() {
    range_ = default_;
    canvas_->update();
}

void CDlgTrim::OnTimerTick() {
    if (!playing_) return;
    const int w = Layout().width;
    const std::uint64_t frame = PlayerFrame();
    switch (TrimTimerStep(PlayerActive(), playRange_, frame, FrameCount(), range_)) {
    case TrimTick::Ended:
        if (player_) player_->Stop();
        marker_ = 0;
        playing_ = false;
        break;
    case TrimTick::RestartRange:
        marker_ = static_cast<int>(w * range_.start);
        PlayFromMarker();
        break;
    case TrimTick::Follow: marker_ = MarkerForFrame(frame, FrameCount(), w); break;
    }
    canvas_->update();
}

void CDlgTrim::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timer_.timerId())
        OnTimerTick();
    else
        QDialog::timerEvent(event);
}

void CDlgTrim::done(int result) {
    // The player plays the properties' source: it stops and goes before the dialog does.
    timer_.stop();
    if (player_) player_->Stop();
    player_.reset();
    playing_ = false;
    QDialog::done(result);
}

bool CDlgTrim::RunTrimSource(QWidget* parent, CProject& project) {
    CProperties& props = project.properties;
    CDlgTrim dialog(parent, &props, kTrimSource, {props.trimStart, props.trimEnd}, {0.05, 0.95});
    if (dialog.exec() != QDialog::Accepted) return false;
    const FractionRange range = dialog.Range();
    // A range of no width would leave nothing to make music from; the
    // dialog's selections are never narrower than five pixels, so only a
    // degenerate default could get here.
    if (!(range.start < range.end)) return false;
    props.trimStart = range.start;
    props.trimEnd = range.end;
    project.musicOutdated = 1;
    return true;
}

std::optional<FractionRange> CDlgTrim::RunSectionSource(QWidget* parent, CProperties* properties,
                                                        const FractionRange& defaultRange,
                                                        const FractionRange& initialRange) {
    CDlgTrim dialog(parent, properties, kSectionSource, initialRange, defaultRange);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Range();
}

}  // namespace dw

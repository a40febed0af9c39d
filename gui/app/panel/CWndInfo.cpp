#include "gui/app/panel/CWndInfo.h"
#include "gui/kit/TableText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimeEdit>

#include <cmath>
#include <filesystem>

#include "core/geometry/MainLayout.h"
#include "core/base/TextEscape.h"
#include "core/panel/InfoLogic.h"
#include "core/panel/StoredFields.h"
#include "gui/audio/CDlgProgressLoadMusic.h"
#include "core/audio/SourceLoader.h"
#include "gui/audio/CDlgTrim.h"
#include "core/model/Project.h"
#include "core/resources/StringTable.h"
#include "gui/kit/AppMessages.h"
#include "gui/kit/PendingEdit.h"

namespace dw {

// The music length picker: arrow steps commit at once, typed values when the
// user leaves the field or presses Enter (a half-typed "0" must not be
// corrected while the user is still typing "05").
class CMusicLengthPicker final : public QTimeEdit {
public:
    using QTimeEdit::QTimeEdit;
    std::function<void()> onStep;
    void stepBy(int steps) override {
        QTimeEdit::stepBy(steps);
        if (onStep) onStep();
    }
};

namespace {
CWndInfo::FileChooser& Chooser() {
    static CWndInfo::FileChooser chooser;
    return chooser;
}

QString Text(int id) { return TableText(id); }

QRect Dlu(int x, int y, int w, int h) {
    return {DialogUnitsToPixelsX(x), DialogUnitsToPixelsY(y), DialogUnitsToPixelsX(w), DialogUnitsToPixelsY(h)};
}

QString Name(int id) { return QStringLiteral("ctl-%1").arg(id); }

// The file name after the last separator ("\" as the project files of other
// systems write it, or "/"), or the whole path when it has none; control
// characters in it are shown escaped.
QString FileNameOf(const std::string& path) {
    const auto cut = path.find_last_of("\\/");
    return QString::fromStdString(EscapeForDisplay(cut == std::string::npos ? path : path.substr(cut + 1)));
}
}  // namespace

CWndInfo::CWndInfo(QWidget* parent, CProject* project, QObject* mainWindow, IMessageSink* messages,
                   SeedPolicy* seeds)
    : QFrame(parent), project_(project), mainWindow_(mainWindow), messages_(messages),
      seeds_(seeds ? seeds : &ownSeeds_) {
    setObjectName(QStringLiteral("panel-%1").arg(IDC_CONTROL_PANEL));
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setAutoFillBackground(true);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    resize(DialogUnitsToPixelsX(kControlPanelDialogUnitsW), DialogUnitsToPixelsY(kControlPanelDialogUnitsH));
    CreateControls();
    UpdateControls();
    panelSize_ = size();
}

QString CWndInfo::SourceFileFilter() {
    // Every type the decoder reads, in lower and upper case: files from other
    // systems often carry upper-case names, and the patterns match exactly.
    QStringList lower, upper;
    for (const std::string& e : SourceFileExtensions()) {
        lower << QStringLiteral("*.") + QString::fromStdString(e);
        upper << QStringLiteral("*.") + QString::fromStdString(e).toUpper();
    }
    return QStringLiteral("Music source files (%1 %2);;All files (*)").arg(lower.join(QLatin1Char(' ')),
                                                                          upper.join(QLatin1Char(' ')));
}

QString CWndInfo::SourceFileTitle() { return Text(IDS_SELECT_SOURCE_FILE); }

void CWndInfo::SetFileChooser(FileChooser chooser) { Chooser() = std::move(chooser); }

QWidget* CWndInfo::Control(int id) const { return findChild<QWidget*>(Name(id)); }

void CWndInfo::CreateControls() {
    auto label = [this](const QString& text, QRect r, int id = 0) {
        auto* l = new QLabel(text, this);
        l->setGeometry(r);
        if (id) l->setObjectName(Name(id));
        return l;
    };
    auto check = [this](int id, QRect r) {
        auto* c = new QCheckBox(this);
        c->setObjectName(Name(id));
        c->setGeometry(r.x(), r.y() - 2, r.width() + 6, r.height() + 4);  // room for the box itself
        connect(c, &QCheckBox::clicked, this, [this, id] { OnCheckBox(id); });
        return c;
    };
    auto slider = [this](int id, QRect r) {
        auto* s = new QSlider(Qt::Horizontal, this);
        s->setObjectName(Name(id));
        s->setGeometry(r);
        s->setRange(0, 100);
        s->setTickPosition(QSlider::NoTicks);
        connect(s, &QSlider::valueChanged, this, [this, id](int v) { OnSlider(id, v); });
        // A drag is one edit, however many values it passed through.
        connect(s, &QSlider::sliderReleased, this, [this] { Edited(); });
        return s;
    };
    auto combo = [this](int id, QRect r) {
        auto* c = new QComboBox(this);
        c->setObjectName(Name(id));
        c->setGeometry(r.x(), r.y(), r.width(), std::max(r.height(), 20));
        return c;
    };

    // One row per stored field with a control, top to bottom, from the
    // stored-field table; the seed (no stored field) follows by hand.
    for (const StoredField& f : StoredFields()) {
        const QString caption = QString::fromUtf8(f.caption.data(), static_cast<qsizetype>(f.caption.size()));
        const auto rect = [](const DluRect& r) { return Dlu(r.x, r.y, r.w, r.h); };
        const auto captionLabel = [&] {
            if (!caption.isEmpty()) label(caption, rect(f.captionRect), f.captionId);
        };
        switch (f.control) {
        case PanelControl::None: break;
        case PanelControl::Source: {
            auto* select = new QPushButton(QStringLiteral("Select music source"), this);
            select->setObjectName(Name(IDC_SELECT_SOURCE));
            select->setGeometry(Dlu(8, 8, 86, 16));
            connect(select, &QPushButton::clicked, this, [this] { OnSelectSource(); });
            auto* trim = new QPushButton(QStringLiteral("Trim"), this);
            trim->setObjectName(Name(IDC_TRIM));
            trim->setGeometry(Dlu(131, 8, 32, 16));
            connect(trim, &QPushButton::clicked, this, [this] { OnTrim(); });
            auto* source = new QLineEdit(this);
            source->setObjectName(Name(f.controlId));
            source->setReadOnly(true);
            source->setGeometry(rect(f.controlRect).adjusted(0, -2, 0, 2));
            break;
        }
        case PanelControl::MusicLength: {
            captionLabel();
            auto* picker = new CMusicLengthPicker(this);
            picker->setObjectName(Name(f.controlId));
            picker->setGeometry(rect(f.controlRect).adjusted(0, 0, 12, 0));
            picker->setDisplayFormat(QStringLiteral("mm:ss"));
            picker->setAlignment(Qt::AlignRight);
            picker->onStep = [this] { OnMusicLengthCommitted(); };
            connect(picker, &QTimeEdit::editingFinished, this, [this] { OnMusicLengthCommitted(); });
            break;
        }
        case PanelControl::MotifLength: {
            captionLabel();
            auto* motif = new QLineEdit(this);
            motif->setObjectName(Name(f.controlId));
            motif->setGeometry(rect(f.controlRect).adjusted(0, -2, 0, 2));
            // Enter commits as leaving the field does.
            connect(motif, &QLineEdit::editingFinished, this, [this] { OnBaseMotifCommitted(); });
            break;
        }
        case PanelControl::CheckLeft:
            captionLabel();
            check(f.controlId, rect(f.controlRect));
            break;
        case PanelControl::CheckRight:
            check(f.controlId, rect(f.controlRect));
            captionLabel();
            break;
        case PanelControl::Combo: {
            captionLabel();
            auto* c = combo(f.controlId, rect(f.controlRect));
            const int id = f.controlId;
            connect(c, &QComboBox::currentIndexChanged, this, [this, id](int i) {
                if (id == IDC_QUALITY) OnQualitySelected(i);
                else OnEncoderSelected(i);
            });
            break;
        }
        case PanelControl::Slider:
            captionLabel();
            label(QStringLiteral("100%"), rect(f.valueRect), f.valueId);
            slider(f.controlId, rect(f.controlRect))->setRange(0, f.sliderMax);
            break;
        }
    }

    label(QStringLiteral("Seed"), Dlu(8, 313, 44, 8), IDC_SEED_LABEL);
    auto* seed = new QLineEdit(this);
    seed->setObjectName(Name(IDC_SEED));
    seed->setGeometry(Dlu(78, 312, 84, 12).adjusted(0, -2, 0, 2));
    seed->setAlignment(Qt::AlignRight);
    // Digits only; whether the number fits 32 bits is checked on commit.
    seed->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,10}")), seed));
    seed->setToolTip(QStringLiteral("The seed of the music: the same seed and project make the same music"));
    connect(seed, &QLineEdit::editingFinished, this, [this] { OnSeedCommitted(); });
    check(IDC_KEEP_SEED, Dlu(8, 333, 8, 8));
    label(QStringLiteral("Keep seed"), Dlu(22, 332, 44, 8), IDC_KEEP_SEED_LABEL);
    auto* variation = new QPushButton(QStringLiteral("New variation"), this);
    variation->setObjectName(Name(IDC_NEW_VARIATION));
    variation->setGeometry(Dlu(95, 329, 67, 15));
    variation->setToolTip(QStringLiteral("Create the music again with a new seed"));
    connect(variation, &QPushButton::clicked, this, [this] { Send(WM_APP_NEW_VARIATION); });

    // Labels are one text line high whatever the font makes of 8 units, and
    // as wide as their text up to the value column, so no name is cut off.
    const int valueColumn = DialogUnitsToPixelsX(76);
    for (QLabel* l : findChildren<QLabel*>()) {
        const int limit = (l->x() < valueColumn ? valueColumn - 1 : width() - 2) - l->x();
        l->resize(std::min(std::max(l->width(), l->sizeHint().width()), limit), std::max(l->height(), 14));
    }
}

void CWndInfo::Send(int message, qintptr wParam) { SendAppMessage(mainWindow_, message, wParam); }

void CWndInfo::Edited() { Send(WM_APP_PROJECT_EDITED); }

void CWndInfo::MarkMusic(int controlId) {
    if (const StoredField* f = StoredFieldOfControl(controlId))
        project_->musicOutdated = dw::MarkMusic(project_->musicOutdated, f->mark);
}

void CWndInfo::SetValueLabel(int id, int value) {
    if (auto* l = ControlAs<QLabel>(id)) l->setText(QString::number(value));
}

void CWndInfo::ShowMusicLength(std::uint32_t seconds) {
    auto* picker = ControlAs<QTimeEdit>(IDC_MUSIC_LENGTH);
    const PickerTime t = PickerTimeOf(seconds);
    ++updating_;
    picker->setDisplayFormat(t.withHours ? QStringLiteral("H:mm:ss") : QStringLiteral("mm:ss"));
    if (t.displayable) {
        picker->setSpecialValueText(QString());
        picker->setTime(QTime(t.hours, t.minutes, t.seconds));
    } else {
        // No time picker reaches a day; say the stored length in seconds.
        picker->setSpecialValueText(QStringLiteral("%1 s").arg(seconds));
        picker->setTime(picker->minimumTime());
    }
    --updating_;
}

void CWndInfo::ShowMotifLength() {
    ControlAs<QLineEdit>(IDC_BASE_MOTIF)
        ->setText(QString::fromStdString(FormatMotifOnRefresh(project_->properties.baseMotifLength)));
}

void CWndInfo::UpdateControls() {
    if (project_ == nullptr) return;
    CProperties& p = project_->properties;
    ++updating_;
    ShowSourceName();
    // A failed source can be trimmed once another is chosen: Trim asks.
    Control(IDC_TRIM)->setEnabled(p.sourceLoaded || p.sourceMissing);
    ShowMusicLength(p.musicLength);
    ShowMotifLength();
    ControlAs<QCheckBox>(IDC_FRACTAL_SCANNER)->setChecked(p.fractalScanner);
    ControlAs<QCheckBox>(IDC_LOOP_MOTIFS)->setChecked(p.loopMotifs);

    auto* encoder = ControlAs<QComboBox>(IDC_ENCODER);
    encoder->clear();
    for (const QualityEntry& e : kQualityTable) encoder->addItem(Text(e.encoderTextId));
    encoder->setCurrentIndex(encoderIndex_);
    auto* quality = ControlAs<QComboBox>(IDC_QUALITY);
    quality->clear();
    for (const QualityEntry& e : kQualityTable) quality->addItem(Text(e.qualityTextId));
    --updating_;

    ApplyQuality();  // may decode again, and come back here

    ++updating_;
    quality->setCurrentIndex(static_cast<int>(p.quality));
    const int volume = PercentOf(p.volume);
    SetValueLabel(IDC_VOLUME_VALUE, volume);
    ControlAs<QSlider>(IDC_VOLUME)->setValue(volume);
    ControlAs<QCheckBox>(IDC_LOOP_MUSIC)->setChecked(p.loopMusic);
    SetValueLabel(IDC_FADE_IN_VALUE, static_cast<int>(p.fadeIn));
    ControlAs<QSlider>(IDC_FADE_IN)->setRange(0, static_cast<int>(kMaxFade));
    ControlAs<QSlider>(IDC_FADE_IN)->setValue(static_cast<int>(p.fadeIn));
    SetValueLabel(IDC_FADE_OUT_VALUE, static_cast<int>(p.fadeOut));
    ControlAs<QSlider>(IDC_FADE_OUT)->setRange(0, static_cast<int>(kMaxFade));
    ControlAs<QSlider>(IDC_FADE_OUT)->setValue(static_cast<int>(p.fadeOut));
    struct Effect {
        double amount;
        bool on;
        int value, slider, check;
    };
    const Effect effects[] = {
        {p.highCut, p.highCutOn, IDC_HIGH_CUT_VALUE, IDC_HIGH_CUT, IDC_HIGH_CUT_ON},
        {p.reverb, p.reverbOn, IDC_REVERB_VALUE, IDC_REVERB, IDC_REVERB_ON},
        {p.chorus, p.chorusOn, IDC_CHORUS_VALUE, IDC_CHORUS, IDC_CHORUS_ON},
    };
    for (const Effect& e : effects) {
        const int v = PercentOf(e.amount);
        SetValueLabel(e.value, v);
        ControlAs<QSlider>(e.slider)->setValue(v);
        ControlAs<QCheckBox>(e.check)->setChecked(e.on);
    }
    --updating_;
    UpdateEnables();
}

void CWndInfo::UpdateEnables() {
    const CProperties& p = project_->properties;
    for (int id : {IDC_FADE_IN_LABEL, IDC_FADE_IN_VALUE, IDC_FADE_IN, IDC_FADE_OUT_LABEL, IDC_FADE_OUT_VALUE,
                   IDC_FADE_OUT})
        Control(id)->setEnabled(!p.loopMusic);
    Control(IDC_HIGH_CUT_VALUE)->setEnabled(p.highCutOn);
    Control(IDC_HIGH_CUT)->setEnabled(p.highCutOn);
    Control(IDC_REVERB_VALUE)->setEnabled(p.reverbOn);
    Control(IDC_REVERB)->setEnabled(p.reverbOn);
    Control(IDC_CHORUS_VALUE)->setEnabled(p.chorusOn);
    Control(IDC_CHORUS)->setEnabled(p.chorusOn);
}

void CWndInfo::ApplyQuality() {
    CProperties& p = project_->properties;
    if (p.quality < kQualityCount) p.sampleRate = kQualityTable[p.quality].sampleRate;
    if (static_cast<int>(p.quality) == rememberedQuality_) return;
    rememberedQuality_ = static_cast<int>(p.quality);
    p.sourceLoaded = false;
    DecodeSource();
    // The encoder shown becomes the project's. A list without a selection
    // would give -1, which no encoder and no project file knows: it counts
    // as the first encoder.
    const int shown = ControlAs<QComboBox>(IDC_ENCODER)->currentIndex();
    encoderIndex_ = shown < 0 ? 0 : shown;
    p.encoder = static_cast<std::uint32_t>(encoderIndex_);
    Send(WM_APP_ENCODER_CHANGED);
}

bool CWndInfo::EnsureSource() {
    CProperties& p = project_->properties;
    // A source that failed to open is asked for again, as a missing one is.
    const bool chosen = p.sourcePath.empty() || p.sourceMissing;
    if (chosen && !ChooseSourceFile()) return false;
    // The project's own source keeps the trim range stored with it: putting
    // it back to the default after opening a project lost the user's range
    // at the next save. A newly chosen file starts from the default.
    DecodeSource(/*keepTrim=*/!chosen);
    return !project_->properties.sourcePath.empty();
}

bool CWndInfo::ChooseSourceFile() {
    std::optional<QString> chosen;
    if (Chooser()) {
        chosen = Chooser()();
    } else {
        const QString path = QFileDialog::getOpenFileName(window(), SourceFileTitle(), QString(), SourceFileFilter(),
                                                          nullptr, QFileDialog::Options());
        if (!path.isEmpty()) chosen = path;
    }
    if (!chosen || chosen->isEmpty()) return false;
    project_->properties.sourcePath = chosen->toStdString();
    project_->properties.sourceLoaded = false;
    project_->properties.sourceMissing = false;
    UpdateControls();
    return true;
}

bool CWndInfo::DecodeSource(bool keepTrim) {
    CProperties& p = project_->properties;
    if (p.sourcePath.empty()) return false;
    if (p.sourceLoaded) return true;
    Send(WM_APP_STOP);
    {
        CDlgProgressLoadMusic dlg(window(), &p, messages_);
        if (dlg.exec() != QDialog::Accepted) {
            ShowSourceName();
            Control(IDC_TRIM)->setEnabled(p.sourceMissing);
            return false;
        }
    }
    p.sourceLoaded = true;
    UpdateControls();
    if (!keepTrim) {
        p.trimStart = 0.05;
        p.trimEnd = 0.95;
    }
    project_->musicOutdated = 1;
    Edited();  // the new trim range belongs to the source that set it
    return true;
}

void CWndInfo::OnSelectSource() {
    if (!ChooseSourceFile()) return;
    DecodeSource();
    Edited();  // the new source is an edit even when it could not be decoded
}

void CWndInfo::ShowSourceName() {
    const CProperties& p = project_->properties;
    QString shown = FileNameOf(p.sourcePath);
    if (p.sourceMissing) shown = MissingSourceText(shown, p.sourcePath);
    ControlAs<QLineEdit>(IDC_SOURCE_NAME)->setText(shown);
    ControlAs<QLineEdit>(IDC_SOURCE_NAME)->setToolTip(QString::fromStdString(EscapeForDisplay(p.sourcePath)));
}

QString CWndInfo::MissingSourceText(const QString& name, const std::string& path) {
    const bool exists = std::filesystem::exists(std::filesystem::path(path));
    return name + (exists ? QStringLiteral(" (cannot be used)") : QStringLiteral(" (missing)"));
}

void CWndInfo::OnTrim() {
    CommitPendingEdit();  // the range is chosen for the music as typed
    if (!project_->properties.sourceLoaded && !EnsureSource()) return;
    if (!project_->properties.sourceLoaded) return;
    Send(WM_APP_STOP);
    if (CDlgTrim::RunTrimSource(window(), *project_)) Edited();  // sets the range and musicOutdated on OK
}

void CWndInfo::OnMusicLengthCommitted() {
    if (updating_) return;
    auto* picker = ControlAs<QTimeEdit>(IDC_MUSIC_LENGTH);
    const QTime t = picker->time();
    const auto secs = static_cast<std::uint32_t>(t.hour() * 3600 + t.minute() * 60 + t.second());
    CProperties& p = project_->properties;
    p.musicLength = CorrectMusicLength(secs, p.baseMotifLength);
    ShowMusicLength(p.musicLength);
    MarkMusic(IDC_MUSIC_LENGTH);
    Edited();
}

void CWndInfo::OnBaseMotifCommitted() {
    if (updating_) return;
    auto* edit = ControlAs<QLineEdit>(IDC_BASE_MOTIF);
    CProperties& p = project_->properties;
    const double v = CorrectBaseMotifLength(edit->text().toStdString(), p.musicLength);
    edit->setText(QString::fromStdString(FormatMotifAfterInput(v)));
    p.baseMotifLength = v;
    MarkMusic(IDC_BASE_MOTIF);  // on every commit, changed or not
    Edited();
}

void CWndInfo::ShowSeed() {
    const std::optional<std::uint32_t> seed = seeds_->Shown();
    ++updating_;
    ControlAs<QLineEdit>(IDC_SEED)->setText(seed ? QString::number(*seed) : QString());
    ControlAs<QCheckBox>(IDC_KEEP_SEED)->setChecked(seeds_->Kept());
    --updating_;
}

void CWndInfo::OnSeedCommitted() {
    if (updating_) return;
    auto* edit = ControlAs<QLineEdit>(IDC_SEED);
    if (!edit->isModified()) return;  // left without typing
    edit->setModified(false);
    bool ok = false;
    const qulonglong typed = edit->text().toULongLong(&ok);
    if (!ok || typed > 0xFFFFFFFFull) {
        // Empty or past 32 bits: the field shows the seed it had.
        ShowSeed();
        return;
    }
    // A typed seed is one the user wants: it is kept, and the music made
    // with another one is out of date.
    const bool changed = seeds_->Type(static_cast<std::uint32_t>(typed));
    ShowSeed();
    if (changed) project_->musicOutdated = 1;
}

void CWndInfo::OnCheckBox(int id) {
    if (updating_) return;
    CProperties& p = project_->properties;
    const bool checked = ControlAs<QCheckBox>(id)->isChecked();
    switch (id) {
    case IDC_FRACTAL_SCANNER: p.fractalScanner = checked; break;
    case IDC_LOOP_MOTIFS: p.loopMotifs = checked; break;
    case IDC_LOOP_MUSIC:
        p.loopMusic = checked;
        UpdateEnables();
        break;
    case IDC_HIGH_CUT_ON:
        p.highCutOn = checked;
        UpdateEnables();
        Send(WM_APP_EFFECT_SWITCHED, 0);
        break;
    case IDC_REVERB_ON:
        p.reverbOn = checked;
        UpdateEnables();
        Send(WM_APP_EFFECT_SWITCHED, 1);
        break;
    case IDC_CHORUS_ON:
        p.chorusOn = checked;
        UpdateEnables();
        Send(WM_APP_EFFECT_SWITCHED, 2);
        break;
    case IDC_KEEP_SEED:
        // Keeping the seed of the music as it is changes nothing heard; the
        // next creation shows whether a new one was drawn.
        seeds_->SetKept(checked);
        break;
    default: break;
    }
    MarkMusic(id);
    Edited();
}

void CWndInfo::OnSlider(int id, int position) {
    if (updating_) return;
    CProperties& p = project_->properties;
    switch (id) {
    case IDC_VOLUME:
        p.volume = position / 100.0;
        SetValueLabel(IDC_VOLUME_VALUE, position);
        break;
    case IDC_FADE_IN:
        p.fadeIn = static_cast<std::uint32_t>(position);
        SetValueLabel(IDC_FADE_IN_VALUE, position);
        break;
    case IDC_FADE_OUT:
        p.fadeOut = static_cast<std::uint32_t>(position);
        SetValueLabel(IDC_FADE_OUT_VALUE, position);
        break;
    case IDC_HIGH_CUT:
        p.highCut = position / 100.0;
        SetValueLabel(IDC_HIGH_CUT_VALUE, position);
        Send(WM_APP_EFFECT_AMOUNT, 0);
        break;
    case IDC_REVERB:
        p.reverb = position / 100.0;
        SetValueLabel(IDC_REVERB_VALUE, position);
        Send(WM_APP_EFFECT_AMOUNT, 1);
        break;
    case IDC_CHORUS:
        p.chorus = position / 100.0;
        SetValueLabel(IDC_CHORUS_VALUE, position);
        Send(WM_APP_EFFECT_AMOUNT, 2);
        break;
    default: break;
    }
    MarkMusic(id);
    // Keys, the wheel and clicks beside the handle are one edit each; a drag
    // is one edit when it ends (sliderReleased).
    if (!ControlAs<QSlider>(id)->isSliderDown()) Edited();
}

void CWndInfo::OnQualitySelected(int index) {
    if (updating_ || index < 0) return;
    CProperties& p = project_->properties;
    rememberedQuality_ = static_cast<int>(p.quality);
    p.quality = static_cast<std::uint32_t>(index);
    MarkMusic(IDC_QUALITY);
    ApplyQuality();
    Edited();
}

void CWndInfo::OnEncoderSelected(int index) {
    if (updating_ || index < 0) return;
    encoderIndex_ = index;
    project_->properties.encoder = static_cast<std::uint32_t>(index);
    Send(WM_APP_ENCODER_CHANGED);
    Edited();
}

}  // namespace dw

#pragma once
// The control panel: the column of controls at the right edge of the main
// window that shows the project's properties and edits them in place (music
// source, music length, base motif length, fractal scanner, loop motifs,
// quality, encoder, volume, loop music, fades, the three effects, and the
// seed of the music). It chooses and decodes the music source and opens the
// trim dialog.
//
// The seed is not a project property (project files do not hold it): the
// field and "Keep seed" show the seed policy (engine/SeedPolicy.h) and hand it
// what the user types and ticks. "New variation" asks the main window
// (WM_APP+11) to create the music again with a new seed.
//
// Every change goes straight into the properties; a change the created music
// depends on marks the project's musicOutdated. Changes other parts care
// about go to the main window as WM_APP+6 (encoder), +7 (effect switch, wParam
// 0 high-cut, 1 reverb, 2 chorus), +8 (effect amount) and +9 (stop playback);
// the end of every edit as WM_APP+10, which the main window records for undo.
//
// User-interface thread only; the project belongs to the main window.

#include <QFrame>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/engine/SeedPolicy.h"
#include "gui/kit/Panels.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimeEdit;

namespace dw {

class IMessageSink;
class CMusicLengthPicker;

class CWndInfo final : public QFrame, public IControlPanel {
    Q_OBJECT
public:
    // Control ids of the panel's template.
    enum ControlId : int {
        IDC_SELECT_SOURCE = 1051,
        IDC_TRIM = 1052,
        IDC_SOURCE_NAME = 1053,
        IDC_MUSIC_LENGTH = 1044,
        IDC_BASE_MOTIF = 1060,
        IDC_FRACTAL_SCANNER = 1069,
        IDC_LOOP_MOTIFS = 1068,
        IDC_QUALITY = 1017,
        IDC_ENCODER = 1018,
        IDC_VOLUME_VALUE = 1071,
        IDC_VOLUME = 1072,
        IDC_LOOP_MUSIC = 1070,
        IDC_FADE_IN_LABEL = 1077,
        IDC_FADE_IN_VALUE = 1074,
        IDC_FADE_IN = 1073,
        IDC_FADE_OUT_LABEL = 1078,
        IDC_FADE_OUT_VALUE = 1076,
        IDC_FADE_OUT = 1075,
        IDC_HIGH_CUT_ON = 1083,
        IDC_HIGH_CUT_LABEL = 1080,
        IDC_HIGH_CUT_VALUE = 1081,
        IDC_HIGH_CUT = 1079,
        IDC_REVERB_ON = 1098,
        IDC_REVERB_LABEL = 1096,
        IDC_REVERB_VALUE = 1097,
        IDC_REVERB = 1095,
        IDC_CHORUS_ON = 1102,
        IDC_CHORUS_LABEL = 1100,
        IDC_CHORUS_VALUE = 1101,
        IDC_CHORUS = 1099,
        IDC_SEED_LABEL = 1110,
        IDC_SEED = 1111,
        IDC_KEEP_SEED = 1112,
        IDC_KEEP_SEED_LABEL = 1113,
        IDC_NEW_VARIATION = 1114,
    };

    // `mainWindow` receives the application messages; `messages` shows the
    // decoding's messages (message boxes when null); `seeds` is the seed
    // policy the seed controls show and edit (the panel's own when null).
    CWndInfo(QWidget* parent, CProject* project, QObject* mainWindow, IMessageSink* messages = nullptr,
             SeedPolicy* seeds = nullptr);

    // IControlPanel
    bool EnsureSource() override;
    void UpdateControls() override;
    void SetEncoderIndex(int index) override { encoderIndex_ = index; }
    void SetRememberedQuality(int quality) override { rememberedQuality_ = quality; }
    QSize PanelSize() const override { return panelSize_; }
    void ShowSeed() override;

    int EncoderIndex() const { return encoderIndex_; }
    int RememberedQuality() const { return rememberedQuality_; }

    // The control with id `id` (QWidget subclass as created).
    QWidget* Control(int id) const;
    template <class T>
    T* ControlAs(int id) const {
        return qobject_cast<T*>(Control(id));
    }

    // The operations behind the controls.
    bool ChooseSourceFile();
    bool DecodeSource(bool keepTrim = false);
    void ApplyQuality();
    void UpdateEnables();
    void ShowMotifLength();
    void OnSelectSource();
    void OnTrim();
    void OnMusicLengthCommitted();
    void OnBaseMotifCommitted();
    void OnSeedCommitted();

    // Replaces the open-file dialog (tests): returns the chosen path, or
    // nothing when the user cancels. An empty function restores the dialog.
    using FileChooser = std::function<std::optional<QString>()>;
    static void SetFileChooser(FileChooser chooser);
    // The open-file dialog's filter and title.
    static QString SourceFileFilter();
    static QString SourceFileTitle();
    // The source name as the panel shows it when its file failed: marked
    // missing, or unusable when the file is there.
    static QString MissingSourceText(const QString& name, const std::string& path);

private:
    void CreateControls();
    void ShowMusicLength(std::uint32_t seconds);
    void ShowSourceName();
    void OnCheckBox(int id);
    void OnSlider(int id, int position);
    void OnQualitySelected(int index);
    void OnEncoderSelected(int index);
    void Send(int message, qintptr wParam = 0);
    // Tells the main window that an edit has ended (WM_APP_PROJECT_EDITED).
    void Edited();
    // Marks the created music outdated as the stored-field table says a
    // change of the control's field does.
    void MarkMusic(int controlId);
    void SetValueLabel(int id, int value);

    CProject* project_;
    QObject* mainWindow_;
    IMessageSink* messages_;
    QSize panelSize_;
    int rememberedQuality_ = -1;
    int encoderIndex_ = 0;
    SeedPolicy ownSeeds_;
    SeedPolicy* seeds_;
    // True while the panel itself moves its controls: no handler runs then.
    int updating_ = 0;
};

}  // namespace dw

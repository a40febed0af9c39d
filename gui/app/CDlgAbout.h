#pragma once
// The About box: the program's picture with its version in the top right
// corner, and an OK button centred below. Modal; OK, Escape and the close box
// end it.

#include <QDialog>
#include <QPixmap>

class QPushButton;

namespace dw {

class CDlgAbout : public QDialog {
    Q_OBJECT
public:
    explicit CDlgAbout(QWidget* parent = nullptr);

    // "Version 4.0.0".
    static QString VersionText();
    // The version font's pixel height for the screen's vertical logical DPI.
    static int VersionFontPixelHeight(int dpiY);
    // Where the version text is drawn (its bounding box in client pixels).
    QRect versionTextRect() const;
    QPushButton* okButton() const { return ok_; }
    bool hasPicture() const { return !picture_.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont VersionFont() const;

    QPixmap picture_;
    QPushButton* ok_;
};

}  // namespace dw

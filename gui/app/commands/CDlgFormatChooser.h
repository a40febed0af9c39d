#pragma once
// The compressed-format chooser: "Select output sound file properties", a
// list of the formats that fit the encoder, the sample rate and two channels,
// with each format's name and bit rate. OK (or a double click) takes the
// selected format, Cancel and Escape take none.

#include "core/audio/Export.h"

#include <QDialog>

#include <optional>
#include <span>
#include <string_view>
#include <vector>

class QTreeWidget;

namespace dw {

inline constexpr const char* kFormatChooserName = "format-chooser";

// The bit rate column's text: "128 kbit/s"; for formats without a fixed bit
// rate the rate their samples take at two channels.
QString FormatBitRateText(const SoundFormat& format);

class CDlgFormatChooser final : public QDialog {
    Q_OBJECT
public:
    CDlgFormatChooser(QWidget* parent, std::string_view title, std::span<const SoundFormat> formats);

    // The selected row, none before a choice.
    std::optional<std::size_t> selectedIndex() const;
    void selectIndex(std::size_t index);
    QTreeWidget* list() const { return list_; }

private:
    QTreeWidget* list_;
};

// The windows' IFormatChooser: shows the dialog modally over `owner`.
class QtFormatChooser final : public IFormatChooser {
public:
    explicit QtFormatChooser(QWidget* owner) : owner_(owner) {}
    std::optional<std::size_t> ChooseFormat(std::string_view title, std::span<const SoundFormat> formats) override;

private:
    QWidget* owner_;
};

}  // namespace dw

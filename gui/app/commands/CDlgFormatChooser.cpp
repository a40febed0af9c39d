#include "gui/app/commands/CDlgFormatChooser.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace dw {

QString FormatBitRateText(const SoundFormat& format) {
    std::uint64_t bps = format.bitRate;
    if (bps == 0) bps = std::uint64_t{format.sampleRate} * format.channels * format.bitsPerSample;
    if (bps == 0) return QString();
    return QStringLiteral("%1 kbit/s").arg((bps + 500) / 1000);
}

CDlgFormatChooser::CDlgFormatChooser(QWidget* parent, std::string_view title, std::span<const SoundFormat> formats)
    : QDialog(parent), list_(new QTreeWidget(this)) {
    setObjectName(QLatin1String(kFormatChooserName));
    setWindowTitle(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())));
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("Format"), QStringLiteral("Bit rate")});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setAllColumnsShowFocus(true);
    for (const SoundFormat& f : formats)
        new QTreeWidgetItem(list_, {QString::fromStdString(f.name), FormatBitRateText(f)});
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->header()->setStretchLastSection(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this, ok] { ok->setEnabled(selectedIndex().has_value()); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(520, 360);
    if (!formats.empty()) selectIndex(0);
}

std::optional<std::size_t> CDlgFormatChooser::selectedIndex() const {
    const QList<QTreeWidgetItem*> items = list_->selectedItems();
    if (items.isEmpty()) return std::nullopt;
    const int row = list_->indexOfTopLevelItem(items.first());
    if (row < 0) return std::nullopt;
    return static_cast<std::size_t>(row);
}

void CDlgFormatChooser::selectIndex(std::size_t index) {
    if (QTreeWidgetItem* item = list_->topLevelItem(static_cast<int>(index))) list_->setCurrentItem(item);
}

std::optional<std::size_t> QtFormatChooser::ChooseFormat(std::string_view title,
                                                         std::span<const SoundFormat> formats) {
    if (formats.empty()) return std::nullopt;
    CDlgFormatChooser dialog(owner_, title, formats);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.selectedIndex();
}

}  // namespace dw

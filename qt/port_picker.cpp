#include "qt/port_picker.h"

#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>

#include "platform/port.h"
#include "resources/port_names.h"

namespace pelko::qt {

namespace {

void ShowDevice(QComboBox* list, QLabel* label) {
    const QString tip = list->currentIndex() < 0
                            ? QString()
                            : list->itemData(list->currentIndex(), Qt::ToolTipRole).toString();
    const QString text = tip.isEmpty() ? QString() : QStringLiteral("= ") + tip;
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideMiddle, label->width()));
    label->setToolTip(tip + QStringLiteral("\nRight-click the list to choose the device."));
}

// Keeps `value` for port `n` in the ports file and in the map the program opens ports through.
void Remap(QWidget* dialog, QComboBox* list, QLabel* label, int n, const std::string& value) {
    std::string why;
    switch (platform::RemapPort(n, value, why)) {
    case platform::Remap::Refused:
        QMessageBox::warning(dialog, QStringLiteral("Port"), QString::fromStdString(why));
        return;
    case platform::Remap::NotKept:
        QMessageBox::warning(
            dialog, QStringLiteral("Port"),
            QStringLiteral("Not kept for the next start: %1").arg(QString::fromStdString(why)));
        break;
    case platform::Remap::Kept:
        break;
    }
    list->setItemData(n - 1,
                      QString::fromStdString(
                          platform::DescribeDevice(PortDeviceName(static_cast<std::uint8_t>(n)))),
                      Qt::ToolTipRole);
    ShowDevice(list, label);
}

} // namespace

void AttachPortPicker(QWidget* dialog, QComboBox* list, QLabel* label) {
    label->setTextFormat(Qt::PlainText);
    ShowDevice(list, label);
    QObject::connect(list, &QComboBox::currentIndexChanged, label,
                     [list, label](int) { ShowDevice(list, label); });
    // The entries' devices arrive after the entries.
    QObject::connect(list->model(), &QAbstractItemModel::dataChanged, label,
                     [list, label] { ShowDevice(list, label); });
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QWidget::customContextMenuRequested, dialog, [=](const QPoint& at) {
        const int n = list->currentIndex() + 1;
        if (n < 1) {
            return;
        }
        QMenu menu(dialog);
        if (n != kTelnetPortNum) {
            for (const platform::DeviceChoice& d : platform::DeviceChoices()) {
                const std::string value = d.value;
                menu.addAction(QString::fromStdString(d.text),
                               [=] { Remap(dialog, list, label, n, value); });
            }
        }
        menu.addAction(QStringLiteral("Other..."), [=] {
            bool ok = false;
            const QString typed = QInputDialog::getText(
                dialog, QString::fromStdString(PortLabel(n)),
                n == kTelnetPortNum ? QStringLiteral("Server (HOST:PORT):")
                                    : QStringLiteral("Device path:"),
                QLineEdit::Normal, list->itemData(n - 1, Qt::ToolTipRole).toString(), &ok);
            if (ok && !typed.trimmed().isEmpty()) {
                Remap(dialog, list, label, n, typed.trimmed().toStdString());
            }
        });
        menu.exec(list->mapToGlobal(at));
    });
}

} // namespace pelko::qt

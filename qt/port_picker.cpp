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

// Says what went wrong with a change of the ports file, if anything did; false when the change
// was refused (nothing changed).
bool SayRemap(QWidget* dialog, platform::Remap result, const std::string& why) {
    switch (result) {
    case platform::Remap::Refused:
        QMessageBox::warning(dialog, QStringLiteral("Port"), QString::fromStdString(why));
        return false;
    case platform::Remap::NotKept:
        QMessageBox::warning(
            dialog, QStringLiteral("Port"),
            QStringLiteral("Not kept for the next start: %1").arg(QString::fromStdString(why)));
        break;
    case platform::Remap::Kept:
        break;
    }
    return true;
}

// Keeps `value` for port `n` in the ports file and in the map the program opens ports through.
void Remap(QWidget* dialog, QComboBox* list, QLabel* label, int n, const std::string& value) {
    std::string why;
    if (!SayRemap(dialog, platform::RemapPort(n, value, why), why)) {
        return;
    }
    list->setItemData(n - 1,
                      QString::fromStdString(
                          platform::DescribeDevice(PortDeviceName(static_cast<std::uint8_t>(n)))),
                      Qt::ToolTipRole);
    ShowDevice(list, label);
}

// What a reset of port n pulses, and for how long, kept like the port's device.
void KeepResetPlan(QWidget* dialog, int n, const platform::ResetPlan& plan) {
    std::string why;
    SayRemap(dialog, platform::SetResetPlan(n, plan, why), why);
}

// The context menu's "Reset" part: the lines a reset pulses, and the pulse's length.
void AddResetMenu(QMenu& menu, QWidget* dialog, int n) {
    const platform::ResetPlan now =
        platform::ResetPlanFor(PortDeviceName(static_cast<std::uint8_t>(n)));
    QMenu* reset = menu.addMenu(QStringLiteral("Reset pulses"));
    static constexpr struct {
        const char* text;
        bool dtr;
        bool rts;
    } kLines[] = {{"DTR", true, false},
                  {"RTS", false, true},
                  {"DTR and RTS", true, true},
                  {"nothing", false, false}};
    for (const auto& l : kLines) {
        QAction* a = reset->addAction(QString::fromLatin1(l.text), [=] {
            KeepResetPlan(dialog, n, {l.dtr, l.rts, now.ms});
        });
        a->setCheckable(true);
        a->setChecked(now.dtr == l.dtr && now.rts == l.rts);
    }
    reset->addSeparator();
    reset->addAction(QStringLiteral("For %1 ms...").arg(now.ms), [=] {
        bool ok = false;
        const int ms =
            QInputDialog::getInt(dialog, QString::fromStdString(PortLabel(n)),
                                 QStringLiteral("Reset pulse (ms):"), now.ms, 1, 10000, 10, &ok);
        if (ok) {
            KeepResetPlan(dialog, n, {now.dtr, now.rts, ms});
        }
    });
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
        menu.addSeparator();
        AddResetMenu(menu, dialog, n);
        menu.exec(list->mapToGlobal(at));
    });
}

} // namespace pelko::qt

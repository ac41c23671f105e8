#include "qt/dialog_host.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "qt/font_chooser.h"
#include "qt/port_picker.h"
#include "resources/messages.h"
#include "resources/resources.h"

namespace pelko::qt {

namespace {
constexpr std::uint16_t BN_CLICKED = 0;
constexpr std::uint16_t CBN_SELCHANGE = 1;
} // namespace

DialogHost::DialogHost(const DialogTemplate& layout, platform::DlgProc proc, std::intptr_t param,
                       platform::Window* owner, QWidget* parent)
    : QDialog(parent), proc_(proc), param_(param), owner_(owner) {
    // A caption and nothing else: no close box, no system menu, no help button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QString::fromLatin1(layout.caption));
    setModal(true);
    QFont font(QStringLiteral("Helvetica"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(layout.fontPoints);
    setFont(font);
    // Dialog units: a quarter of the average character width, an eighth of the line height.
    const QFontMetrics fm(font);
    const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = std::max(1, (fm.horizontalAdvance(sample) / 26 + 1) / 2);
    baseY_ = std::max(1, fm.height());
    Build(layout);
    // The Setup dialog's port list: where the chosen entry leads, on a line of its own inside
    // the Terminal group, under the fixed texts.
    if (auto* ports = qobject_cast<QComboBox*>(Item(IDD_PORTCB))) {
        auto* where = new QLabel(this);
        where->setGeometry(ToPixels(10, 122, 105, 10));
        AttachPortPicker(this, ports, where);
    }
    const QRect frame = ToPixels(layout.x, layout.y, layout.cx, layout.cy);
    setFixedSize(frame.size());
    if (parent != nullptr) {
        move(parent->mapToGlobal(QPoint(0, 0)) + frame.topLeft());
    }
}

QRect DialogHost::ToPixels(int x, int y, int cx, int cy) const {
    return QRect(x * baseX_ / 4, y * baseY_ / 8, std::max(1, cx * baseX_ / 4),
                 std::max(1, cy * baseY_ / 8));
}

void DialogHost::Build(const DialogTemplate& layout) {
    QWidget* previous = nullptr;
    QLabel* pendingBuddy = nullptr;
    for (const ControlTemplate& c : layout.controls) {
        const QString text = c.text != nullptr ? QString::fromLatin1(c.text) : QString();
        QRect r = ToPixels(c.x, c.y, c.cx, c.cy);
        QWidget* w = nullptr;
        switch (c.kind) {
        case ControlKind::Text: {
            auto* label = new QLabel(this);
            if ((c.style & CS_NOPREFIX) != 0) {
                label->setTextFormat(Qt::PlainText);
                label->setText(text);
            } else {
                label->setText(text);
                pendingBuddy = text.contains(QLatin1Char('&')) ? label : nullptr;
            }
            label->setAlignment(((c.style & CS_RIGHT) != 0 ? Qt::AlignRight : Qt::AlignLeft) |
                                Qt::AlignTop);
            // A text wider than its box would be cut off; let it run on to its full width.
            r.setWidth(std::max(r.width(), label->sizeHint().width()));
            r.setHeight(std::max(r.height(), label->sizeHint().height()));
            w = label;
            break;
        }
        case ControlKind::Icon: {
            auto* label = new QLabel(this);
            label->setPixmap(QPixmap(QStringLiteral(":/pelko/pelko.png")));
            r.setSize(QSize(32, 32));
            w = label;
            break;
        }
        case ControlKind::Rule: {
            auto* line = new QFrame(this);
            line->setAutoFillBackground(true);
            QPalette pal = line->palette();
            pal.setColor(QPalette::Window, Qt::black);
            line->setPalette(pal);
            r.setHeight(1);
            w = line;
            break;
        }
        case ControlKind::Button:
        case ControlKind::DefButton: {
            auto* button = new QPushButton(text, this);
            button->setDefault(c.kind == ControlKind::DefButton);
            button->setAutoDefault(false);
            const int id = c.id;
            connect(button, &QPushButton::clicked, this, [this, id] {
                Dispatch(WM_COMMAND, MakeWParam(static_cast<std::uint16_t>(id), BN_CLICKED), 0);
            });
            w = button;
            break;
        }
        case ControlKind::GroupBox:
            w = new QGroupBox(text, this);
            w->setFocusPolicy(Qt::NoFocus);
            break;
        case ControlKind::DropDown: {
            auto* combo = new QComboBox(this);
            r.setHeight(std::max(combo->sizeHint().height(), ToPixels(0, 0, 0, 12).height()));
            const int id = c.id;
            connect(combo, &QComboBox::activated, this, [this, id](int) {
                Dispatch(WM_COMMAND, MakeWParam(static_cast<std::uint16_t>(id), CBN_SELCHANGE), 0);
            });
            // The closed list shows the selected entry's tooltip.
            connect(combo, &QComboBox::currentIndexChanged, combo, [combo](int index) {
                combo->setToolTip(combo->itemData(index, Qt::ToolTipRole).toString());
            });
            w = combo;
            break;
        }
        case ControlKind::CheckBox: {
            auto* check = new QCheckBox(text, this);
            r.setWidth(std::max(r.width(), check->sizeHint().width()));
            const int id = c.id;
            connect(check, &QCheckBox::clicked, this, [this, id] {
                Dispatch(WM_COMMAND, MakeWParam(static_cast<std::uint16_t>(id), BN_CLICKED), 0);
            });
            w = check;
            break;
        }
        }
        w->setGeometry(r);
        if (c.kind != ControlKind::Text && c.kind != ControlKind::Icon &&
            c.kind != ControlKind::Rule && c.kind != ControlKind::GroupBox) {
            w->setFocusPolicy((c.style & CS_TABSTOP) != 0 ? Qt::StrongFocus : Qt::ClickFocus);
            if (pendingBuddy != nullptr) {
                pendingBuddy->setBuddy(w);
                pendingBuddy = nullptr;
            }
            if (previous != nullptr) {
                setTabOrder(previous, w);
            }
            previous = w;
        }
        if (c.id != kNoId) {
            w->setObjectName(QStringLiteral("item%1").arg(c.id));
            items_[c.id] = w;
        }
    }
}

QWidget* DialogHost::Item(int id) const {
    const auto it = items_.find(id);
    return it == items_.end() ? nullptr : it->second;
}

std::intptr_t DialogHost::Dispatch(unsigned msg, std::uintptr_t wParam, std::intptr_t lParam) {
    ++depth_;
    const std::intptr_t answer = proc_(this, msg, wParam, lParam);
    --depth_;
    if (ended_ && depth_ == 0 && isVisible()) {
        done(result_);
    }
    return answer;
}

int DialogHost::Run() {
    Dispatch(WM_INITDIALOG, 0, param_);
    if (ended_) {
        Dispatch(WM_DESTROY, 0, 0);
        return result_;
    }
    // The first control that takes the keyboard gets the focus, as the default button does.
    for (auto* b : findChildren<QPushButton*>()) {
        if (b->isDefault()) {
            b->setFocus();
        }
    }
    exec();
    Dispatch(WM_DESTROY, 0, 0);
    return result_;
}

std::string DialogHost::GetDlgItemText(int id) const {
    QWidget* w = Item(id);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(w)) {
        text = label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        text = button->text();
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        text = group->title();
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        text = combo->currentText();
    }
    return text.toStdString();
}

void DialogHost::SetDlgItemText(int id, const std::string& text) {
    QWidget* w = Item(id);
    const QString t = QString::fromStdString(text);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(t);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(t);
    } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
        group->setTitle(t);
    }
}

namespace {

QComboBox* ListOf(const DialogHost* host, int id) {
    return qobject_cast<QComboBox*>(host->Item(id));
}

bool IsEntry(const QComboBox* combo, int index) {
    return combo != nullptr && index >= 0 && index < combo->count();
}

} // namespace

int DialogHost::AddString(int id, const std::string& text) {
    QComboBox* combo = ListOf(this, id);
    if (combo == nullptr) {
        return -1;
    }
    combo->addItem(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    // Adding to an empty list must not select the new entry: nothing is selected until the
    // procedure says so.
    if (combo->count() == 1) {
        combo->setCurrentIndex(-1);
    }
    return combo->count() - 1;
}

void DialogHost::SetItemData(int id, int index, std::uint32_t data) {
    QComboBox* combo = ListOf(this, id);
    if (IsEntry(combo, index)) {
        combo->setItemData(index, QVariant::fromValue<quint32>(data), Qt::UserRole);
    }
}

std::intptr_t DialogHost::GetItemData(int id, int index) const {
    const QComboBox* combo = ListOf(this, id);
    if (!IsEntry(combo, index)) {
        return -1;
    }
    const QVariant v = combo->itemData(index, Qt::UserRole);
    return v.isValid() ? static_cast<std::intptr_t>(v.value<quint32>()) : 0;
}

void DialogHost::SetItemTip(int id, int index, const std::string& tip) {
    QComboBox* combo = ListOf(this, id);
    if (IsEntry(combo, index)) {
        combo->setItemData(index, QString::fromStdString(tip), Qt::ToolTipRole);
        if (combo->currentIndex() == index) {
            combo->setToolTip(QString::fromStdString(tip));
        }
    }
}

void DialogHost::SetCurSel(int id, int index) {
    QComboBox* combo = ListOf(this, id);
    if (combo != nullptr) {
        combo->setCurrentIndex(IsEntry(combo, index) ? index : -1);
    }
}

int DialogHost::GetCurSel(int id) const {
    const QComboBox* combo = ListOf(this, id);
    return combo == nullptr ? -1 : combo->currentIndex();
}

void DialogHost::EnableWindow(int id, bool enable) {
    if (QWidget* w = Item(id)) {
        w->setEnabled(enable);
    }
}

void DialogHost::CheckDlgButton(int id, unsigned check) {
    if (auto* box = qobject_cast<QCheckBox*>(Item(id))) {
        box->setChecked(check != 0);
    }
}

unsigned DialogHost::IsDlgButtonChecked(int id) const {
    const auto* box = qobject_cast<QCheckBox*>(Item(id));
    return box != nullptr && box->isChecked() ? 1U : 0U;
}

bool DialogHost::ChooseFont(platform::LogFont& lf, std::uint32_t& color) {
    return RunFontChooser(this, lf, color);
}

void DialogHost::EndDialog(int result) {
    ended_ = true;
    result_ = result;
    if (depth_ == 0 && isVisible()) {
        done(result);
    }
}

void DialogHost::reject() {
    // Esc: the procedure decides, as for its Cancel button.
    Dispatch(WM_COMMAND, MakeWParam(platform::IDCANCEL, BN_CLICKED), 0);
}

void DialogHost::closeEvent(QCloseEvent* e) {
    e->ignore();
    reject();
}

} // namespace pelko::qt

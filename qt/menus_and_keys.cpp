// The main window's menu bar and function keys: each item and key sends its command to the
// window procedure, and the procedure enables and disables the items.
#include <QAction>
#include <QMenuBar>
#include <QShortcut>
#include <map>

#include "qt/qt_window.h"
#include "resources/messages.h"
#include "resources/resources.h"

namespace pelko::qt {

void QtWindow::SendCommand(unsigned id) {
    Send(WM_COMMAND, id);
}

QAction* QtWindow::MenuAction(unsigned id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void QtWindow::BuildMenu() {
    QMenuBar* bar = menuBar();
    auto bind = [this](QAction* a, unsigned id) {
        actions_[id] = a;
        connect(a, &QAction::triggered, this, [this, id] { SendCommand(id); });
    };
    for (const MenuItem& top : MenuBar()) {
        const QString text = QString::fromLatin1(top.text);
        if (top.children.empty()) {
            bind(bar->addAction(text), top.id);
            continue;
        }
        QMenu* menu = bar->addMenu(text);
        for (const MenuItem& item : top.children) {
            if (item.text == nullptr) {
                menu->addSeparator();
                continue;
            }
            // The text after the tab is shown right-aligned as the key; the keys themselves are
            // handled by the window's own shortcuts.
            bind(menu->addAction(QString::fromLatin1(item.text)), item.id);
        }
    }
}

void QtWindow::BuildKeys() {
    static const std::map<unsigned, Qt::Key> kKeys = {
        {VK_F1, Qt::Key_F1}, {VK_F2, Qt::Key_F2}, {VK_F3, Qt::Key_F3},   {VK_F4, Qt::Key_F4},
        {VK_F7, Qt::Key_F7}, {VK_F8, Qt::Key_F8}, {VK_F10, Qt::Key_F10},
    };
    for (const Accelerator& acc : AcceleratorTable()) {
        // Window shortcuts act only while this window is the active one, so not while a modal
        // dialog or message box runs its own loop; a held modifier makes another key sequence.
        auto* sc = new QShortcut(QKeySequence(kKeys.at(acc.vk)), this);
        sc->setContext(Qt::WindowShortcut);
        sc->setAutoRepeat(false);
        const unsigned id = acc.command;
        connect(sc, &QShortcut::activated, this, [this, id] { SendCommand(id); });
    }
}

void QtWindow::EnableMenuItem(unsigned id, unsigned flags) {
    if (QAction* a = MenuAction(id)) {
        a->setEnabled((flags & (platform::MF_GRAYED | platform::MF_DISABLED)) == 0);
    }
}

} // namespace pelko::qt

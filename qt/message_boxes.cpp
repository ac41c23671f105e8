// Message boxes: the procedure's modal boxes, and boxes and the connection-loss report posted
// from the receive thread. While the upload waits for an echo, the posted ones wait until the
// wait has ended, so that the upload writes its own report first.
#include <QMessageBox>
#include <utility>

#include "qt/qt_window.h"
#include "resources/messages.h"

namespace pelko::qt {

namespace {

// The icon a style's icon bits ask for; none for other values.
QMessageBox::Icon IconOf(unsigned style) {
    static constexpr std::pair<unsigned, QMessageBox::Icon> kIcons[] = {
        {platform::MB_ICONQUESTION, QMessageBox::Question},
        {platform::MB_ICONEXCLAMATION, QMessageBox::Warning},
        {platform::MB_ICONASTERISK, QMessageBox::Information},
        {platform::MB_ICONHAND, QMessageBox::Critical},
    };
    for (const auto& [bits, icon] : kIcons) {
        if (bits == (style & platform::MB_ICONMASK)) {
            return icon;
        }
    }
    return QMessageBox::NoIcon;
}

// shown: where the box is known while it is up
int RunMessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                  unsigned style, QMessageBox** shown = nullptr) {
    const bool okCancel = (style & platform::MB_TYPEMASK) == platform::MB_OKCANCEL;
    QMessageBox box(IconOf(style), QString::fromStdString(caption), QString::fromStdString(text),
                    okCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, owner);
    box.setDefaultButton(QMessageBox::Ok);
    if (okCancel) {
        box.setEscapeButton(QMessageBox::Cancel);
    }
    QMessageBox* const outer = shown != nullptr ? std::exchange(*shown, &box) : nullptr;
    const int answer = box.exec();
    if (shown != nullptr) {
        *shown = outer;
    }
    return answer == QMessageBox::Ok ? platform::IDOK : platform::IDCANCEL;
}

} // namespace

int QtWindow::MessageBox(const std::string& text, const std::string& caption, unsigned style) {
    return RunMessageBox(isVisible() ? this : nullptr, text, caption, style, &procBox_);
}

void QtWindow::PostMessageBox(const std::string& text, const std::string& caption, unsigned style) {
    QMetaObject::invokeMethod(
        this,
        [this, text, caption, style] {
            auto show = [text, caption, style] { RunMessageBox(nullptr, text, caption, style); };
            if (echoWaiting_) {
                deferredBoxes_.push_back(show);
            } else {
                show();
            }
        },
        Qt::QueuedConnection);
}

void QtWindow::PostConnectionLost() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (echoWaiting_) {
                deferredLost_ = true; // told once the upload has written its own report
            } else if (!destroyed_) {
                Send(WM_CONNECTIONLOST);
            }
        },
        Qt::QueuedConnection);
}

void QtWindow::RunDeferred() {
    std::vector<std::function<void()>> boxes;
    boxes.swap(deferredBoxes_);
    for (auto& show : boxes) {
        QMetaObject::invokeMethod(this, show, Qt::QueuedConnection);
    }
    if (deferredLost_) {
        deferredLost_ = false;
        PostConnectionLost();
    }
}

} // namespace pelko::qt

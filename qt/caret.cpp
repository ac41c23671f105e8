#include "qt/caret.h"

#include <QPainter>
#include <QWidget>
#include <algorithm>

namespace pelko::qt {

Caret::Caret(QWidget* viewport) : viewport_(viewport) {
    // The caret blinks, as terminals' carets do.
    blink_.setInterval(530);
    QObject::connect(&blink_, &QTimer::timeout, [this] {
        blinkOn_ = !blinkOn_;
        viewport_->update(rect_);
    });
}

void Caret::Create(int width, int height) {
    if (exists_) {
        viewport_->update(rect_);
    }
    exists_ = true;
    shown_ = false;
    rect_ = QRect(rect_.topLeft(), QSize(std::max(1, width), std::max(1, height)));
}

void Caret::Show() {
    if (exists_ && !shown_) {
        shown_ = true;
        blinkOn_ = true;
        blink_.start();
        viewport_->update(rect_);
    }
}

void Caret::Hide() {
    if (exists_ && shown_) {
        shown_ = false;
        blink_.stop();
        viewport_->update(rect_);
    }
}

void Caret::Destroy() {
    Hide();
    exists_ = false;
}

void Caret::MoveTo(QPoint pos) {
    if (rect_.topLeft() == pos) {
        return;
    }
    if (Visible()) {
        viewport_->update(rect_);
    }
    rect_.moveTopLeft(pos);
    if (Visible()) {
        // A caret that moves is shown at once, then blinks again.
        blinkOn_ = true;
        blink_.start();
        viewport_->update(rect_);
    }
}

void Caret::Paint(const QRect& area) {
    if (Visible() && blinkOn_ && area.intersects(rect_)) {
        QPainter p(viewport_);
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(rect_, Qt::white);
    }
}

void Caret::Scrolled(int dx, int dy) {
    // The caret is drawn into the pixels: redraw where it was taken to and where it stands.
    if (Visible()) {
        viewport_->update(rect_);
        viewport_->update(rect_.translated(dx, dy));
    }
}

} // namespace pelko::qt

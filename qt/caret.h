#pragma once
// The terminal view's block caret, drawn by inverting the pixels of its cell; it blinks while
// shown. GUI thread only; nothing here can fail.
//   Caret(viewport)    no caret yet; `viewport` is where it is drawn
//   Create(w, h)       a caret of w x h pixels (at least 1 x 1) where the last one stood, hidden
//   Show() / Hide()    shows or hides it; ignored without a caret or when already so
//   Destroy()          hides it and takes it away
//   MoveTo(pos)        moves it; a shown caret shows at once at the new place, then blinks again
//   Visible()          a caret exists and is shown
//   Rect()             its place and size in client pixels
//   Paint(area)        after a paint of `area`: inverts the caret's pixels where it shows
//   Scrolled(dx, dy)   after the view's pixels moved by (dx, dy): redraws where the caret was
//                      taken and where it stands
#include <QRect>
#include <QTimer>

class QWidget;

namespace pelko::qt {

class Caret {
public:
    explicit Caret(QWidget* viewport);

    void Create(int width, int height);
    void Show();
    void Hide();
    void Destroy();
    void MoveTo(QPoint pos);
    bool Visible() const { return exists_ && shown_; }
    QRect Rect() const { return rect_; }
    void Paint(const QRect& area);
    void Scrolled(int dx, int dy);

private:
    QWidget* viewport_;
    bool exists_ = false;
    bool shown_ = false;
    bool blinkOn_ = true;
    QTimer blink_;
    QRect rect_;
};

} // namespace pelko::qt

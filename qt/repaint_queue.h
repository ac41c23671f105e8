#pragma once
// Repaint and caret requests from threads other than the GUI thread, gathered and applied there
// at most once a frame while they keep coming. The box to repaint and the caret's place are each
// one word, so a receive thread that invalidates cell after cell mostly finds its cell covered
// already and pays one load for it. Nothing here can fail.
//   RepaintQueue(viewport, moveCaret)  made on the GUI thread; repaints `viewport` and moves the
//                                      caret through `moveCaret`, both on that thread
//   OnGuiThread()   true on the thread the queue was made on
//   AddBox(rect)    any thread: grows the box to repaint by `rect` (client pixels), then Post
//   AddAll()        any thread: the whole view is to be repainted, then Post
//   SetCaret(x, y)  any thread: the caret is to move to (x, y), then Post
//   CaretPending()  a caret move waits for the next flush
//   Post()          any thread, never blocks: a flush soon, held back to the frame's end while
//                   flushes come faster than frames
//   ApplyNow()      GUI thread: applies what waits at once
//   WithinFrame()   GUI thread: the last flush was less than a frame ago
#include <QObject>
#include <QPoint>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/window.h"

class QWidget;

namespace pelko::qt {

class RepaintQueue : public QObject {
public:
    RepaintQueue(QWidget* viewport, std::function<void(QPoint)> moveCaret);

    bool OnGuiThread() const;
    void AddBox(const platform::Rect& rect);
    void AddAll();
    void SetCaret(std::int32_t x, std::int32_t y);
    bool CaretPending() const;
    void Post();
    void ApplyNow();
    bool WithinFrame() const;

private:
    void Flush();

    QWidget* viewport_;
    std::function<void(QPoint)> moveCaret_;
    const void* guiThread_;
    std::atomic<std::uint64_t> box_{0};    // a packed box, 0 for none, kAllBox for all
    std::atomic<std::uint64_t> caret_{0};  // a packed position with its "set" bit
    std::atomic<bool> flushPosted_{false}; // a flush is posted or held back
    QTimer flushTimer_;                    // holds a flush back to the next frame
    std::chrono::steady_clock::time_point lastFlush_{};
};

} // namespace pelko::qt

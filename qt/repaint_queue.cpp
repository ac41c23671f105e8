#include "qt/repaint_queue.h"

#include <QRect>
#include <QWidget>
#include <algorithm>

namespace pelko::qt {

namespace {

// Requests from other threads are held back to at most one flush a frame while they keep coming.
constexpr std::chrono::milliseconds kFrame{16};

// A box of client pixels packed into one word: left, top, right and bottom (the last two
// exclusive), each clamped to 0..0x7FFF, as four 16-bit fields. What the clamp cuts off lies
// outside the view. 0 is no box; kAllBox, out of the fields' range, is the whole view.
struct Box {
    std::int32_t left, top, right, bottom;
    bool Empty() const { return right <= left || bottom <= top; }
    friend bool operator==(const Box&, const Box&) = default;
};
constexpr std::uint64_t kAllBox = ~std::uint64_t{0};

Box ClampBox(const platform::Rect& r) {
    auto c = [](std::int32_t v) { return std::clamp<std::int32_t>(v, 0, 0x7FFF); };
    return Box{c(r.left), c(r.top), c(r.right), c(r.bottom)};
}

std::uint64_t PackBox(const Box& b) {
    return static_cast<std::uint64_t>(b.left) | (static_cast<std::uint64_t>(b.top) << 16) |
           (static_cast<std::uint64_t>(b.right) << 32) |
           (static_cast<std::uint64_t>(b.bottom) << 48);
}

Box UnpackBox(std::uint64_t w) {
    auto f = [w](int shift) { return static_cast<std::int32_t>((w >> shift) & 0xFFFF); };
    return Box{f(0), f(16), f(32), f(48)};
}

// A caret position packed into one word with its "set" bit: x and y as 31-bit fields, each
// clamped to what they can hold (the caret is off the view long before that).
constexpr std::uint64_t kCaretSet = std::uint64_t{1} << 63;
constexpr std::int32_t kCaretLimit = (1 << 30) - 1;

std::uint64_t PackCaret(std::int32_t x, std::int32_t y) {
    auto f = [](std::int32_t v) {
        return static_cast<std::uint64_t>(std::clamp(v, -kCaretLimit, kCaretLimit) + kCaretLimit);
    };
    return kCaretSet | f(x) | (f(y) << 31);
}

QPoint UnpackCaret(std::uint64_t w) {
    auto f = [w](int shift) { return static_cast<int>((w >> shift) & 0x7FFFFFFF) - kCaretLimit; };
    return QPoint(f(0), f(31));
}

// Every thread has its own tag, whose address tells the threads apart without a call: the
// receive thread asks for every cell it invalidates.
thread_local char tThreadTag = 0;

} // namespace

RepaintQueue::RepaintQueue(QWidget* viewport, std::function<void(QPoint)> moveCaret)
    : viewport_(viewport), moveCaret_(std::move(moveCaret)), guiThread_(&tThreadTag) {
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, [this] { ApplyNow(); });
}

bool RepaintQueue::OnGuiThread() const {
    return &tThreadTag == guiThread_;
}

void RepaintQueue::AddAll() {
    box_.store(kAllBox);
    Post();
}

void RepaintQueue::AddBox(const platform::Rect& rect) {
    // One bounding box, grown only when the cell lies outside it. A cell found inside is painted
    // by the flush that takes the box: the interpreter stores and invalidates its cells while it
    // holds the record's screen lock, and painting, which comes after the flush, copies the rows
    // under that lock.
    std::uint64_t cur = box_.load();
    if (cur != kAllBox) {
        const Box add = ClampBox(rect);
        if (add.Empty()) {
            return; // wholly outside the view
        }
        do {
            const Box have = UnpackBox(cur);
            const Box grown =
                have.Empty()
                    ? add
                    : Box{std::min(have.left, add.left), std::min(have.top, add.top),
                          std::max(have.right, add.right), std::max(have.bottom, add.bottom)};
            if (grown == have || box_.compare_exchange_weak(cur, PackBox(grown))) {
                break;
            }
        } while (cur != kAllBox);
    }
    Post();
}

void RepaintQueue::SetCaret(std::int32_t x, std::int32_t y) {
    caret_.store(PackCaret(x, y));
    Post();
}

bool RepaintQueue::CaretPending() const {
    return (caret_.load() & kCaretSet) != 0;
}

void RepaintQueue::Post() {
    // Most calls find a flush already on its way or held back; only the first one pays for the
    // exchange.
    if (!flushPosted_.load() && !flushPosted_.exchange(true)) {
        QMetaObject::invokeMethod(
            this, [this] { Flush(); }, Qt::QueuedConnection);
    }
}

void RepaintQueue::Flush() {
    // A flood asks for far more repaints than a screen shows: within a frame of the last one,
    // the flush waits for the frame's end, and what comes meanwhile joins it.
    const auto since = std::chrono::steady_clock::now() - lastFlush_;
    if (since < kFrame) {
        if (!flushTimer_.isActive()) {
            flushTimer_.start(std::chrono::ceil<std::chrono::milliseconds>(kFrame - since));
        }
        return;
    }
    ApplyNow();
}

void RepaintQueue::ApplyNow() {
    flushTimer_.stop();
    lastFlush_ = std::chrono::steady_clock::now();
    // Cleared before the take: a request that comes after it posts a flush of its own.
    flushPosted_.store(false);
    const std::uint64_t box = box_.exchange(0);
    const std::uint64_t caret = caret_.exchange(0);
    if (box == kAllBox) {
        viewport_->update();
    } else if (const Box b = UnpackBox(box); !b.Empty()) {
        viewport_->update(QRect(b.left, b.top, b.right - b.left, b.bottom - b.top));
    }
    if ((caret & kCaretSet) != 0) {
        moveCaret_(UnpackCaret(caret));
    }
}

bool RepaintQueue::WithinFrame() const {
    return std::chrono::steady_clock::now() - lastFlush_ < kFrame;
}

} // namespace pelko::qt

// The real Qt window, offscreen: menus and keys reach their commands, typed keys become the
// terminal's bytes, the scroll bars follow the record and come and go with their ranges, the wheel,
// keys and thumb keep bar and view in step, painting draws the right glyphs in the right cells, the
// caret follows the cursor, text written from another thread shows, and a Telnet retry against a
// server that never answers leaves the window answering.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>

#include "app/status.h"
#include "posix/devices.h"
#include "qt/qt_font.h"
#include "resources/commands.h"
#include "resources/messages.h"
#include "resources/port_names.h"
#include "serial/connection.h"
#include "terminal/interpreter.h"
#include "terminal/tty_info.h"
#include "terminal/view.h"
#include "tests/gui/gui_support.h"

namespace pelko::test {
namespace {

using testing::ElementsAre;

std::vector<std::string> ActionTexts(const QList<QAction*>& actions) {
    std::vector<std::string> out;
    for (QAction* a : actions) {
        out.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    }
    return out;
}

TEST(QtWindow, MenuBarAsLaidOut) {
    GuiWindow g;
    const QList<QAction*> bar = g.win().menuBar()->actions();
    EXPECT_THAT(ActionTexts(bar), ElementsAre("&File", "&Upload", "&Setup", "&About", "&Target"));
    EXPECT_EQ(bar[3]->menu(), nullptr); // About is a command on the bar itself
    EXPECT_THAT(ActionTexts(bar[0]->menu()->actions()),
                ElementsAre("&Select Source\tF2", "-", "&Connect", "&Disconnect", "-", "E&xit"));
    EXPECT_THAT(ActionTexts(bar[1]->menu()->actions()),
                ElementsAre("&Upload Fast\tF3", "&Upload Visible\tF4"));
    EXPECT_THAT(ActionTexts(bar[2]->menu()->actions()),
                ElementsAre("&Terminal\tF10", "&Save Setup"));
    EXPECT_THAT(ActionTexts(bar[4]->menu()->actions()),
                ElementsAre("&Reset Target\tF7", "Send &BREAK\tF8"));
}

TEST(QtWindow, MenuItemsAndFunctionKeysReachTheirCommands) {
    GuiWindow g;
    std::vector<unsigned> seen;
    g.commandHook = [&](unsigned id) {
        seen.push_back(id);
        return true;
    };
    for (unsigned id = IDM_CONNECT; id <= IDM_SENDBREAK; ++id) {
        g.win().MenuAction(id)->trigger();
    }
    EXPECT_THAT(seen,
                ElementsAre(256U, 257U, 258U, 259U, 260U, 261U, 262U, 263U, 264U, 265U, 266U));

    seen.clear();
    g.ShowAndActivate();
    for (Qt::Key key :
         {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F10, Qt::Key_F7, Qt::Key_F8}) {
        QTest::keyClick(g.win().view(), key);
    }
    EXPECT_THAT(seen, ElementsAre(IDM_ABOUT, IDM_SELECTSOURCE, IDM_UPLOADFAST, IDM_UPLOADVISIBLE,
                                  IDM_SETUP, IDM_RESETTARGET, IDM_SENDBREAK));
    // With a modifier held they are no commands, and type nothing either.
    seen.clear();
    for (auto mod : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
        QTest::keyClick(g.win().view(), Qt::Key_F1, mod);
        QTest::keyClick(g.win().view(), Qt::Key_F10, mod);
    }
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(g.typed.empty());
}

TEST(QtWindow, MenuStateFollowsTheProcedure) {
    GuiWindow g;
    g.win().EnableMenuItem(IDM_CONNECT, 3);
    g.win().EnableMenuItem(IDM_DISCONNECT, 0);
    EXPECT_FALSE(g.win().MenuAction(IDM_CONNECT)->isEnabled());
    EXPECT_TRUE(g.win().MenuAction(IDM_DISCONNECT)->isEnabled());
}

TEST(QtWindow, FunctionKeysDoNothingWhileAModalDialogRuns) {
    GuiWindow g;
    g.ShowAndActivate();
    std::vector<unsigned> seen;
    bool aboutWasUp = false;
    // The About box runs its own loop; F1 and F10 sent meanwhile must not act, Esc must not close
    // it, and Return does.
    QTimer::singleShot(50, [&] {
        QWidget* box = QApplication::activeModalWidget();
        aboutWasUp = box != nullptr;
        g.commandHook = [&](unsigned id) {
            seen.push_back(id);
            return true;
        };
        QTest::keyClick(&g.win(), Qt::Key_F1);
        QTest::keyClick(&g.win(), Qt::Key_F10);
        if (box != nullptr) {
            QTest::keyClick(box, Qt::Key_Escape);
            EXPECT_EQ(QApplication::activeModalWidget(), box) << "Esc closed the About box";
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    g.win().SendCommand(IDM_ABOUT); // returns when the box has closed
    EXPECT_TRUE(aboutWasUp);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(QtWindow, TypedKeysBecomeTerminalBytes) {
    GuiWindow g;
    g.ShowAndActivate();
    QWidget* v = g.win().view();
    QTest::keyClick(v, Qt::Key_Return);
    QTest::keyClick(v, Qt::Key_Backspace);
    QTest::keyClick(v, Qt::Key_Escape);
    QTest::keyClick(v, Qt::Key_Tab);
    QTest::keyClick(v, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClicks(v, QStringLiteral("aZ~"));
    // Text outside ASCII goes out as its byte in the terminal's character set, when it has one.
    QTest::sendKeyEvent(QTest::Click, v, Qt::Key_unknown, QStringLiteral("\u00e9"), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Click, v, Qt::Key_unknown, QStringLiteral("\u2554"), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Click, v, Qt::Key_unknown, QStringLiteral("\u20ac"), Qt::NoModifier);
    QTest::keyClick(v, Qt::Key_Left); // types nothing
    EXPECT_THAT(g.typed, ElementsAre(0x0D, 0x08, 0x1B, 0x09, 0x03, 'a', 'Z', '~', 0x82, 0xC9));
    // Tab stayed in the terminal instead of moving the focus away.
    EXPECT_TRUE(g.win().view()->hasFocus());
}

TEST(QtWindow, ScrollBarsFollowTheRecordThroughResizes) {
    GuiWindow g;
    g.ShowAndActivate();
    QScrollBar* vbar = g.win().view()->verticalScrollBar();
    const int cy = g.tty().cyChar;
    // A client smaller than the page: a range, and the bar shown.
    g.win().resize(300, 200);
    QApplication::processEvents();
    EXPECT_EQ(vbar->maximum(), g.tty().nVScrollMax);
    EXPECT_EQ(g.tty().nVScrollMax, std::max(0, 25 * cy - g.tty().cyClient));
    EXPECT_GT(vbar->maximum(), 0);
    // Scroll to the bottom, then grow the window: the offset comes down to the new maximum.
    g.win().Send(WM_VSCROLL, MakeWParam(7, 0));
    EXPECT_EQ(vbar->value(), g.tty().nVScrollMax);
    g.win().resize(300, 25 * cy + 200);
    QApplication::processEvents();
    EXPECT_EQ(g.tty().nVScrollMax, 0);
    EXPECT_EQ(g.tty().nVScrollPos, 0);
    EXPECT_EQ(vbar->maximum(), 0);
    // Minimised: a size of 0 x 0 makes the whole page the range and keeps the offsets.
    g.win().Send(WM_SIZE, 1, MakeLParam(0, 0));
    EXPECT_EQ(vbar->maximum(), 25 * cy);
    EXPECT_EQ(g.win().view()->horizontalScrollBar()->maximum(), 80 * g.tty().cxChar);
    EXPECT_EQ(vbar->value(), 0);
}

// Lets the scroll area settle: it shows or hides its bars after it hears of a new range.
void Settle() {
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
    }
}

// The bars stand where the view is: their values are the record's offsets, and the thumbs are
// not left elsewhere.
void ExpectInStep(GuiWindow& g) {
    const QScrollBar* vbar = g.win().view()->verticalScrollBar();
    const QScrollBar* hbar = g.win().view()->horizontalScrollBar();
    EXPECT_EQ(vbar->value(), g.tty().nVScrollPos);
    EXPECT_EQ(hbar->value(), g.tty().nHScrollPos);
    EXPECT_EQ(vbar->sliderPosition(), vbar->value());
    EXPECT_EQ(hbar->sliderPosition(), hbar->value());
}

TEST(QtWindow, ScrollBarsComeAndGoWithTheirRange) {
    GuiWindow g;
    g.ShowAndActivate();
    QAbstractScrollArea* view = g.win().view();
    QScrollBar* vbar = view->verticalScrollBar();
    QScrollBar* hbar = view->horizontalScrollBar();
    // The first size holds the whole page: no bars.
    Settle();
    EXPECT_FALSE(vbar->isVisible());
    EXPECT_FALSE(hbar->isVisible());
    // One resize to less than the page brings both bars at once, not at the next resize; the
    // record measures the client area that is left beside them.
    g.win().resize(300, 200);
    Settle();
    EXPECT_TRUE(vbar->isVisible());
    EXPECT_TRUE(hbar->isVisible());
    EXPECT_EQ(g.tty().cyClient, view->viewport()->height());
    EXPECT_EQ(g.tty().cxClient, view->viewport()->width());
    EXPECT_EQ(vbar->maximum(), 25 * g.tty().cyChar - g.tty().cyClient);
    g.win().resize(80 * g.tty().cxChar + 50, 25 * g.tty().cyChar + 100);
    Settle();
    EXPECT_FALSE(vbar->isVisible());
    EXPECT_FALSE(hbar->isVisible());
    EXPECT_EQ(g.tty().cyClient, view->viewport()->height());

    // A larger font makes the page outgrow the same window: the bars come, stepping by the new
    // cell and the client extent, and the last row and column can be reached.
    g.tty().lfTTYFont.lfHeight = 28;
    ResetTTYScreen(&g.win(), &g.tty());
    Settle();
    const int cx = g.tty().cxChar;
    const int cy = g.tty().cyChar;
    ASSERT_GT(25 * cy, view->viewport()->height());
    EXPECT_TRUE(vbar->isVisible());
    EXPECT_TRUE(hbar->isVisible());
    EXPECT_EQ(g.tty().cyClient, view->viewport()->height());
    EXPECT_EQ(vbar->singleStep(), cy);
    EXPECT_EQ(vbar->pageStep(), g.tty().cyClient);
    EXPECT_EQ(hbar->singleStep(), cx);
    EXPECT_EQ(hbar->pageStep(), g.tty().cxClient);
    vbar->triggerAction(QAbstractSlider::SliderToMaximum);
    hbar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(25 * cy - g.tty().nVScrollPos, g.tty().cyClient);
    EXPECT_EQ(80 * cx - g.tty().nHScrollPos, g.tty().cxClient);
    ExpectInStep(g);
}

void Wheel(QWidget* target, QPoint angle, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QWheelEvent ev(at, target->mapToGlobal(at), QPoint(), angle, Qt::NoButton, mods,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &ev);
}

TEST(QtWindow, BarActionsWheelAndKeysScrollByCellsAndPages) {
    GuiWindow g;
    g.ShowAndActivate();
    g.win().resize(300, 160);
    Settle();
    QAbstractScrollArea* view = g.win().view();
    QScrollBar* vbar = view->verticalScrollBar();
    QScrollBar* hbar = view->horizontalScrollBar();
    const int cx = g.tty().cxChar;
    const int cy = g.tty().cyChar;
    const int lines = QApplication::wheelScrollLines();
    ASSERT_GT(g.tty().nVScrollMax, g.tty().cyClient + 2 * lines * cy);

    vbar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(g.tty().nVScrollPos, cy);
    ExpectInStep(g);
    vbar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(g.tty().nVScrollPos, cy + g.tty().cyClient);
    ExpectInStep(g);
    vbar->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(g.tty().nVScrollPos, 0);

    // A wheel notch over the text or over a bar moves the view by whole rows, the bar with it.
    Wheel(view->viewport(), QPoint(0, -120));
    EXPECT_EQ(g.tty().nVScrollPos, lines * cy);
    ExpectInStep(g);
    Wheel(vbar, QPoint(0, -120));
    EXPECT_EQ(g.tty().nVScrollPos, 2 * lines * cy);
    Wheel(view->viewport(), QPoint(0, 120));
    EXPECT_EQ(g.tty().nVScrollPos, lines * cy);
    // Half notches add up to one.
    Wheel(view->viewport(), QPoint(0, 60));
    Wheel(view->viewport(), QPoint(0, 60));
    EXPECT_EQ(g.tty().nVScrollPos, 0);
    ExpectInStep(g);
    // Sideways, and a page with Ctrl held.
    Wheel(view->viewport(), QPoint(-120, 0));
    EXPECT_EQ(g.tty().nHScrollPos, lines * cx);
    Wheel(view->viewport(), QPoint(0, -120), Qt::ControlModifier);
    EXPECT_EQ(g.tty().nVScrollPos, g.tty().cyClient);
    ExpectInStep(g);

    // Keys on a bar work it as its arrows and track do.
    QTest::keyClick(vbar, Qt::Key_Down);
    EXPECT_EQ(g.tty().nVScrollPos, g.tty().cyClient + cy);
    QTest::keyClick(hbar, Qt::Key_PageDown);
    EXPECT_EQ(g.tty().nHScrollPos, lines * cx + g.tty().cxClient);
    ExpectInStep(g);
}

TEST(QtWindow, DraggedThumbMovesTheTextWhenReleased) {
    GuiWindow g;
    g.ShowAndActivate();
    g.win().resize(300, 200);
    Settle();
    QScrollBar* vbar = g.win().view()->verticalScrollBar();
    const int target = g.tty().nVScrollMax / 2 + 3;
    vbar->setSliderDown(true);
    vbar->setSliderPosition(target / 2);
    vbar->setSliderPosition(target);
    // While dragged only the thumb moves; the bar's value stays with the view.
    EXPECT_EQ(g.tty().nVScrollPos, 0);
    EXPECT_EQ(vbar->value(), 0);
    EXPECT_EQ(vbar->sliderPosition(), target);
    vbar->setSliderDown(false);
    EXPECT_EQ(g.tty().nVScrollPos, target);
    ExpectInStep(g);
}

// Draws one byte's glyph the way the window should: the terminal font, black on the window
// colour, clipped to its cell.
QImage ReferenceCell(const GuiWindow& g, const QFont& font, char32_t cp, int cx, int cy,
                     QColor background) {
    (void)g;
    QImage img(cx, cy, QImage::Format_RGB32);
    img.fill(background);
    QPainter p(&img);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(0, QFontMetrics(font).ascent(), QString::fromUcs4(&cp, 1));
    return img;
}

TEST(QtWindow, PaintingDrawsEachByteInItsCell) {
    GuiWindow g;
    g.ShowAndActivate();
    // 'A', a box-drawing corner (0xC9) and the smiling face (0x01) on row 2 from column 3.
    g.tty().nCursorRow = 2;
    g.tty().nCursorCol = 3;
    WriteTTYBlock(&g.win(), "A\xC9\x01", 3);
    const QImage shot =
        g.win().view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int cx = g.tty().cxChar;
    const int cy = g.tty().cyChar;
    const QFont font = qt::MakeQFont(g.tty().lfTTYFont);
    const QColor background = g.win().view()->viewport()->palette().color(QPalette::Base);
    const char32_t expected[] = {U'A', U'\u2554', U'\u263A'};
    for (int i = 0; i < 3; ++i) {
        const QImage cell = shot.copy((3 + i) * cx, 2 * cy, cx, cy);
        const QImage want = ReferenceCell(g, font, expected[i], cx, cy, background);
        EXPECT_EQ(cell, want) << "cell " << i;
        EXPECT_NE(cell, ReferenceCell(g, font, U' ', cx, cy, background)) << "cell " << i;
    }
    // An untouched cell is blank.
    EXPECT_EQ(shot.copy(10 * cx, 10 * cy, cx, cy),
              ReferenceCell(g, font, U' ', cx, cy, background));
}

TEST(QtWindow, CaretStandsOnTheCursorCellAfterScrolling) {
    GuiWindow g;
    g.tty().fConnected = 1;
    g.ShowAndActivate();
    g.win().resize(300, 200);
    QApplication::processEvents();
    ASSERT_TRUE(g.win().CaretVisible());
    WriteTTYBlock(&g.win(), "\n\n\n\n\n\n\n\n\n\nhello", 15);
    g.win().Send(WM_VSCROLL, MakeWParam(1, 0)); // one row down
    g.win().Send(WM_HSCROLL, MakeWParam(1, 0)); // one column right
    QApplication::processEvents();
    const int cx = g.tty().cxChar;
    const int cy = g.tty().cyChar;
    EXPECT_EQ(g.tty().nVScrollPos, cy);
    EXPECT_EQ(g.win().CaretRect(), QRect(5 * cx - cx, 10 * cy - cy, cx, cy));
}

TEST(QtWindow, TextFromAnotherThreadIsPainted) {
    GuiWindow g;
    g.tty().fConnected = 1;
    g.ShowAndActivate();
    const long paintsBefore = g.paints;
    std::thread writer([&] {
        WriteTTYBlock(&g.win(), "from the receive thread", 23);
        g.win().RequestRepaint();
    });
    writer.join();
    QTest::qWait(50);
    QApplication::processEvents();
    EXPECT_GT(g.paints, paintsBefore);
    const int cx = g.tty().cxChar;
    const int cy = g.tty().cyChar;
    const QImage shot =
        g.win().view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QFont font = qt::MakeQFont(g.tty().lfTTYFont);
    const QColor background = g.win().view()->viewport()->palette().color(QPalette::Base);
    EXPECT_EQ(shot.copy(0, 0, cx, cy), ReferenceCell(g, font, U'f', cx, cy, background));
    // The caret caught up with the cursor, and is drawn over that cell.
    EXPECT_EQ(g.win().CaretRect().topLeft(), QPoint(23 * cx, 0));
}

TEST(QtWindow, AFloodFromAnotherThreadPaintsOnceAFrameAndEndsOnItsLastState) {
    GuiWindow g;
    g.tty().fConnected = 1;
    g.tty().fNewLine = 0;
    g.ShowAndActivate();
    const long paintsBefore = g.paints;
    const auto start = std::chrono::steady_clock::now();
    std::atomic<bool> done{false};
    std::thread writer([&] {
        // Scrolling lines as fast as they go for 300 ms, each block asking for a repaint.
        const std::string line = std::string(78, 'x') + "\r\n";
        while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300)) {
            WriteTTYBlock(&g.win(), line.data(), 80);
            g.win().RequestRepaint();
        }
        WriteTTYBlock(&g.win(), "last", 4);
        g.win().RequestRepaint();
        done = true;
    });
    while (!done.load()) {
        QTest::qWait(5);
    }
    writer.join();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    QTest::qWait(50);
    EXPECT_LE(g.paints - paintsBefore, ms / 16 + 5);
    const int cx = g.tty().cxChar;
    const int cy = g.tty().cyChar;
    const QImage shot =
        g.win().view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QFont font = qt::MakeQFont(g.tty().lfTTYFont);
    const QColor background = g.win().view()->viewport()->palette().color(QPalette::Base);
    EXPECT_EQ(shot.copy(0, 24 * cy, cx, cy), ReferenceCell(g, font, U'l', cx, cy, background));

    // The caret placed from another thread arrives where it was sent, also above and left of
    // the view (the cursor is on row 24, column 4).
    g.tty().nHScrollPos = 7 * cx;
    g.tty().nVScrollPos = 26 * cy;
    std::thread([&] { MoveTTYCursor(&g.win()); }).join();
    QTest::qWait(50);
    EXPECT_EQ(g.win().CaretRect().topLeft(), QPoint(-3 * cx, -2 * cy));
}

TEST(QtWindow, TelnetRetryAgainstASilentServerLeavesTheWindowAnswering) {
    // A listener on 127.0.0.1 whose backlog is full: a connect to it is never answered.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    auto* at = reinterpret_cast<sockaddr*>(&addr);
    ASSERT_FALSE(::bind(silent, at, len) != 0 || ::listen(silent, 0) != 0 ||
                 ::getsockname(silent, at, &len) != 0);
    const int fill[] = {::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0),
                        ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    for (int f : fill) {
        ::connect(f, at, len);
    }
    posix::DeviceMap map;
    map.telnetPort = ntohs(addr.sin_port);
    const auto factory = posix::MakePortFactory(map);
    platform::SetPortFactory(factory.get());
    GuiWindow g;
    g.tty().bPortNum = kTelnetPortNum;
    g.tty().fReconnecting = true; // as after the loss of the port
    g.tty().nRetryMs = kTelnetRetryMs;
    bool answered = false;
    bool connecting = false;
    g.commandHook = [&](unsigned id) {
        answered = answered || id == IDM_ABOUT;
        connecting = g.tty().fOpening && DescribeStatus(&g.win()).state == "connecting";
        return true;
    };
    g.ShowAndActivate();
    g.win().SetTimer(kReconnectTimer, 1);
    QTimer::singleShot(300, [&] { QTest::keyClick(g.win().view(), Qt::Key_F1); });
    // F1 is taken while the retry's connect still waits for the server.
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, 2000));
    EXPECT_TRUE(connecting);
    CloseConnection(&g.win());
    platform::SetPortFactory(nullptr);
    for (int fd : {silent, fill[0], fill[1]}) {
        ::close(fd);
    }
}

} // namespace
} // namespace pelko::test

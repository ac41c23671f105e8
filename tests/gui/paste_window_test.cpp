// The real Qt window against the target simulator: text chosen with the mouse, copied, and
// pasted back as keys; pasted lines uploaded, paced by the echo, a rejected one named by its
// number in the paste.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QTest>
#include <fstream>
#include <unistd.h>

#include "platform/system.h"
#include "posix/devices.h"
#include "resources/globals.h"
#include "serial/connection.h"
#include "serial/transmit.h"
#include "tests/gui/gui_support.h"
#include "tests/support/private_dir.h"
#include "tools/rig/rig.h"

namespace pelko::test {
namespace {

std::string ScreenText(TTYInfo& tty) {
    std::lock_guard lock(tty.screenLock);
    return std::string(reinterpret_cast<const char*>(tty.achScreen), kScreenCells);
}

TEST(PasteWindow, SelectionCopiedAndPastedReachesTheTargetLineForLine) {
    PrivateDir dir;
    auto sim =
        rig::Simulator::Start({"--reject-word", "bad", "--transcript", dir.Path() + "/transcript"});
    ASSERT_NE(sim, nullptr);
    posix::DeviceMap map;
    map.com[1] = sim->Path();
    map.lockDir = dir.Path();
    auto factory = posix::MakePortFactory(map);
    platform::SetPortFactory(factory.get());

    GuiWindow g;
    g.tty().osRead.hEvent = platform::Sys().CreateEvent();
    hTTYWnd = &g.win();
    ASSERT_NE(OpenConnection(&g.win()), 0);
    g.ShowAndActivate();
    QWidget* view = g.win().view()->viewport();
    auto waitFor = [&](const std::string& text) {
        return QTest::qWaitFor([&] { return ScreenText(g.tty()).find(text) != std::string::npos; },
                               5000);
    };
    auto transcript = [&] {
        std::ifstream in(dir.Path() + "/transcript", std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    };

    // Typed, echoed on row 0; dragged over from column 0 to 4, copied, pasted as keys.
    for (const char c : std::string("hello world")) {
        QTest::keyClick(view, c);
    }
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(waitFor("hello world"));
    const platform::Size cell = g.win().CellSize();
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(cell.cx / 2, cell.cy / 2));
    QTest::mouseMove(view, QPoint(4 * cell.cx + cell.cx / 2, cell.cy / 2));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(4 * cell.cx + cell.cx / 2, cell.cy / 2));
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "hello");
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Return);
    // Its echo is in before the upload below waits for the first one.
    ASSERT_TRUE(QTest::qWaitFor([&] { return transcript().size() == 2; }, 5000));
    QTest::qWait(200);

    // Lines go through the reader and the echo: comments stripped, the third line rejected.
    QGuiApplication::clipboard()->setText("one\n\\ a comment\ntwo \\ note\nbad line\nfour\n");
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    // The dot follows line 1; the echo of the rejected line may come before or after the report.
    EXPECT_TRUE(waitFor("Loading ."));
    EXPECT_TRUE(waitFor("Source Error in line "));
    EXPECT_TRUE(waitFor("<4> "));
    EXPECT_EQ(transcript(),
              (std::vector<std::string>{"hello world", "hello", "one", "two ", "bad line"}));

    CloseConnection(&g.win());
    hTTYWnd = nullptr;
    platform::SetPortFactory(nullptr);
    platform::Sys().CloseEvent(g.tty().osRead.hEvent);
}

TEST(PasteWindow, ALongPasteIsTypedWithoutHoldingTheWindowAndEscStopsIt) {
    PrivateDir dir;
    // 11,520 bytes a second: 200,000 bytes would take 17 s.
    auto sim =
        rig::Simulator::Start({"--baud", "115200", "--transcript", dir.Path() + "/transcript"});
    ASSERT_NE(sim, nullptr);
    posix::DeviceMap map;
    map.com[1] = sim->Path();
    map.lockDir = dir.Path();
    auto factory = posix::MakePortFactory(map);
    platform::SetPortFactory(factory.get());
    GuiWindow g;
    g.tty().osRead.hEvent = platform::Sys().CreateEvent();
    hTTYWnd = &g.win();
    ASSERT_NE(OpenConnection(&g.win()), 0);
    g.ShowAndActivate();
    QWidget* view = g.win().view()->viewport();

    QGuiApplication::clipboard()->setText(QString(200000, QLatin1Char('x')));
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    // The window goes on with its events while the paste goes out.
    std::size_t sent = 0;
    std::size_t total = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Typing(sent, total) && sent > 0; }, 5000));
    EXPECT_EQ(total, 200000U);
    QTest::keyClick(view, Qt::Key_A); // not sent: it would land inside the paste
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_FALSE(Typing(sent, total));
    QTest::keyClick(view, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            std::ifstream in(dir.Path() + "/transcript", std::ios::binary);
            std::string line;
            return static_cast<bool>(std::getline(in, line));
        },
        30000));
    std::ifstream in(dir.Path() + "/transcript", std::ios::binary);
    std::string line;
    std::getline(in, line);
    EXPECT_LT(line.size(), 200000U) << line.size();
    EXPECT_EQ(line.find_first_not_of('x'), std::string::npos) << "not only the paste: " << line;

    CloseConnection(&g.win());
    hTTYWnd = nullptr;
    platform::SetPortFactory(nullptr);
    platform::Sys().CloseEvent(g.tty().osRead.hEvent);
}

} // namespace
} // namespace pelko::test

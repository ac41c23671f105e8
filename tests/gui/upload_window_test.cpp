// The real Qt window during an upload: the echo wait keeps painting, drops other input and ends
// on Esc, on a close (then asks to exit) or on the receive thread's wake-up; the open-file dialog
// offers the source filters.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <thread>
#include <unistd.h>

#include "resources/commands.h"
#include "terminal/interpreter.h"
#include "tests/gui/gui_support.h"
#include "upload/source.h"

namespace pelko::test {
namespace {

TEST(EchoWait, EndsOnTheWakeUpAndPaintsMeanwhile) {
    GuiWindow g;
    g.ShowAndActivate();
    std::atomic<std::uint8_t> sync{0};
    const long paintsBefore = g.paints;
    std::thread target([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // Text from the receive thread shows while the window thread waits.
        WriteTTYBlock(&g.win(), reinterpret_cast<const std::uint8_t*>("echo"), 4);
        g.win().RequestRepaint();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sync.store(0x06);
        g.win().WakeEchoWait();
    });
    EXPECT_TRUE(g.win().WaitForEcho(sync));
    target.join();
    EXPECT_GT(g.paints, paintsBefore);
}

TEST(EchoWait, EscCancelsAndOtherKeysAndCommandsAreDropped) {
    GuiWindow g;
    g.ShowAndActivate();
    std::vector<unsigned> commands;
    g.commandHook = [&](unsigned id) {
        commands.push_back(id);
        return true;
    };
    std::atomic<std::uint8_t> sync{0};
    QTimer::singleShot(30, [&] {
        QTest::keyClick(g.win().view(), Qt::Key_A);
        QTest::keyClick(g.win().view(), Qt::Key_F3);
        QTest::keyClick(g.win().view(), Qt::Key_Escape);
    });
    EXPECT_FALSE(g.win().WaitForEcho(sync));
    EXPECT_TRUE(g.typed.empty());
    EXPECT_TRUE(commands.empty());
    // Afterwards the window hears keys again.
    QTest::keyClick(g.win().view(), Qt::Key_A);
    EXPECT_EQ(g.typed.size(), 1u);
}

// The window system closes the native window; Pelko's own exit closes the widget.
TEST(EchoWait, CloseCancelsAndAsksToExitOnceTheWaitHasEnded) {
    GuiWindow g;
    g.ShowAndActivate();
    for (const bool native : {true, false}) {
        std::atomic<std::uint8_t> sync{0};
        QTimer::singleShot(30, [&] { native ? g.win().windowHandle()->close() : g.win().close(); });
        QTimer unheard; // ends a wait that missed the close
        unheard.setSingleShot(true);
        QObject::connect(&unheard, &QTimer::timeout, [&] { sync.store(0x06); });
        unheard.start(1000);
        EXPECT_FALSE(g.win().WaitForEcho(sync)) << native;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "asked inside the wait";
        QString asked;
        QTimer::singleShot(50, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = box->windowTitle() + "|" + box->text();
                box->reject();
            }
        });
        QTest::qWait(300);
        EXPECT_EQ(asked, "Really?|exit   Pelko?") << native;
        EXPECT_TRUE(g.win().isVisible()) << "closed although the question was cancelled";
    }
}

TEST(SourceDialog, OffersTheSourceFiltersAndKeepsTheWorkingDirectory) {
    GuiWindow g;
    g.ShowAndActivate();
    char before[4096];
    ASSERT_NE(getcwd(before, sizeof before), nullptr);
    QStringList filters;
    QTimer::singleShot(50, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            return;
        }
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        for (int i = 0; types != nullptr && i < types->count(); ++i) {
            filters << types->itemText(i);
        }
        dialog->reject();
    });
    std::string path = "/tmp/earlier.src";
    std::string title = "earlier.src";
    EXPECT_EQ(SourceOpenDlg(&g.win(), path, title), 0);
    EXPECT_EQ(path, "/tmp/earlier.src"); // a cancelled dialog keeps the earlier choice
    EXPECT_EQ(filters,
              QStringList({"Text Files (*.TXT)", "Zemra Source (*.SRC)", "All Files (*.*)"}));
    char after[4096];
    ASSERT_NE(getcwd(after, sizeof after), nullptr);
    EXPECT_STREQ(before, after);
}

} // namespace
} // namespace pelko::test

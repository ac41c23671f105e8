// The real Setup dialog, offscreen: its controls as laid out, the port list locked while
// connected, OK and Cancel through real clicks, and the font chooser reaching the record. A
// picture of the dialog is kept as artifacts/setup_dialog.png (or in $PELKO_ARTIFACTS).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/port.h"
#include "qt/dialog_host.h"
#include "qt/font_chooser.h"
#include "qt/qt_font.h"
#include "resources/port_names.h"
#include "serial/connection.h"
#include "serial/settings_dialog.h"
#include "settings/settings.h"
#include "tests/gui/gui_support.h"

namespace pelko::test {
namespace {

using testing::ElementsAre;

std::vector<std::string> Entries(QComboBox* combo) {
    std::vector<std::string> out;
    for (int i = 0; i < combo->count(); ++i) {
        out.push_back(combo->itemText(i).toStdString());
    }
    return out;
}

template <class T> T* ItemOf(qt::DialogHost* dlg, int id) {
    T* w = qobject_cast<T*>(dlg->Item(id));
    EXPECT_NE(w, nullptr) << "control " << id;
    return w;
}

// Runs the Setup dialog over the window's record; `inside` runs once the dialog is up and must
// close it. Returns whether the dialog was seen.
bool RunSetup(GuiWindow& g, const std::function<void(qt::DialogHost*)>& inside) {
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<qt::DialogHost*>(QApplication::activeModalWidget());
        seen = dlg != nullptr;
        if (dlg != nullptr) {
            inside(dlg);
        }
    });
    const int result = g.win().DialogBoxParam(IDD_SETTINGS, SettingsDlgProc,
                                              reinterpret_cast<std::intptr_t>(&g.tty()));
    EXPECT_EQ(result, 1);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the dialog is still up";
    return seen;
}

void Click(QWidget* w) {
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton);
}

TEST(QtSetupDialog, ShowsTheControlsAsLaidOutAndLocksThePortWhileConnected) {
    GuiWindow g;
    g.ShowAndActivate();
    g.tty().fConnected = 1;
    EXPECT_TRUE(RunSetup(g, [](qt::DialogHost* dlg) {
        EXPECT_EQ(dlg->windowTitle().toStdString(), "Setup");
        QComboBox* port = ItemOf<QComboBox>(dlg, IDD_PORTCB);
        QComboBox* baud = ItemOf<QComboBox>(dlg, IDD_BAUDCB);
        EXPECT_THAT(Entries(port), ElementsAre("COM1", "COM2", "COM3", "COM4", "TELNET"));
        EXPECT_THAT(Entries(baud), ElementsAre("9600", "19.2k", "38.4k", "57.6k", "115.2k"));
        EXPECT_EQ(port->currentIndex(), 0);
        EXPECT_EQ(baud->currentText().toStdString(), "19.2k");
        EXPECT_FALSE(port->isEnabled());
        EXPECT_TRUE(baud->isEnabled());

        std::vector<std::string> groups;
        for (auto* box : dlg->findChildren<QGroupBox*>()) {
            groups.push_back(box->title().toStdString());
        }
        EXPECT_THAT(groups, ElementsAre("&Terminal:", "&Display Options:"));
        std::vector<std::string> texts;
        for (auto* label : dlg->findChildren<QLabel*>()) {
            texts.push_back(label->text().toStdString());
        }
        // The last line names the chosen port's device: none here.
        EXPECT_THAT(texts, ElementsAre("&Port:", "&Baud Rate:", "Fixed:", "-- 8 Data Bits",
                                       "-- No Parity", "-- 1 Stop Bit", "-- No Handshake", ""));
        std::vector<std::pair<std::string, bool>> checks;
        for (int id : {554, 552, 556, 553, 555}) {
            auto* box = ItemOf<QCheckBox>(dlg, id);
            checks.emplace_back(box->text().toStdString(), box->isChecked());
        }
        EXPECT_THAT(checks, ElementsAre(std::pair{"New Line", true}, std::pair{"Autowrap", true},
                                        std::pair{"Max.40", false}, std::pair{"HEXprint", false},
                                        std::pair{"Local Echo", false}));
        EXPECT_EQ(ItemOf<QPushButton>(dlg, IDD_FONT)->text().toStdString(), "&Font");
        EXPECT_EQ(ItemOf<QPushButton>(dlg, 1)->text().toStdString(), "Ok");
        EXPECT_TRUE(ItemOf<QPushButton>(dlg, 1)->isDefault());
        EXPECT_EQ(ItemOf<QPushButton>(dlg, 2)->text().toStdString(), "Cancel");

        const QString dir = qEnvironmentVariable("PELKO_ARTIFACTS", QStringLiteral("artifacts"));
        QDir().mkpath(dir);
        EXPECT_TRUE(dlg->grab().save(dir + QStringLiteral("/setup_dialog.png")));

        // Tab goes through the tab stops in layout order; the disabled port list is skipped.
        std::vector<int> tabbed;
        QWidget* start = dlg->Item(IDD_BAUDCB);
        start->setFocus();
        QApplication::processEvents();
        for (int i = 0; i < 6 && QApplication::focusWidget() != nullptr; ++i) {
            tabbed.push_back(QApplication::focusWidget()->objectName().mid(4).toInt());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_THAT(tabbed, ElementsAre(IDD_BAUDCB, IDD_AUTOWRAP, IDD_FONT, 1, 2, IDD_BAUDCB));

        // A check box round trip: ticked by a click, read back by OK.
        Click(ItemOf<QCheckBox>(dlg, IDD_HEXPRINT));
        Click(ItemOf<QCheckBox>(dlg, IDD_NEWLINE));
        Click(ItemOf<QPushButton>(dlg, 1));
    }));
    EXPECT_EQ(g.tty().fHexPrint, 1);
    EXPECT_EQ(g.tty().fNewLine, 0);
    EXPECT_EQ(g.tty().fAutoWrap, 1);
    EXPECT_EQ(g.tty().bPortNum, 1);
    EXPECT_EQ(g.tty().dwBaudRate, 19200U);
}

TEST(QtSetupDialog, CancelKeepsTheRecordAndOkTakesTheLists) {
    GuiWindow g;
    g.ShowAndActivate();
    g.tty().fConnected = 0;
    auto change = [](qt::DialogHost* dlg) {
        QComboBox* port = ItemOf<QComboBox>(dlg, IDD_PORTCB);
        EXPECT_TRUE(port->isEnabled());
        port->setCurrentIndex(4);
        ItemOf<QComboBox>(dlg, IDD_BAUDCB)->setCurrentIndex(4);
        Click(ItemOf<QCheckBox>(dlg, IDD_MAX40));
    };
    gwMaxColumn = 80;
    EXPECT_TRUE(RunSetup(g, [&](qt::DialogHost* dlg) {
        change(dlg);
        QTest::keyClick(dlg, Qt::Key_Escape); // Esc is Cancel
    }));
    EXPECT_EQ(g.tty().bPortNum, 1);
    EXPECT_EQ(g.tty().dwBaudRate, 19200U);
    EXPECT_EQ(g.tty().fMax40, 0);
    EXPECT_EQ(gwMaxColumn, 80);

    EXPECT_TRUE(RunSetup(g, [&](qt::DialogHost* dlg) {
        change(dlg);
        Click(ItemOf<QPushButton>(dlg, 1));
    }));
    EXPECT_EQ(g.tty().bPortNum, 5);
    EXPECT_EQ(g.tty().dwBaudRate, 115200U);
    EXPECT_EQ(g.tty().fMax40, 1);
    EXPECT_EQ(gwMaxColumn, 40);
}

class MappedDevices : public platform::PortFactory {
public:
    std::unique_ptr<platform::Port> Open(const std::string&) override { return nullptr; }
    std::string DescribeDevice(const std::string& device) override {
        return device == gszTelnetDevice ? "127.0.0.1:2217" : "/dev/tty" + device;
    }
};

TEST(QtSetupDialog, PortEntriesCarryTheirDevicesAsTooltips) {
    GuiWindow g;
    g.ShowAndActivate();
    g.tty().fConnected = 0;
    g.tty().bPortNum = 2;
    MappedDevices devices;
    platform::SetPortFactory(&devices);
    EXPECT_TRUE(RunSetup(g, [](qt::DialogHost* dlg) {
        QComboBox* port = ItemOf<QComboBox>(dlg, IDD_PORTCB);
        EXPECT_THAT(Entries(port), ElementsAre("COM1", "COM2", "COM3", "COM4", "TELNET"));
        std::vector<std::string> tips;
        for (int i = 0; i < port->count(); ++i) {
            tips.push_back(port->itemData(i, Qt::ToolTipRole).toString().toStdString());
        }
        EXPECT_THAT(tips, ElementsAre("/dev/ttyCOM1", "/dev/ttyCOM2", "/dev/ttyCOM3",
                                      "/dev/ttyCOM4", "127.0.0.1:2217"));
        // The closed list tells what its selected entry stands for.
        EXPECT_EQ(port->toolTip().toStdString(), "/dev/ttyCOM2");
        EXPECT_EQ(dlg->findChildren<QLabel*>().back()->text().toStdString(), "= /dev/ttyCOM2");
        port->setCurrentIndex(4);
        EXPECT_EQ(port->toolTip().toStdString(), "127.0.0.1:2217");
        EXPECT_EQ(dlg->findChildren<QLabel*>().back()->text().toStdString(), "= 127.0.0.1:2217");
        Click(ItemOf<QPushButton>(dlg, 2));
    }));
    platform::SetPortFactory(nullptr);
}

TEST(QtSetupDialog, UnknownPortAndRateShowNothingSelectedAndSurviveOk) {
    GuiWindow g;
    g.ShowAndActivate();
    g.tty().fConnected = 0;
    g.tty().bPortNum = 9;
    g.tty().dwBaudRate = 4800;
    EXPECT_TRUE(RunSetup(g, [](qt::DialogHost* dlg) {
        EXPECT_EQ(ItemOf<QComboBox>(dlg, IDD_PORTCB)->currentIndex(), -1);
        EXPECT_EQ(ItemOf<QComboBox>(dlg, IDD_BAUDCB)->currentIndex(), -1);
        Click(ItemOf<QPushButton>(dlg, 1));
    }));
    EXPECT_EQ(g.tty().bPortNum, 9);
    EXPECT_EQ(g.tty().dwBaudRate, 4800U);
}

TEST(QtSetupDialog, AChosenFontReachesTheRecordAndTheCellAndOutlivesCancel) {
    GuiWindow g;
    g.ShowAndActivate();
    ASSERT_TRUE(qt::FontChooser::Families().contains(QStringLiteral("DejaVu Sans Mono")));
    bool chooserSeen = false;
    EXPECT_TRUE(RunSetup(g, [&](qt::DialogHost* dlg) {
        QTimer::singleShot(0, [&] {
            auto* chooser = qobject_cast<qt::FontChooser*>(QApplication::activeModalWidget());
            chooserSeen = chooser != nullptr;
            if (chooser == nullptr) {
                return;
            }
            auto* family = chooser->findChild<QListWidget*>(QStringLiteral("family"));
            family->setCurrentItem(
                family->findItems(QStringLiteral("DejaVu Sans Mono"), Qt::MatchExactly).front());
            chooser->findChild<QSpinBox*>(QStringLiteral("size"))->setValue(20);
            Click(chooser->findChild<QCheckBox*>(QStringLiteral("underline")));
            auto* color = chooser->findChild<QComboBox*>(QStringLiteral("color"));
            color->setCurrentIndex(color->findText(QStringLiteral("Red")));
            chooser->accept();
        });
        Click(ItemOf<QPushButton>(dlg, IDD_FONT)); // returns once the chooser has closed
        // In force before the dialog closes.
        EXPECT_EQ(g.tty().lfTTYFont.lfHeight, 20);
        Click(ItemOf<QPushButton>(dlg, 2));
    }));
    ASSERT_TRUE(chooserSeen);
    const platform::LogFont& lf = g.tty().lfTTYFont;
    EXPECT_STREQ(lf.lfFaceName, "DejaVu Sans Mono");
    EXPECT_EQ(lf.lfHeight, 20);
    EXPECT_EQ(lf.lfUnderline, 1);
    EXPECT_EQ(lf.lfItalic, 0);
    EXPECT_EQ(lf.lfStrikeOut, 0);
    EXPECT_EQ(g.tty().rgbTextColor, 0x0000FFU);
    const platform::TextMetrics tm = qt::MetricsOf(qt::MakeQFont(lf));
    EXPECT_EQ(g.tty().cxChar, tm.tmAveCharWidth);
    EXPECT_EQ(g.tty().cyChar, tm.tmHeight + tm.tmExternalLeading);
    EXPECT_GT(g.tty().cyChar, 16); // bigger than the 14 px start
}

TEST(QtFontChooser, StartsFromTheRecordWithoutTurningItalicAndKeepsPixels) {
    platform::LogFont lf;
    lf.lfHeight = 14;
    lf.lfCharSet = 255;
    lf.lfPitchAndFamily = 0x31;
    platform::SetFaceName(lf, "Lucida Console"); // not installed: shown as its stand-in
    qt::FontChooser chooser(nullptr, lf, 0x123456);
    const QStringList families = qt::FontChooser::Families();
    ASSERT_FALSE(families.isEmpty());
    for (const QString& f : families) {
        EXPECT_TRUE(QFontDatabase::isFixedPitch(f)) << f.toStdString();
    }
    const platform::LogFont back = chooser.Chosen();
    EXPECT_TRUE(families.contains(QString::fromLatin1(back.lfFaceName)));
    EXPECT_EQ(back.lfHeight, 14);
    EXPECT_EQ(back.lfItalic, 0);
    EXPECT_LT(back.lfWeight, 600);
    EXPECT_EQ(back.lfCharSet, 255);
    EXPECT_EQ(back.lfPitchAndFamily, 0x31);
    EXPECT_EQ(chooser.Color(), 0x123456U); // a colour outside the list is kept

    // Cancelled: nothing changes.
    platform::LogFont kept = lf;
    std::uint32_t color = 7;
    QTimer::singleShot(0, [] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            QTest::keyClick(w, Qt::Key_Escape);
        }
    });
    EXPECT_FALSE(qt::RunFontChooser(nullptr, kept, color));
    EXPECT_STREQ(kept.lfFaceName, "Lucida Console");
    EXPECT_EQ(color, 7U);
}

} // namespace
} // namespace pelko::test

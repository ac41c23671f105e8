// The settings file: its exact bytes, the round trip, short, long and malformed files, and saves
// that must fail without touching the file already there. Every test runs in its own directory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/create.h"
#include "settings/settings.h"
#include "terminal/tty_info.h"
#include "tests/support/private_dir.h"
#include "tests/support/recording_window.h"
#include "tests/support/terminal_record.h"

namespace pelko::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const char* name, const Bytes& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes Concat(Bytes head, const std::string& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// The file that the defaults make.
Bytes DefaultsFile() {
    return Concat({0x01, 0x08, 0x01, 0x01, 0x00, 0x00, 0x00, 0x0E},
                  std::string("Lucida Console\0", 15));
}

// Names in the current directory other than "." and "..".
std::vector<std::string> Entries() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(".")) {
        names.push_back(e.path().filename().string());
    }
    return names;
}

class SettingsFileTest : public testing::Test {
protected:
    SettingsFileTest() { gwMaxColumn = 0; }
    PrivateDir dir;
    RecordingWindow win;
    AttachedRecord tty{win};
};

TEST_F(SettingsFileTest, DefaultsAreWrittenAsTheTwentyThreeBytes) {
    EXPECT_EQ(SaveDefaults(&win), 1);
    EXPECT_EQ(ReadFile(gszDefaultName), DefaultsFile());
    EXPECT_EQ(gdwLength, 23U);
    EXPECT_THAT(Entries(), testing::ElementsAre(gszDefaultName)); // no temporary left behind
    EXPECT_TRUE(win.Calls().empty());                             // nothing shown
}

TEST_F(SettingsFileTest, OptionBytesStandInTheirOwnOrder) {
    struct Case {
        Flag32 TTYInfo::*field;
        std::size_t offset;
    };
    for (const Case c :
         {Case{&TTYInfo::fNewLine, 2}, Case{&TTYInfo::fAutoWrap, 3}, Case{&TTYInfo::fMax40, 4},
          Case{&TTYInfo::fLocalEcho, 5}, Case{&TTYInfo::fHexPrint, 6}}) {
        for (Flag32* f :
             {&tty->fNewLine, &tty->fAutoWrap, &tty->fMax40, &tty->fLocalEcho, &tty->fHexPrint}) {
            *f = 0;
        }
        ((*tty).*c.field) = 1;
        ASSERT_EQ(SaveDefaults(&win), 1);
        const Bytes file = ReadFile(gszDefaultName);
        ASSERT_GE(file.size(), 8U);
        for (std::size_t i = 2; i <= 6; ++i) {
            EXPECT_EQ(file[i], i == c.offset ? 1 : 0) << "offset " << i;
        }
    }
}

TEST_F(SettingsFileTest, SaveThenLoadKeepsWhatTheFileHolds) {
    tty->bPortNum = 5;
    tty->dwBaudRate = 115200;
    tty->fNewLine = 0;
    tty->fAutoWrap = 0;
    tty->fMax40 = 1;
    tty->fLocalEcho = 1;
    tty->fHexPrint = 1;
    tty->lfTTYFont.lfHeight = -20;
    platform::SetFaceName(tty->lfTTYFont, "DejaVu Sans Mono");
    tty->lfTTYFont.lfWeight = 700;
    tty->lfTTYFont.lfItalic = 1;
    tty->lfTTYFont.lfUnderline = 1;
    tty->rgbTextColor = 0x0000FF;
    ASSERT_EQ(SaveDefaults(&win), 1);
    EXPECT_EQ(ReadFile(gszDefaultName).size(), 8U + 16U + 1U);

    TTYInfo fresh;
    SetTTYDefaults(&fresh);
    LoadDefaults(&fresh);
    EXPECT_EQ(fresh.bPortNum, 5);
    EXPECT_EQ(fresh.dwBaudRate, 115200U);
    EXPECT_EQ(fresh.fNewLine, 0);
    EXPECT_EQ(fresh.fAutoWrap, 0);
    EXPECT_EQ(fresh.fMax40, 1);
    EXPECT_EQ(fresh.fLocalEcho, 1);
    EXPECT_EQ(fresh.fHexPrint, 1);
    EXPECT_EQ(fresh.lfTTYFont.lfHeight, -20);
    EXPECT_STREQ(fresh.lfTTYFont.lfFaceName, "DejaVu Sans Mono");
    EXPECT_EQ(gwMaxColumn, 40);
    // Not kept: these come back at their start values.
    EXPECT_EQ(fresh.lfTTYFont.lfWeight, 0);
    EXPECT_EQ(fresh.lfTTYFont.lfItalic, 0);
    EXPECT_EQ(fresh.lfTTYFont.lfUnderline, 0);
    EXPECT_EQ(fresh.lfTTYFont.lfCharSet, 255);
    EXPECT_EQ(fresh.rgbTextColor, 0U);
}

TEST_F(SettingsFileTest, HeightsAndBaudRatesComeBackThroughOneByte) {
    struct Case {
        std::int32_t height;
        std::int32_t heightBack;
        std::uint32_t baud;
        std::uint32_t baudBack;
    };
    for (const Case c :
         {Case{127, 127, 9600, 9600}, Case{-128, -128, 38400, 38400}, Case{128, -128, 57600, 57600},
          Case{300, 44, 0, 0}, Case{-200, 56, 2399, 0},
          // A rate past what the signed byte holds comes back as 115200, not wrapped.
          Case{200, -56, 2400 * 200, 115200}, Case{14, 14, 2400 * 256, 115200}}) {
        tty->lfTTYFont.lfHeight = c.height;
        tty->dwBaudRate = c.baud;
        ASSERT_EQ(SaveDefaults(&win), 1);
        TTYInfo fresh;
        SetTTYDefaults(&fresh);
        LoadDefaults(&fresh);
        EXPECT_EQ(fresh.lfTTYFont.lfHeight, c.heightBack) << c.height;
        EXPECT_EQ(fresh.dwBaudRate, c.baudBack) << c.baud;
    }
}

TEST_F(SettingsFileTest, BytesAreReadAsSignedValues) {
    WriteFile(gszDefaultName, Concat({0xFE, 0xFF, 0x80, 0x02, 0x00, 0xFF, 0x7F, 0x80}, "A"));
    LoadDefaults(&*tty);
    EXPECT_EQ(tty->bPortNum, 254);                                 // unsigned
    EXPECT_EQ(tty->dwBaudRate, static_cast<std::uint32_t>(-2400)); // signed, times 2400
    EXPECT_EQ(tty->fNewLine, -128);                                // any nonzero is on
    EXPECT_EQ(tty->fAutoWrap, 2);
    EXPECT_EQ(tty->fMax40, 0);
    EXPECT_EQ(tty->fLocalEcho, -1);
    EXPECT_EQ(tty->fHexPrint, 127);
    EXPECT_EQ(tty->lfTTYFont.lfHeight, -128);
    EXPECT_STREQ(tty->lfTTYFont.lfFaceName, "A"); // no zero byte: the end of the file ends it
    EXPECT_EQ(gwMaxColumn, 80);
}

TEST_F(SettingsFileTest, ShortFilesReadAsZerosWhereTheyEnd) {
    // A long file first, so that a later short one cannot borrow its bytes.
    WriteFile(gszDefaultName, Concat({1, 8, 1, 1, 1, 1, 1, 14}, std::string("Courier\0", 8)));
    LoadDefaults(&*tty);
    ASSERT_STREQ(tty->lfTTYFont.lfFaceName, "Courier");
    ASSERT_EQ(gwMaxColumn, 40);

    // Exactly 8 bytes: every field from the file, an empty face name.
    WriteFile(gszDefaultName, {3, 16, 0, 1, 0, 0, 1, 20});
    LoadDefaults(&*tty);
    EXPECT_EQ(tty->bPortNum, 3);
    EXPECT_EQ(tty->dwBaudRate, 38400U);
    EXPECT_EQ(tty->fNewLine, 0);
    EXPECT_EQ(tty->fAutoWrap, 1);
    EXPECT_EQ(tty->fMax40, 0);
    EXPECT_EQ(tty->fHexPrint, 1);
    EXPECT_EQ(tty->lfTTYFont.lfHeight, 20);
    EXPECT_STREQ(tty->lfTTYFont.lfFaceName, "");
    EXPECT_EQ(gwMaxColumn, 80);

    // Two bytes: the rest is zero.
    WriteFile(gszDefaultName, {2, 4});
    tty->fNewLine = 1;
    LoadDefaults(&*tty);
    EXPECT_EQ(tty->bPortNum, 2);
    EXPECT_EQ(tty->dwBaudRate, 9600U);
    EXPECT_EQ(tty->fNewLine, 0);
    EXPECT_EQ(tty->lfTTYFont.lfHeight, 0);

    // Empty: everything zero.
    WriteFile(gszDefaultName, {});
    SetTTYDefaults(&*tty);
    LoadDefaults(&*tty);
    EXPECT_EQ(tty->bPortNum, 0);
    EXPECT_EQ(tty->dwBaudRate, 0U);
    EXPECT_EQ(tty->fNewLine, 0);
    EXPECT_EQ(tty->fAutoWrap, 0);
    EXPECT_EQ(tty->lfTTYFont.lfHeight, 0);
    EXPECT_STREQ(tty->lfTTYFont.lfFaceName, "");
    EXPECT_EQ(gwMaxColumn, 80);
    // What the file never holds stays.
    EXPECT_EQ(tty->lfTTYFont.lfCharSet, 255);
    EXPECT_EQ(tty->bDataBits, 8);
}

TEST_F(SettingsFileTest, LongFaceNamesAreCutAndLongFilesStopAtSixtyFourBytes) {
    // 100 bytes and no zero byte after the first eight.
    Bytes file{4, 48, 1, 0, 1, 0, 0, 16};
    for (int i = 0; file.size() < 100; ++i) {
        file.push_back(static_cast<std::uint8_t>('a' + i % 26));
    }
    WriteFile(gszDefaultName, file);
    platform::LogFont guard = tty->lfTTYFont;
    LoadDefaults(&*tty);
    EXPECT_EQ(tty->bPortNum, 4);
    EXPECT_EQ(tty->dwBaudRate, 115200U);
    EXPECT_EQ(tty->lfTTYFont.lfHeight, 16);
    EXPECT_EQ(std::string(tty->lfTTYFont.lfFaceName), "abcdefghijklmnopqrstuvwxyzabcde");
    EXPECT_EQ(gwMaxColumn, 40);
    EXPECT_EQ(tty->lfTTYFont.lfWeight, guard.lfWeight);
    EXPECT_EQ(tty->lfTTYFont.lfCharSet, guard.lfCharSet);
    EXPECT_EQ(tty->lfTTYFont.lfPitchAndFamily, guard.lfPitchAndFamily);

    // A zero after 40 characters: still 31.
    WriteFile(gszDefaultName,
              Concat({1, 8, 1, 1, 0, 0, 0, 14}, std::string(40, 'X') + std::string(1, '\0')));
    LoadDefaults(&*tty);
    EXPECT_EQ(std::string(tty->lfTTYFont.lfFaceName), std::string(31, 'X'));

    // 31 characters fit exactly.
    WriteFile(gszDefaultName,
              Concat({1, 8, 1, 1, 0, 0, 0, 14}, std::string(31, 'Y') + std::string(1, '\0')));
    LoadDefaults(&*tty);
    EXPECT_EQ(std::string(tty->lfTTYFont.lfFaceName), std::string(31, 'Y'));
    EXPECT_EQ(tty->lfTTYFont.lfFaceName[31], 0);
}

TEST_F(SettingsFileTest, NoFileKeepsTheRecord) {
    tty->fMax40 = 1;
    tty->bPortNum = 3;
    LoadDefaults(&*tty);
    EXPECT_EQ(tty->bPortNum, 3);
    EXPECT_EQ(gwMaxColumn, 40);

    // A directory of that name is no file either.
    ASSERT_EQ(::mkdir(gszDefaultName, 0755), 0);
    SetTTYDefaults(&*tty);
    LoadDefaults(&*tty);
    EXPECT_EQ(tty->bPortNum, 1);
    EXPECT_EQ(tty->dwBaudRate, 19200U);
    EXPECT_STREQ(tty->lfTTYFont.lfFaceName, "Lucida Console");
    EXPECT_EQ(gwMaxColumn, 80);
}

TEST_F(SettingsFileTest, SavingWithoutARecordDoesNothing) {
    RecordingWindow empty;
    EXPECT_EQ(SaveDefaults(&empty), 0);
    EXPECT_TRUE(Entries().empty());
}

TEST_F(SettingsFileTest, ReadOnlyFileStaysEvenForRoot) {
    const Bytes old{9, 9, 9};
    WriteFile(gszDefaultName, old);
    ASSERT_EQ(::chmod(gszDefaultName, 0444), 0);
    EXPECT_EQ(SaveDefaults(&win), 0);
    EXPECT_EQ(ReadFile(gszDefaultName), old);
    EXPECT_THAT(Entries(), testing::ElementsAre(gszDefaultName));
    EXPECT_TRUE(win.Calls().empty());
}

TEST_F(SettingsFileTest, NoFileIsMadeWhereNoneCanBeCreated) {
    // A directory that has been removed while it is the current one takes no new files, whoever
    // asks.
    ASSERT_EQ(::mkdir("gone", 0755), 0);
    ASSERT_EQ(::chdir("gone"), 0);
    ASSERT_EQ(::rmdir("../gone"), 0);
    EXPECT_EQ(SaveDefaults(&win), 0);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    EXPECT_TRUE(Entries().empty());

    // Nor in place of a directory.
    ASSERT_EQ(::mkdir(gszDefaultName, 0755), 0);
    EXPECT_EQ(SaveDefaults(&win), 0);
    EXPECT_THAT(Entries(), testing::ElementsAre(gszDefaultName));
}

TEST_F(SettingsFileTest, AFailedWriteLeavesTheOldFileWhole) {
    const Bytes old = Concat({2, 16, 0, 0, 1, 1, 1, 12}, std::string("Old Face\0", 9));
    WriteFile(gszDefaultName, old);
    // Files may grow to 4 bytes only: the new file's write fails part-way.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4;
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = SaveDefaults(&win);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadFile(gszDefaultName), old);
    EXPECT_THAT(Entries(), testing::ElementsAre(gszDefaultName));
}

TEST_F(SettingsFileTest, ReplacingKeepsPermissionsAndLinks) {
    WriteFile("real.set", {1});
    ASSERT_EQ(::chmod("real.set", 0640), 0);
    ASSERT_EQ(::symlink("real.set", gszDefaultName), 0);
    ASSERT_EQ(SaveDefaults(&win), 1);
    struct stat st {};
    ASSERT_EQ(::lstat(gszDefaultName, &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat("real.set", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640U);
    EXPECT_EQ(ReadFile("real.set").size(), 23U);
}

TEST_F(SettingsFileTest, AWritableFileInAFolderThatIsNotIsRewrittenInPlace) {
    WriteFile(gszDefaultName, Bytes(30, 9)); // longer than what replaces it
    // The saver may write the file but not the folder: as user 65534 when the tests run as root.
    constexpr uid_t kUser = 65534;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(gszDefaultName, kUser, kUser), 0);
    }
    struct stat before {};
    ASSERT_EQ(::stat(gszDefaultName, &before), 0);
    ASSERT_EQ(::chmod(".", 0555), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(kUser) != 0 || ::setuid(kUser) != 0)) {
            ::_exit(99);
        }
        // First a write that fails part-way (files may grow to 4 bytes): the old bytes stay.
        struct rlimit saved {};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        struct rlimit small = saved;
        small.rlim_cur = 4;
        std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
        const int failed = SaveDefaults(&win);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        if (failed != 0 || ReadFile(gszDefaultName) != Bytes(30, 9)) {
            ::_exit(98);
        }
        ::_exit(SaveDefaults(&win));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(".", 0700);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(ReadFile(gszDefaultName), DefaultsFile());
    struct stat after {};
    ASSERT_EQ(::stat(gszDefaultName, &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_THAT(Entries(), testing::ElementsAre(gszDefaultName));
}

TEST_F(SettingsFileTest, AStrangersLinkInAStickyFolderIsNotFollowed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the link to another user";
    }
    // As in /tmp: a world-writable sticky folder, and a link of someone who owns neither it nor
    // the folder.
    const Bytes old{7, 7, 7};
    WriteFile("real.set", old);
    ASSERT_EQ(::symlink("real.set", gszDefaultName), 0);
    ASSERT_EQ(::chmod(".", 01777), 0);
    ASSERT_EQ(::lchown(gszDefaultName, 65534, 65534), 0);
    EXPECT_EQ(SaveDefaults(&win), 0);
    EXPECT_EQ(ReadFile("real.set"), old);
    EXPECT_THAT(Entries(), testing::UnorderedElementsAre(gszDefaultName, "real.set"));

    // The saver's own link is followed.
    ASSERT_EQ(::lchown(gszDefaultName, ::geteuid(), ::getegid()), 0);
    EXPECT_EQ(SaveDefaults(&win), 1);
    EXPECT_EQ(ReadFile("real.set"), DefaultsFile());
}

TEST_F(SettingsFileTest, WindowCreationMakesTheFontFromTheFile) {
    WriteFile(gszDefaultName, Concat({2, 4, 1, 1, 1, 0, 0, 18}, std::string("Mono\0", 5)));
    RecordingWindow created;
    ASSERT_EQ(CreateTTYInfo(&created), 1);
    const TTYInfo* made = created.GetRecord();
    EXPECT_EQ(made->bPortNum, 2);
    EXPECT_EQ(made->dwBaudRate, 9600U);
    EXPECT_EQ(gwMaxColumn, 40);
    EXPECT_THAT(created.Calls("CreateFont"),
                testing::ElementsAre(Call{"CreateFont", {18}, "Mono"}));
    DestroyTTYInfo(&created);
}

} // namespace
} // namespace pelko::test

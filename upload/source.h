#pragma once
// Choosing the source file and reading it, one line to send at a time. Window thread only.
// A source is read by a stack of SourceReaders: the chosen file (or text in memory) at the
// bottom, and above it each file that an `#include` or `#require` line reads in its place.
//   SourceFileInit(hwnd)              prepares the open-file dialog; cannot fail
//   SourceOpenDlg(hwnd, path, title)  lets the user choose an existing file; nonzero when one was
//                                     chosen (path and title then hold it), 0 when cancelled
//                                     (both unchanged). The working directory never changes.
//   OpenSourceFile(hwnd)              1 with the chosen file open at its start (a source still
//                                     open is closed first) and every file it reads checked;
//                                     0 after showing "Unable to open Source File!" with "PATH:
//                                     reason" on a second line (nothing chosen, missing,
//                                     unreadable, or not a regular file), with the status's
//                                     Message() there when an include cannot be followed, or
//                                     after "File Read Error!"; SourceEndStatus() says which
//   OpenSourceText(hwnd, text, name)  the same for `text` read as a file would be, named `name`
//                                     in messages, its relative includes taken from the folder
//                                     `name` names (the working folder when it names none);
//                                     fails only as its includes do
//   CloseSourceFile()                 closes every file, or drops the text, if one is open;
//                                     SourceWhere() keeps the place it was at; cannot fail
//   ReadSourceLine(hwnd)              the next line to send: kSourceEnd (the end of the source,
//                                     a read error shown as "File Read Error!", or an include
//                                     that failed, shown as at opening; reading with nothing
//                                     open is a read error), kSourceLine (gwTXCol bytes in
//                                     gsTXBuf), kSourcePause or kSourceSkip. A file line ends at
//                                     a CR, a CR LF pair, an LF alone, or the end of the file.
//                                     A line longer than gwMaxColumn is cut after gwMaxColumn + 1
//                                     bytes (+ 2 when a backslash pair came last) with "Max # of
//                                     Char/Line exceeded!" and "in line N" on a second line (" of
//                                     FILE" behind it in an included file); a gwMaxColumn above
//                                     253 acts as 253, so a line always fits gsTXBuf.
//                                     A whole file line that reads as `#include PATH` or
//                                     `#require PATH` (PATH may be quoted) is not handed out:
//                                     the file it names is read in its place, a relative PATH
//                                     from the folder of the file naming it; `#require` skips a
//                                     file this source has read already. Such a line may be up to
//                                     253 bytes long whatever the column limit.
//   Fold(hwnd)                        the comment and directive scanner behind ReadSourceLine;
//                                     the same results, and kSourceResume when a comment ended
//                                     at a backslash and the line goes on
//   SourceWhere()                     where the text read last stands (SourcePlace); after
//                                     CloseSourceFile the place it was closed at
//   SourceEndStatus()                 what ended the last reading (SourceStatus); Reading while
//                                     it goes on
//   SourceFiles()                     the files the open source reads, the chosen one first,
//                                     each once, in the order the check at opening read them
//   PlaceText(place)                  "FILE:LINE"
// The reader's messages are boxes owned by hwnd, with no caption and the exclamation icon; the
// first line of each is one of the texts below. The status is set before its box is shown.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "platform/window.h"

namespace pelko {

// The chosen source file's full path (empty until the first choice).
extern std::string gszSourcePath;

inline constexpr int kSourceEnd = 0;
inline constexpr int kSourceLine = 1;
inline constexpr int kSourcePause = 2;
inline constexpr int kSourceResume = 3;
inline constexpr int kSourceSkip = 7;

inline constexpr std::size_t kTXBufSize = 256;
// The line being assembled and handed out: gsTXBuf[0 .. gwTXCol-1]; a line that ends with its
// CR also has a NUL behind it.
extern std::uint8_t gsTXBuf[kTXBufSize];
extern std::uint16_t gwTXCol;
// 1 while nothing has been stored in the current line.
extern int gfFold;
// The number, from 1, of the line being handled in the file being read; set to 1 when an upload
// starts, counted on by the reader for every line end it consumes without handing out a line,
// and by the upload loop after each line it sent. Set to 1 when an included file begins, and
// back to the including file's count when it ends. Wraps from 65535 to 0.
extern std::uint16_t gwSourceLine;
// 1 when bytes above 0x7F were dropped from the line just handed out (the target takes 7-bit
// text); bytes inside comments do not count.
extern int gfHighDropped;
// The file being read now, or -1 (nothing open, or text in memory).
extern int ghSourceFile;

// Files included inside each other: the chosen one and at most this many below it.
inline constexpr std::size_t kMaxIncludeDepth = 16;

inline constexpr const char* gszOpenErrorStr = "Unable to open Source File!";
inline constexpr const char* gszReadErrorStr = "File Read Error!";
inline constexpr const char* gszMaxColumnStr = "Max # of Char/Line exceeded!";

// One source read from its start, a file or text in memory: its bytes one at a time, and the
// counts the line reader keeps for it.
//   SourceReader::Open(path, why)  the reader of the file at path, or nullptr with the system's
//                                  reason in why (or "not a regular file"); never waits on a FIFO
//   SourceReader(text, name)       the reader of text in memory; cannot fail
//   ReadByte()                     the next byte (0 to 255) with every line end (CR, CR LF, LF
//                                  alone, and the end of a last line without one) given as one
//                                  CR; kNoByte at the end, or after a failed read (Failed())
//   Rewind()                       back to the start, to be read again as if just opened; false
//                                  (errno says why) when the file cannot seek
//   FileId(), SameFile(other)      the file on disk (device and inode); both read the same
//                                  one (never for text)
class SourceReader {
public:
    static constexpr int kNoByte = -1;

    static std::unique_ptr<SourceReader> Open(const std::string& path, std::string& why);
    SourceReader(std::string text, std::string name);
    ~SourceReader();
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    int ReadByte() {
        for (;;) {
            if (pos_ == end_ && !Fill()) {
                return kNoByte;
            }
            std::uint8_t b = data_[pos_++];
            const bool lfOfPair = b == '\n' && afterCR_;
            afterCR_ = b == '\r';
            if (lfOfPair) {
                continue;
            }
            b = b == '\n' ? '\r' : b;
            atEnd_ = b == '\r';
            return b;
        }
    }
    bool Rewind();
    bool Failed() const { return failed_; }
    const std::string& Name() const { return name_; }
    // Where a relative path it names is taken from: its name's folder with the '/', or "" (the
    // working folder) for a name without one.
    std::string Folder() const;
    int Descriptor() const { return fd_; }
    // The file on disk (device, inode); {0, 0} for text.
    std::pair<dev_t, ino_t> FileId() const { return {dev_, ino_}; }
    bool SameFile(const SourceReader& other) const {
        return fd_ >= 0 && other.fd_ >= 0 && FileId() == other.FileId();
    }

    // Kept by the line reader.
    std::uint64_t line = 1;       // the line being read, from 1, as gwSourceLine counts it
    bool lineOut = false;         // a line was handed out; the next call counts it
    bool atLineStart = true;      // the next line read begins a line of the file
    std::uint64_t includedAt = 0; // the line of the including file that named it; 0 for none
    std::uint16_t resumeLine = 0; // gwSourceLine of this file while one it includes is read

private:
    SourceReader(int fd, std::string name, dev_t dev, ino_t ino);
    bool Fill();

    int fd_ = -1;
    std::string name_;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    std::string text_;                       // text in memory, for fd_ -1
    bool textRead_ = false;                  // text_ has been handed to the rules
    std::array<std::uint8_t, 1024> buf_;     // filled before it is read
    const std::uint8_t* data_ = buf_.data(); // the block being read: data_[pos_ .. end_-1]
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool afterCR_ = false; // an LF right behind belongs to the same line end
    bool atEnd_ = true;    // the last byte ended a line: nothing is open at the end of the file
    bool failed_ = false;
};

// Where a text of the source stands.
struct SourcePlace {
    std::string file;        // the chosen path, or an included path joined to its folder
    std::uint64_t line = 0;  // from 1, as gwSourceLine counts it but without the wrap; 0: none
    std::string from;        // the lines that included it, nearest first: "a.src:3, app.src:1"
    std::uint64_t lines = 0; // the file's lines as the check at opening counted them, or 0
};

enum class SourceStop {
    Reading,     // not ended, or nothing read yet
    End,         // the end of the source
    OpenError,   // the chosen file (or nothing chosen) could not be opened
    ReadError,   // a read failed
    IncludeError // an #include or #require line could not be followed
};

struct SourceStatus {
    SourceStop stop = SourceStop::Reading;
    SourcePlace where;  // the line read last, the include line, or the file not opened (line 0)
    std::string reason; // what went wrong: "No such file or directory" for the chosen file,
                        // "cannot open lib.src: Permission denied", "include loop: ..."
    // "lib/a.src:3: error: REASON (included from app.src:1)"
    std::string Message() const;
};

void SourceFileInit(platform::Window* hwnd);
int SourceOpenDlg(platform::Window* hwnd, std::string& path, std::string& title);
int OpenSourceFile(platform::Window* hwnd);
int OpenSourceText(platform::Window* hwnd, std::string text, std::string name);
void CloseSourceFile();
int ReadSourceLine(platform::Window* hwnd);
int Fold(platform::Window* hwnd);
SourcePlace SourceWhere();
const SourceStatus& SourceEndStatus();
const std::vector<std::string>& SourceFiles();
std::string PlaceText(const SourcePlace& place);

} // namespace pelko

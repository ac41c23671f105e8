#pragma once
// Choosing the source file and reading it, one line to send at a time. Window thread only.
//   SourceFileInit(hwnd)              prepares the open-file dialog; cannot fail
//   SourceOpenDlg(hwnd, path, title)  lets the user choose an existing file; nonzero when one was
//                                     chosen (path and title then hold it), 0 when cancelled
//                                     (both unchanged). The working directory never changes.
//   OpenSourceFile(hwnd)              1 with the chosen file open at its start (a file still
//                                     open is closed first); 0 after showing "Unable to open
//                                     Source File!" (nothing chosen, missing, unreadable, or not
//                                     a regular file), with "PATH: reason" on a second line
//   OpenSourceText(text)              the reader reads `text` as it would a file (a file still
//                                     open is closed first); cannot fail
//   CloseSourceFile()                 closes the file, or drops the text, if one is open; cannot
//                                     fail
//   ReadSourceLine(hwnd)              the next line to send: kSourceEnd (end of file, or a read
//                                     error already shown as "File Read Error!"; reading with no
//                                     file open is such an error), kSourceLine (gwTXCol bytes in
//                                     gsTXBuf), kSourcePause or kSourceSkip. A file line ends at
//                                     a CR, a CR LF pair, an LF alone, or the end of the file.
//                                     A line longer than gwMaxColumn is cut after gwMaxColumn + 1
//                                     bytes (+ 2 when a backslash pair came last) with "Max # of
//                                     Char/Line exceeded!" and "in line N" (gqwSourceLine) on a
//                                     second line; a gwMaxColumn above 253 acts as 253,
//                                     so a line always fits gsTXBuf.
//   Fold(hwnd)                        the comment and directive scanner behind ReadSourceLine;
//                                     the same results, and kSourceResume when a comment ended
//                                     at a backslash and the line goes on
// The reader's messages are boxes owned by hwnd, with no caption and the exclamation icon; the
// first line of each is one of the texts below.
#include <cstdint>
#include <string>

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
// The number, from 1, of the file line being handled; set to 1 when an upload starts, counted
// on by the reader for every line end it consumes without handing out a line, and by the upload
// loop after each line it sent. Wraps from 65535 to 0.
extern std::uint16_t gwSourceLine;
// The same number without the wrap, for messages that name the file line: 1 when a file is
// opened, then counted by the reader alone, for each line it handed out when it is next called.
extern std::uint64_t gqwSourceLine;
// 1 when bytes above 0x7F were dropped from the line just handed out (the target takes 7-bit
// text); bytes inside comments do not count.
extern int gfHighDropped;
// The open source file, or -1.
extern int ghSourceFile;

inline constexpr const char* gszOpenErrorStr = "Unable to open Source File!";
inline constexpr const char* gszReadErrorStr = "File Read Error!";
inline constexpr const char* gszMaxColumnStr = "Max # of Char/Line exceeded!";

void SourceFileInit(platform::Window* hwnd);
int SourceOpenDlg(platform::Window* hwnd, std::string& path, std::string& title);
int OpenSourceFile(platform::Window* hwnd);
void OpenSourceText(std::string text);
void CloseSourceFile();
int ReadSourceLine(platform::Window* hwnd);
int Fold(platform::Window* hwnd);

} // namespace pelko

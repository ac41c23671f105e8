#include "upload/source.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/file_io.h"
#include "settings/settings.h"

namespace pelko {

std::string gszSourcePath;
std::uint8_t gsTXBuf[kTXBufSize] = {};
std::uint16_t gwTXCol = 0;
int gfFold = 0;
std::uint16_t gwSourceLine = 0;
int gfHighDropped = 0;
int ghSourceFile = -1;

// ---- One file or text, read from its start ----

std::unique_ptr<SourceReader> SourceReader::Open(const std::string& path, std::string& why) {
    // Not blocking on open, so that a FIFO or a device cannot hold the window up before it is
    // refused.
    struct stat st {};
    const int fd = platform::OpenRegularFile(path, 0, why, &st);
    if (fd < 0) {
        return nullptr;
    }
    return std::unique_ptr<SourceReader>(new SourceReader(fd, path, st.st_dev, st.st_ino));
}

SourceReader::SourceReader(int fd, std::string name, dev_t dev, ino_t ino)
    : fd_(fd), name_(std::move(name)), dev_(dev), ino_(ino) {}

SourceReader::SourceReader(std::string text, std::string name)
    : name_(std::move(name)), text_(std::move(text)) {}

SourceReader::~SourceReader() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string SourceReader::Folder() const {
    const std::size_t slash = name_.rfind('/');
    return slash == std::string::npos ? "" : name_.substr(0, slash + 1);
}

// The next block into data_[0 .. end_-1]; false at the end, or when the read failed.
bool SourceReader::Rewind() {
    if (fd_ >= 0 && ::lseek(fd_, 0, SEEK_SET) != 0) {
        return false;
    }
    textRead_ = false;
    pos_ = end_ = 0;
    afterCR_ = false;
    atEnd_ = true;
    failed_ = false;
    line = 1;
    lineOut = false;
    atLineStart = true;
    return true;
}

bool SourceReader::Fill() {
    static constexpr std::uint8_t kLastCR = '\r';
    ssize_t n = 0;
    if (fd_ < 0) {
        n = textRead_ ? 0 : static_cast<ssize_t>(text_.size());
        data_ = reinterpret_cast<const std::uint8_t*>(text_.data());
        textRead_ = true;
    } else {
        do {
            n = ::read(fd_, buf_.data(), buf_.size());
        } while (n < 0 && errno == EINTR);
        data_ = buf_.data();
    }
    failed_ = n < 0;
    if (n < 0 || (n == 0 && atEnd_)) {
        return false;
    }
    if (n == 0) {
        data_ = &kLastCR; // the last line ends here as if it had its CR
        n = 1;
    }
    pos_ = 0;
    end_ = static_cast<std::size_t>(n);
    return true;
}

std::string PlaceText(const SourcePlace& place) {
    return place.file + ":" + std::to_string(place.line);
}

std::string SourceStatus::Message() const {
    return PlaceText(where) + ": error: " + reason +
           (where.from.empty() ? "" : " (included from " + where.from + ")");
}

namespace {

// The dialog's filters, the first shown first, and the extension added to a typed bare name.
constexpr std::array<platform::FileFilter, 3> kSourceFilters = {{
    {"Text Files (*.TXT)", "*.txt"},
    {"Zemra Source (*.SRC)", "*.src"},
    {"All Files (*.*)", "*.*"},
}};
constexpr const char* kSourceDefExt = "txt";

constexpr std::uint8_t kCR = 0x0D;
constexpr std::uint8_t kTab = 0x09;
constexpr std::uint8_t kBlank = 0x20;
constexpr std::uint8_t kBackslash = 0x5C;

// Directive states of the comment scanner.
constexpr int kComment = 0;             // inside a comment, nothing recognised
constexpr int kHash2 = 2;               // 1 and 2: that many '#' in a row
constexpr int kSuppressed = 3;          // "\ ###" read: everything is skipped, line by line
constexpr int kSuppressedBackslash = 4; // inside the block, a backslash has been read
constexpr int kSuppressedGt1 = 5;       // 5 and 6: that many '>' since then
constexpr int kSuppressedGt2 = 6;       //
constexpr int kBlockEnds = 7;           // "\ >>>" complete: the block ends with this line

// The widest line the buffer allows: a line cut at the limit holds limit + 2 bytes (a
// backslash pair stored last), and one ended by its CR limit + 1 and a NUL. A column limit
// above this acts as this, and an include line may be this long.
constexpr std::uint16_t kLimitCap = kTXBufSize - 3;

constexpr int kNoByte = SourceReader::kNoByte;

// The readers of one source, the chosen one first; what it has read, and how the reading ended.
struct SourceStack {
    std::vector<std::unique_ptr<SourceReader>> readers;
    std::vector<std::pair<dev_t, ino_t>> seen;  // every file on disk it has begun to read
    std::vector<std::string> files;             // the files it has read, each once, in order
    std::vector<std::string> tree;              // the files the check at opening read
    std::map<std::string, std::uint64_t> lines; // each file's lines, from the check
    SourceStatus status;
    SourcePlace closedAt; // where the last reading stood when it was closed
    bool ended = false;   // an include failed: nothing more is read

    SourceReader& Top() { return *readers.back(); }

    SourcePlace Where() const {
        if (readers.empty()) {
            return closedAt;
        }
        SourcePlace p;
        const SourceReader& top = *readers.back();
        p.file = top.Name();
        p.line = top.line;
        for (std::size_t i = readers.size() - 1; i > 0; --i) {
            p.from += (p.from.empty() ? "" : ", ") + readers[i - 1]->Name() + ":" +
                      std::to_string(readers[i]->includedAt);
        }
        if (const auto it = lines.find(p.file); it != lines.end()) {
            p.lines = it->second;
        }
        return p;
    }

    bool ReadBefore(const SourceReader& r) const {
        return r.Descriptor() >= 0 && std::find(seen.begin(), seen.end(), r.FileId()) != seen.end();
    }

    // Reads r from here on, above the file reading now (if any).
    void Push(std::unique_ptr<SourceReader> r) {
        if (!ReadBefore(*r)) {
            files.push_back(r->Name());
            if (r->Descriptor() >= 0) {
                seen.push_back(r->FileId());
            }
        }
        if (!readers.empty()) {
            Top().resumeLine = gwSourceLine;
            gwSourceLine = 1;
        }
        ghSourceFile = r->Descriptor();
        readers.push_back(std::move(r));
    }

    // The file on top has ended; the one that included it goes on.
    void Pop() {
        lines[Top().Name()] = Top().line - 1;
        readers.pop_back();
        gwSourceLine = Top().resumeLine;
        ghSourceFile = Top().Descriptor();
    }

    void Close() {
        if (!readers.empty()) {
            closedAt = Where();
        }
        readers.clear();
        ghSourceFile = -1;
    }
};

SourceStack gSource;             // the source an upload reads
SourceStack* gActive = &gSource; // the one the rules read (the check at opening has its own)

std::uint16_t Limit() {
    return std::min(gwMaxColumn, kLimitCap);
}

// A reader's box: its text, and on a second line what the user needs to act on it. No window
// (the check at opening) shows nothing.
void ShowBox(platform::Window* hwnd, const char* text, const std::string& detail = {}) {
    if (hwnd != nullptr) {
        hwnd->MessageBox(detail.empty() ? std::string(text) : text + ("\n" + detail), "",
                         platform::MB_OK | platform::MB_ICONEXCLAMATION);
    }
}

// The next byte of the file on top (0 to 255), every line end as one CR; kNoByte at its end or
// after a failed read. The byte is also read into the line's next slot, gsTXBuf[gwTXCol],
// without adding it to the line.
int ReadByte() {
    if (gActive->readers.empty()) {
        return kNoByte;
    }
    const int b = gActive->Top().ReadByte();
    if (b == kNoByte) {
        gdwLength = 0;
        return kNoByte;
    }
    gdwLength = 1;
    if (gwTXCol < kTXBufSize) {
        gsTXBuf[gwTXCol] = static_cast<std::uint8_t>(b);
    }
    return b;
}

// Adds a byte to the line; the line then holds text.
void Store(std::uint8_t b) {
    if (gwTXCol < kTXBufSize) {
        gsTXBuf[gwTXCol++] = b;
    }
    gfFold = 0;
}

// Starts the line afresh, empty.
void BeginLine() {
    gwTXCol = 0;
    gfFold = 1;
    gfHighDropped = 0;
}

// A line end consumed without handing out a line.
void CountLine() {
    ++gwSourceLine;
    if (!gActive->readers.empty()) {
        ++gActive->Top().line;
    }
}

// Ends the line with its CR and a NUL behind it.
void EndLine() {
    Store(kCR);
    if (gwTXCol < kTXBufSize) {
        gsTXBuf[gwTXCol] = 0;
    }
}

// The line so far begins with an include keyword and the blank, TAB or CR behind it.
bool IncludeLine() {
    return gwTXCol >= 9 &&
           (std::memcmp(gsTXBuf, "#include", 8) == 0 || std::memcmp(gsTXBuf, "#require", 8) == 0) &&
           (gsTXBuf[8] == kBlank || gsTXBuf[8] == kTab || gsTXBuf[8] == kCR);
}

} // namespace

void SourceFileInit(platform::Window* /*hwnd*/) {}

int SourceOpenDlg(platform::Window* hwnd, std::string& path, std::string& title) {
    return hwnd->GetOpenFileName(path, title, kSourceFilters, kSourceDefExt) ? 1 : 0;
}

namespace {

// Ends the reading with `status`, before anything (more) is read; shows its box.
int Refuse(platform::Window* hwnd, SourceStack& s, SourceStatus status) {
    s.status = std::move(status);
    s.ended = true;
    if (s.status.stop == SourceStop::ReadError) {
        ShowBox(hwnd, gszReadErrorStr,
                s.status.where.from.empty() ? "" : PlaceText(s.status.where));
    } else {
        ShowBox(hwnd, gszOpenErrorStr, s.status.Message());
    }
    return 0;
}

// Reads `top` once through with every file it includes, showing nothing and sending nothing, to
// find what would stop it; then from its start for the upload.
int Begin(platform::Window* hwnd, std::unique_ptr<SourceReader> top) {
    SourceStack check;
    check.Push(std::move(top));
    gActive = &check;
    while (ReadSourceLine(nullptr) != kSourceEnd) {
    }
    gActive = &gSource;
    if (check.status.stop == SourceStop::End && !check.Top().Rewind()) {
        const std::string why = std::strerror(errno);
        check.status = {SourceStop::ReadError, check.Where(), why};
    }
    if (check.status.stop != SourceStop::End) {
        check.Close();
        return Refuse(hwnd, gSource, check.status);
    }
    gSource.tree = std::move(check.files);
    gSource.lines = std::move(check.lines);
    gSource.Push(std::move(check.readers.front()));
    BeginLine();
    return 1;
}

} // namespace

int OpenSourceFile(platform::Window* hwnd) {
    CloseSourceFile();
    gSource = SourceStack{};
    if (gszSourcePath.empty()) {
        gSource.status = {SourceStop::OpenError, {}, "No source file has been selected."};
        ShowBox(hwnd, gszOpenErrorStr, gSource.status.reason);
        return 0;
    }
    std::string why;
    auto top = SourceReader::Open(gszSourcePath, why);
    if (top == nullptr) {
        gSource.status = {SourceStop::OpenError, {gszSourcePath, 0, {}, 0}, why};
        ShowBox(hwnd, gszOpenErrorStr, gszSourcePath + ": " + why);
        return 0;
    }
    return Begin(hwnd, std::move(top));
}

int OpenSourceText(platform::Window* hwnd, std::string text, std::string name) {
    CloseSourceFile();
    gSource = SourceStack{};
    return Begin(hwnd, std::make_unique<SourceReader>(std::move(text), std::move(name)));
}

void CloseSourceFile() {
    gSource.Close();
}

namespace {

// ReadSourceLine without the count of the lines it handed out, nor the include lines.
int ReadLine(platform::Window* hwnd, const SourceReader& r) {
    BeginLine();
    bool held = false; // a backslash that may open a comment, read and not yet stored
    const std::uint16_t limit = Limit();
    for (;;) {
        const int got = ReadByte();
        if (got == kNoByte) {
            return kSourceEnd;
        }
        const auto b = static_cast<std::uint8_t>(got);
        if (b == kCR) {
            held = false;
            if (gfFold == 0) {
                EndLine();
                return kSourceLine;
            }
            CountLine(); // an empty line: counted, and the next one is read in its place
            BeginLine();
            continue;
        }
        if (b == kBackslash && !held && (gwTXCol == 0 || gsTXBuf[gwTXCol - 1] == kBlank)) {
            held = true;
            continue;
        }
        if (held) {
            held = false;
            if (b == kBlank) {
                const int folded = Fold(hwnd);
                if (folded == kSourceResume) {
                    continue;
                }
                return folded;
            }
            // Not a comment after all: the backslash goes out with the byte behind it, both
            // kept as they are, and the pair counts as text like any other store.
            Store(kBackslash);
            Store(b);
        } else if (b >= 0x80) {
            gfHighDropped = 1; // the target takes 7-bit text
            continue;
        } else if (b < 0x20 && b != kTab) {
            continue;
        } else if ((b == kBlank || b == kTab) && gfFold != 0) {
            continue;
        } else {
            Store(b);
        }
        if (gwTXCol > limit && (gwTXCol > kLimitCap || !r.atLineStart || !IncludeLine())) {
            const std::string where = r.includedAt == 0 ? "" : " of " + r.Name();
            ShowBox(hwnd, gszMaxColumnStr, "in line " + std::to_string(r.line) + where);
            return kSourceLine; // cut without a CR; the rest follows as a line of its own
        }
    }
}

// The path of the include line in gsTXBuf (without its CR, blanks around it and quotes), or ""
// with why it is none.
std::string IncludePath(std::string& why) {
    const std::string keyword(reinterpret_cast<const char*>(gsTXBuf), 8);
    if (gsTXBuf[gwTXCol - 1] != kCR) {
        why = "the " + keyword + " line is longer than " + std::to_string(kLimitCap) + " bytes";
        return {};
    }
    std::string path(reinterpret_cast<const char*>(gsTXBuf) + 8, gwTXCol - 9);
    const std::size_t first = path.find_first_not_of(" \t");
    path = first == std::string::npos
               ? ""
               : path.substr(first, path.find_last_not_of(" \t") + 1 - first);
    if (!path.empty() && path.front() == '"') {
        if (path.size() < 2 || path.back() != '"' || path.find('"', 1) != path.size() - 1) {
            why = keyword + " wants one path, in quotes or without: " + path;
            return {};
        }
        path = path.substr(1, path.size() - 2);
    }
    if (path.empty()) {
        why = keyword + " needs a file name";
    }
    return path;
}

// Follows the include line in gsTXBuf, already counted as read: the file it names is read from
// here on, or skipped by #require. Refuses (0) when it cannot be followed.
int Include(platform::Window* hwnd, SourceStack& s, std::uint64_t at) {
    SourceReader& r = s.Top();
    const bool require = gsTXBuf[1] == 'r';
    SourceStatus refusal{SourceStop::IncludeError, s.Where(), {}};
    refusal.where.line = at;
    std::string why;
    const std::string path = IncludePath(why);
    if (path.empty()) {
        refusal.reason = why;
        return Refuse(hwnd, s, refusal);
    }
    const std::string name = path.front() == '/' ? path : r.Folder() + path;
    auto next = SourceReader::Open(name, why);
    if (next == nullptr) {
        refusal.reason = "cannot open " + path + ": " + why;
        return Refuse(hwnd, s, refusal);
    }
    if (require && s.ReadBefore(*next)) {
        return 1; // read already: this line is all there was to it
    }
    for (const auto& open : s.readers) {
        if (open->SameFile(*next)) {
            refusal.reason = "include loop: " + path + " is being read already";
            return Refuse(hwnd, s, refusal);
        }
    }
    if (s.readers.size() > kMaxIncludeDepth) {
        refusal.reason = "cannot include " + path + ": includes nest deeper than " +
                         std::to_string(kMaxIncludeDepth);
        return Refuse(hwnd, s, refusal);
    }
    next->includedAt = at;
    s.Push(std::move(next));
    return 1;
}

} // namespace

int ReadSourceLine(platform::Window* hwnd) {
    SourceStack& s = *gActive;
    if (s.ended) {
        return kSourceEnd;
    }
    for (;;) {
        if (s.readers.empty()) {
            s.status = {SourceStop::ReadError, s.Where(), "nothing is open"};
            ShowBox(hwnd, gszReadErrorStr);
            return kSourceEnd;
        }
        SourceReader& r = s.Top();
        if (r.lineOut) {
            ++r.line; // the caller has counted that line in gwSourceLine by now
            r.lineOut = false;
        }
        const int got = ReadLine(hwnd, r);
        if (got == kSourceEnd && r.Failed()) {
            const std::string why = std::strerror(errno);
            s.status = {SourceStop::ReadError, s.Where(), why};
            ShowBox(hwnd, gszReadErrorStr,
                    s.status.where.from.empty() ? "" : PlaceText(s.status.where));
            return kSourceEnd;
        }
        if (got == kSourceEnd && s.readers.size() > 1) {
            s.Pop();
            continue;
        }
        if (got == kSourceEnd) {
            s.status = {SourceStop::End, s.Where(), {}};
            s.lines[r.Name()] = r.line - 1;
            return kSourceEnd;
        }
        const bool cr = got == kSourceLine && gsTXBuf[gwTXCol - 1] == kCR;
        if (got == kSourceLine && r.atLineStart && IncludeLine()) {
            const std::uint64_t at = r.line;
            CountLine(); // consumed here: nothing of it is sent
            if (Include(hwnd, s, at) == 0) {
                return kSourceEnd;
            }
            continue;
        }
        r.lineOut = got == kSourceLine;
        r.atLineStart = cr || got == kSourceSkip;
        return got;
    }
}

int Fold(platform::Window* /*hwnd*/) { // the window of its messages; it has none of its own
    int s = 0;                         // directive state, see kSuppressed and its neighbours
    int k = 0;                         // 'k's read in a row
    for (;;) {
        // Comment bytes pass through the slot behind the line and are never kept.
        const int got = ReadByte();
        if (got == kNoByte) {
            return kSourceEnd; // also inside a suppressed block
        }
        const auto b = static_cast<std::uint8_t>(got);
        if (b == kCR) {
            if (s >= kSuppressed && s <= kSuppressedGt2) {
                // The block goes on with the next line, also when a "\ >>>" was half read.
                CountLine();
                s = kSuppressed;
                continue;
            }
            if (s == kBlockEnds || (s == kComment && gfFold != 0)) {
                BeginLine(); // anything kept before a "\ ###" goes with its block
                CountLine();
                return kSourceSkip;
            }
            // The text before the comment goes out; after a "\ #" or "\ ##" the line is sent
            // even when that is the CR alone.
            EndLine();
            return kSourceLine;
        }
        if (b == kBackslash) {
            if (s >= kSuppressed && s <= kSuppressedGt2) {
                s = kSuppressedBackslash; // a new "\ >>>" match begins here
                continue;
            }
            if (s == kBlockEnds) {
                // The block ends here and the rest of the line is read as new text; what was
                // kept before the "\ ###" goes with the block, as at a line end.
                BeginLine();
            }
            return kSourceResume; // the comment ends; the backslash is not kept
        }
        if (b == '#' && s <= kHash2) {
            ++s;
        } else if (b == '>' && s >= kSuppressedBackslash && s <= kSuppressedGt2) {
            ++s;
        } else if (s <= kHash2) {
            s = kComment;
        } else if (s == kSuppressedGt1 || s == kSuppressedGt2) {
            s = kSuppressed;
        }
        if (s != kComment) {
            continue;
        }
        k = b == 'k' ? k + 1 : 0;
        if (k == 3) {
            return kSourcePause; // the rest of this line is read by the next call
        }
    }
}

SourcePlace SourceWhere() {
    return gSource.Where();
}

const SourceStatus& SourceEndStatus() {
    return gSource.status;
}

const std::vector<std::string>& SourceFiles() {
    return gSource.tree;
}

} // namespace pelko

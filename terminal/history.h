#pragma once
// The scrollback: rows that scrolled off the top of the screen, the newest 10,000 kept in a ring
// of 80-byte rows beside the screen buffer. Its storage is taken as rows come (64 rows at the
// first, then twice as many each time, up to the 800 KB of a full ring), so a record that never
// scrolls, or scrolls a little, costs little.
//   Push(row)        keeps a copy of one 80-byte row; when full, the oldest row goes. Nothing is
//                    kept (and false returned) when the storage cannot be had
//   Count()          rows kept, 0 to kHistoryRows
//   Total()          rows ever pushed; a row's number is Total() at the time it was pushed, so a
//                    row pushed later gets a higher number and screen row r is Total() + r
//   Row(number)      the row with that number, nullptr when it is not kept (too old, or not yet
//                    pushed: screen rows are not here)
//   Clear()          forgets every row and gives the storage back; cannot fail
// Not locked: the record's screen lock guards it with the screen.
#include <cstdint>
#include <memory>

namespace pelko {

inline constexpr int kHistoryRows = 10000;
inline constexpr int kHistoryCols = 80;

class ScreenHistory {
public:
    bool Push(const std::uint8_t* row);
    int Count() const { return count_; }
    std::uint64_t Total() const { return total_; }
    const std::uint8_t* Row(std::uint64_t number) const;
    void Clear();

private:
    static constexpr int kFirstRows = 64;
    bool Grow();

    std::unique_ptr<std::uint8_t[]> rows_; // capacity_ rows of kHistoryCols bytes
    int capacity_ = 0;
    int next_ = 0; // the slot the next row goes into
    int count_ = 0;
    std::uint64_t total_ = 0;
};

} // namespace pelko

#include "terminal/history.h"

#include <cstring>
#include <new>

namespace pelko {

bool ScreenHistory::Push(const std::uint8_t* row) {
    if (!rows_) {
        constexpr std::size_t kBytes = std::size_t{kHistoryRows} * kHistoryCols;
        rows_.reset(new (std::nothrow) std::uint8_t[kBytes]);
        if (!rows_) {
            return false;
        }
    }
    std::memcpy(rows_.get() + static_cast<std::size_t>(next_) * kHistoryCols, row, kHistoryCols);
    next_ = next_ + 1 == kHistoryRows ? 0 : next_ + 1;
    if (count_ < kHistoryRows) {
        ++count_;
    }
    ++total_;
    return true;
}

const std::uint8_t* ScreenHistory::Row(std::uint64_t number) const {
    if (number >= total_ || total_ - number > static_cast<std::uint64_t>(count_)) {
        return nullptr;
    }
    // The newest row (number total_ - 1) sits just before next_.
    const auto back = static_cast<int>(total_ - number);
    const int slot = next_ - back < 0 ? next_ - back + kHistoryRows : next_ - back;
    return rows_.get() + static_cast<std::size_t>(slot) * kHistoryCols;
}

void ScreenHistory::Clear() {
    rows_.reset();
    next_ = 0;
    count_ = 0;
    total_ = 0;
}

} // namespace pelko

#include "terminal/history.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace pelko {

bool ScreenHistory::Grow() {
    // Until the ring is full its rows stand in order from slot 0, so they move over as they are.
    const int rows = std::min(std::max(kFirstRows, 2 * capacity_), kHistoryRows);
    std::unique_ptr<std::uint8_t[]> bigger(
        new (std::nothrow) std::uint8_t[static_cast<std::size_t>(rows) * kHistoryCols]);
    if (!bigger) {
        return false;
    }
    if (count_ > 0) {
        std::memcpy(bigger.get(), rows_.get(), static_cast<std::size_t>(count_) * kHistoryCols);
    }
    rows_ = std::move(bigger);
    capacity_ = rows;
    return true;
}

bool ScreenHistory::Push(const std::uint8_t* row) {
    if (next_ == capacity_ && capacity_ < kHistoryRows && !Grow()) {
        return false;
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
    capacity_ = 0;
    next_ = 0;
    count_ = 0;
    total_ = 0;
}

} // namespace pelko

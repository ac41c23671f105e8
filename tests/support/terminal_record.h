#pragma once
// A terminal record with its start values, attached to a window for the life of the object,
// without the settings file, the port or the font that window creation would bring in.
#include <cstring>
#include <memory>
#include <mutex>

#include "terminal/tty_info.h"

namespace pelko::test {

class AttachedRecord {
public:
    explicit AttachedRecord(platform::Window& win, int cxChar = 8, int cyChar = 16)
        : win_(win), tty_(std::make_unique<TTYInfo>()) {
        SetTTYDefaults(tty_.get());
        std::memset(tty_->achScreen, ' ', sizeof tty_->achScreen);
        tty_->cxChar = cxChar;
        tty_->cyChar = cyChar;
        win_.SetRecord(tty_.get());
    }
    ~AttachedRecord() { win_.SetRecord(nullptr); }
    AttachedRecord(const AttachedRecord&) = delete;
    AttachedRecord& operator=(const AttachedRecord&) = delete;

    TTYInfo* operator->() const { return tty_.get(); }
    TTYInfo& operator*() const { return *tty_; }
    // Under the screen lock: the receive thread writes the screen while tests read it.
    std::string Row(int r) const {
        std::lock_guard lock(tty_->screenLock);
        return std::string(reinterpret_cast<const char*>(tty_->achScreen + r * kScreenCols),
                           kScreenCols);
    }

private:
    platform::Window& win_;
    std::unique_ptr<TTYInfo> tty_;
};

} // namespace pelko::test

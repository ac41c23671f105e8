#pragma once
// Real windows (offscreen) for the benchmarks, holding a plain terminal record instead of the
// settings file, font and port that window creation would bring in.
//   PlainWindow(setUp)            a shown window whose record has its start values, then what
//                                 setUp changes; cannot fail
//   Paints()                      how many times the windows made here painted their view
//   ConnectedWindow(dev, setUp)   the same with COM1 mapped to `dev`, or the Telnet port to
//                                 127.0.0.1:PORT for "telnet:PORT" (lock files in a private
//                                 folder), the record's events made, hTTYWnd set and the port
//                                 opened; Ok() is false when the connection was not made
#include <functional>
#include <memory>
#include <string>

#include "platform/port.h"
#include "posix/devices.h"
#include "qt/qt_window.h"
#include "terminal/tty_info.h"

namespace pelko::bench {

class PlainWindow {
public:
    explicit PlainWindow(const std::function<void(TTYInfo&)>& setUp = {});
    virtual ~PlainWindow();
    PlainWindow(const PlainWindow&) = delete;
    PlainWindow& operator=(const PlainWindow&) = delete;

    qt::QtWindow& Win() { return *win_; }
    TTYInfo& Tty() { return tty_; }
    static long Paints();

protected:
    TTYInfo tty_{};
    std::unique_ptr<qt::QtWindow> win_;
};

class ConnectedWindow : public PlainWindow {
public:
    explicit ConnectedWindow(const std::string& device,
                             const std::function<void(TTYInfo&)>& setUp = {});
    ~ConnectedWindow() override;
    bool Ok() const { return ok_; }

private:
    std::string lockDir_;
    std::unique_ptr<platform::PortFactory> factory_;
    bool ok_ = false;
};

} // namespace pelko::bench

#include "serial/target_control.h"

#include <ctime>

#include "platform/port.h"
#include "resources/port_names.h"
#include "log/session_log.h"
#include "terminal/tty_info.h"

namespace pelko {

namespace {

enum class Pulse { None, Reset, Break };

struct Control {
    Pulse pulse = Pulse::None;
    bool dtr = false; // the lines a reset dropped
    bool rts = false;
    int ms = 0;
    std::string note;
} gControl;

std::string Now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    char text[16] = "";
    if (localtime_r(&t, &local) != nullptr) {
        std::strftime(text, sizeof text, "%H:%M:%S", &local);
    }
    return text;
}

platform::Port* ConnectedPort(platform::Window* hwnd, std::string& why) {
    TTYInfo* tty = hwnd->GetRecord();
    if (tty == nullptr || tty->fConnected.load() == 0 || !tty->hCommPort) {
        why = "Not connected: Connect first.";
        return nullptr;
    }
    if (gControl.pulse != Pulse::None) {
        why = gControl.pulse == Pulse::Reset ? "A reset is still under way."
                                             : "A BREAK is still under way.";
        return nullptr;
    }
    return tty->hCommPort.get();
}

std::string LineNames(bool dtr, bool rts) {
    return dtr && rts ? "DTR+RTS" : dtr ? "DTR" : "RTS";
}

void Start(platform::Window* hwnd, Pulse pulse, int ms, const std::string& what) {
    gControl.pulse = pulse;
    gControl.ms = ms;
    gControl.note = what;
    hwnd->SetTimer(kControlTimer, ms);
}

} // namespace

bool ResetTarget(platform::Window* hwnd, std::string& why) {
    platform::Port* port = ConnectedPort(hwnd, why);
    if (port == nullptr) {
        return false;
    }
    const TTYInfo* tty = hwnd->GetRecord();
    const platform::ResetPlan plan = platform::ResetPlanFor(PortDeviceName(tty->bPortNum));
    if (!plan.dtr && !plan.rts) {
        why = "The ports file gives " + PortLabel(tty->bPortNum) + " no reset line (reset=none).";
        return false;
    }
    if (plan.dtr && !port->SetControl(platform::Control::Dtr, false, why)) {
        return false;
    }
    if (plan.rts && !port->SetControl(platform::Control::Rts, false, why)) {
        std::string ignored;
        if (plan.dtr) {
            port->SetControl(platform::Control::Dtr, true, ignored);
        }
        return false;
    }
    gControl.dtr = plan.dtr;
    gControl.rts = plan.rts;
    LogEvent("target reset: " + LineNames(plan.dtr, plan.rts) + " dropped for " +
             std::to_string(plan.ms) + " ms");
    Start(hwnd, Pulse::Reset, plan.ms, "resetting target");
    return true;
}

bool SendBreak(platform::Window* hwnd, std::string& why) {
    platform::Port* port = ConnectedPort(hwnd, why);
    if (port == nullptr || !port->SetControl(platform::Control::Break, true, why)) {
        return false;
    }
    LogEvent("BREAK sent for " + std::to_string(kBreakMs) + " ms");
    Start(hwnd, Pulse::Break, kBreakMs, "sending BREAK");
    return true;
}

bool EndTargetControl(platform::Window* hwnd) {
    hwnd->KillTimer(kControlTimer);
    const Control done = gControl;
    if (done.pulse == Pulse::None) {
        return false;
    }
    gControl.pulse = Pulse::None;
    gControl.ms = 0;
    TTYInfo* tty = hwnd->GetRecord();
    platform::Port* port = tty != nullptr && tty->hCommPort ? tty->hCommPort.get() : nullptr;
    std::string why;
    bool ok = true;
    if (port != nullptr && done.pulse == Pulse::Break) {
        ok = port->SetControl(platform::Control::Break, false, why);
    }
    if (port != nullptr && done.pulse == Pulse::Reset) {
        ok = (!done.rts || port->SetControl(platform::Control::Rts, true, why)) &&
             (!done.dtr || port->SetControl(platform::Control::Dtr, true, why));
    }
    const std::string what = done.pulse == Pulse::Reset ? "target reset" : "BREAK sent";
    gControl.note = ok ? what + " at " + Now() : what + ", but the line stayed: " + why;
    if (!ok) {
        LogEvent(gControl.note);
    }
    return true;
}

int ControlHoldMs() {
    return gControl.pulse == Pulse::None ? 0 : gControl.ms;
}

std::string TargetControlNote() {
    return gControl.note;
}

} // namespace pelko

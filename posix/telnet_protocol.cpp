#include "posix/telnet_protocol.h"

namespace pelko::posix::telnet {

std::size_t TelnetParser::Feed(const std::uint8_t* in, std::size_t n, std::uint8_t* out,
                               TelnetHandler& handler) {
    std::size_t data = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = in[i];
        switch (state_) {
        case State::Data:
            if (b == IAC) {
                state_ = State::Iac;
            } else {
                out[data++] = b;
            }
            break;
        case State::Iac:
            if (b == IAC) {
                out[data++] = IAC;
                state_ = State::Data;
            } else {
                Command(b);
            }
            break;
        case State::Option:
            handler.OnOption(verb_, b);
            state_ = State::Data;
            break;
        case State::SbOption:
            sbOption_ = b;
            subLen_ = 0;
            state_ = State::Sb;
            break;
        case State::Sb:
            if (b == IAC) {
                state_ = State::SbIac;
            } else if (subLen_ < kMaxSubnegotiation) {
                sub_[subLen_++] = b;
            }
            break;
        case State::SbIac:
            if (b == IAC) {
                if (subLen_ < kMaxSubnegotiation) {
                    sub_[subLen_++] = IAC;
                }
                state_ = State::Sb;
                break;
            }
            // IAC SE ends the value; any other command ends it too and is then obeyed.
            handler.OnSubnegotiation(sbOption_, sub_, subLen_);
            if (b == SE) {
                state_ = State::Data;
            } else {
                Command(b);
            }
            break;
        }
    }
    return data;
}

void TelnetParser::Command(std::uint8_t byte) {
    if (byte >= WILL && byte <= DONT) {
        verb_ = byte;
        state_ = State::Option;
    } else if (byte == SB) {
        state_ = State::SbOption;
    } else {
        state_ = State::Data; // NOP, GA, DM and the rest carry nothing for a serial line
    }
}

bool TelnetOptions::Supported(std::uint8_t option) {
    return option == kOptBinary || option == kOptSuppressGoAhead || option == kOptComPort;
}

void TelnetOptions::Start(std::vector<std::uint8_t>& out) {
    for (std::uint8_t option : {kOptBinary, kOptSuppressGoAhead, kOptComPort}) {
        local_[option].asked = true;
        out.insert(out.end(), {IAC, WILL, option});
    }
    for (std::uint8_t option : {kOptBinary, kOptSuppressGoAhead}) {
        remote_[option].asked = true;
        out.insert(out.end(), {IAC, DO, option});
    }
}

void TelnetOptions::Receive(std::uint8_t verb, std::uint8_t option,
                            std::vector<std::uint8_t>& out) {
    const bool enable = verb == WILL || verb == DO;
    const bool mine = verb == DO || verb == DONT; // about what Pelko does
    Side& side = mine ? local_[option] : remote_[option];
    const std::uint8_t yes = mine ? WILL : DO;
    const std::uint8_t no = mine ? WONT : DONT;
    const bool asked = side.asked;
    side.asked = false;
    if (enable) {
        if (side.on) {
            return;
        }
        if (!Supported(option)) {
            // Refused once: a server that asks again and again gets no answer to flood with.
            if (!side.refused) {
                side.refused = true;
                out.insert(out.end(), {IAC, no, option});
            }
            return;
        }
        side.on = true;
        if (!asked) {
            out.insert(out.end(), {IAC, yes, option});
        }
        return;
    }
    if (!side.on) {
        return; // already off, or the refusal of our own request
    }
    side.on = false;
    if (!asked) {
        out.insert(out.end(), {IAC, no, option});
    }
}

void AppendData(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(data[i]);
        if (data[i] == IAC) {
            out.push_back(IAC);
        }
    }
}

void AppendComPort(std::vector<std::uint8_t>& out, std::uint8_t command, const std::uint8_t* value,
                   std::size_t n) {
    out.insert(out.end(), {IAC, SB, kOptComPort});
    AppendData(out, &command, 1);
    AppendData(out, value, n);
    out.insert(out.end(), {IAC, SE});
}

} // namespace pelko::posix::telnet

#pragma once
// The Telnet side of the network serial port: the byte stream parser, the option negotiation
// (BINARY, SUPPRESS-GO-AHEAD and COM-PORT-OPTION agreed, everything else refused) and the
// encoders for data and RFC 2217 commands. No I/O here.
//   TelnetParser::Feed(in, n, out, handler)   splits n bytes into data, written to out (which
//                                   holds at least n bytes), and commands, handed to handler as
//                                   each completes; returns the data count. Works across any
//                                   split of the stream; cannot fail.
//   TelnetOptions::Start(out)       the requests Pelko opens with, appended to out
//   TelnetOptions::Receive(verb, option, out)  the answer to a WILL/WONT/DO/DONT, if one is due,
//                                   appended to out: nothing for a request that changes nothing,
//                                   nor for an option refused before; never more than 3 bytes
//   AppendData(out, data, n)        data with every 0xFF doubled
//   AppendComPort(out, cmd, value, n)  IAC SB COM-PORT-OPTION cmd value IAC SE, cmd and value
//                                   escaped
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelko::posix::telnet {

inline constexpr std::uint8_t SE = 240;
inline constexpr std::uint8_t SB = 250;
inline constexpr std::uint8_t WILL = 251;
inline constexpr std::uint8_t WONT = 252;
inline constexpr std::uint8_t DO = 253;
inline constexpr std::uint8_t DONT = 254;
inline constexpr std::uint8_t IAC = 255;

inline constexpr std::uint8_t kOptBinary = 0;
inline constexpr std::uint8_t kOptSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptComPort = 44;

// RFC 2217 client commands; the server answers each with the command plus 100.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerReply = 100;

inline constexpr std::uint8_t kControlNoFlow = 1;
inline constexpr std::uint8_t kControlDtrOn = 8;
inline constexpr std::uint8_t kControlDtrOff = 9;
inline constexpr std::uint8_t kControlBreakOn = 5;
inline constexpr std::uint8_t kControlBreakOff = 6;
inline constexpr std::uint8_t kControlRtsOn = 11;
inline constexpr std::uint8_t kControlRtsOff = 12;
inline constexpr std::uint8_t kPurgeBoth = 3;

class TelnetHandler {
public:
    virtual ~TelnetHandler() = default;
    // verb is WILL, WONT, DO or DONT.
    virtual void OnOption(std::uint8_t verb, std::uint8_t option) = 0;
    // The value of a subnegotiation, undoubled; values longer than kMaxSubnegotiation are cut.
    virtual void OnSubnegotiation(std::uint8_t option, const std::uint8_t* value,
                                  std::size_t n) = 0;
};

class TelnetParser {
public:
    static constexpr std::size_t kMaxSubnegotiation = 64;

    std::size_t Feed(const std::uint8_t* in, std::size_t n, std::uint8_t* out,
                     TelnetHandler& handler);

private:
    enum class State { Data, Iac, Option, SbOption, Sb, SbIac };
    void Command(std::uint8_t byte);

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t sbOption_ = 0;
    std::uint8_t sub_[kMaxSubnegotiation] = {};
    std::size_t subLen_ = 0;
};

class TelnetOptions {
public:
    void Start(std::vector<std::uint8_t>& out);
    void Receive(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& out);
    // Whether Pelko does the option (the server said DO) and whether the server does it.
    bool Local(std::uint8_t option) const { return local_[option].on; }
    bool Remote(std::uint8_t option) const { return remote_[option].on; }

private:
    struct Side {
        bool on = false;
        bool asked = false;   // we sent a request and await its answer
        bool refused = false; // an unsupported option, refused already
    };
    static bool Supported(std::uint8_t option);
    Side local_[256];
    Side remote_[256];
};

void AppendData(std::vector<std::uint8_t>& out, const std::uint8_t* data, std::size_t n);
void AppendComPort(std::vector<std::uint8_t>& out, std::uint8_t command, const std::uint8_t* value,
                   std::size_t n);

} // namespace pelko::posix::telnet

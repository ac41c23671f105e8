// Fuzzes the Telnet stream parser of the network serial port:
//   - any byte stream gives the same data and the same commands however it is cut into reads,
//     and never more data than it had bytes;
//   - data escaped for sending, with commands and subnegotiations mixed in, comes back out
//     byte for byte, and so do the subnegotiation values;
//   - the option negotiation answers no request with more than 3 bytes (the port's send queue
//     counts on it) and refuses each unsupported option at most once each way.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "posix/telnet_protocol.h"

namespace {

using namespace pelko::posix::telnet;
using pelko::fuzz::Fail;
using Bytes = std::vector<std::uint8_t>;

struct Log : TelnetHandler {
    std::vector<std::string> events;
    std::vector<Bytes> subs;
    TelnetOptions options;
    Bytes answers;
    void OnOption(std::uint8_t verb, std::uint8_t option) override {
        events.push_back({'o', static_cast<char>(verb), static_cast<char>(option)});
        const std::size_t before = answers.size();
        options.Receive(verb, option, answers);
        if (answers.size() - before > 3) {
            Fail("more than one answer to a request");
        }
    }
    void OnSubnegotiation(std::uint8_t option, const std::uint8_t* value, std::size_t n) override {
        if (n > TelnetParser::kMaxSubnegotiation) {
            Fail("subnegotiation value longer than its buffer");
        }
        events.push_back(std::string("s") + static_cast<char>(option) +
                         std::string(reinterpret_cast<const char*>(value), n));
        subs.emplace_back(value, value + n);
    }
};

// Parses `in` in reads whose sizes follow `seed`; 0 means one read.
Bytes Parse(const Bytes& in, unsigned seed, Log& log) {
    TelnetParser parser;
    Bytes data;
    std::size_t at = 0;
    unsigned turn = 0;
    while (at < in.size()) {
        std::size_t n = seed == 0 ? in.size() : 1 + (seed * 31 + turn * 7) % 23;
        n = std::min(n, in.size() - at);
        Bytes out(n + 1, 0xA5);
        const std::size_t got = parser.Feed(in.data() + at, n, out.data(), log);
        if (got > n) {
            Fail("more data than input");
        }
        if (out[n] != 0xA5) {
            Fail("wrote past the data it returned room for");
        }
        data.insert(data.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(got));
        at += n;
        ++turn;
    }
    return data;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const unsigned seed = bytes[0];
    const Bytes payload(bytes + 1, bytes + size);

    Log whole;
    Log cut;
    const Bytes a = Parse(payload, 0, whole);
    const Bytes b = Parse(payload, seed | 1, cut);
    if (a != b || whole.events != cut.events) {
        Fail("the result depends on where the stream is cut");
    }
    // Only BINARY, SGA and COM-PORT can be switched on and off again; the rest is refused once.
    std::size_t refusals = 0;
    for (std::size_t at = 0; at + 3 <= whole.answers.size(); at += 3) {
        const std::uint8_t option = whole.answers[at + 2];
        refusals += option != 0 && option != 3 && option != 44;
    }
    if (refusals > 2 * 253) {
        Fail("an unsupported option refused more than once");
    }

    // Round trip: escaped data with commands between its bytes.
    Bytes stream;
    std::vector<Bytes> sentSubs;
    const std::size_t every = seed % 13 + 1;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        AppendData(stream, &payload[i], 1);
        if (i % every != 0) {
            continue;
        }
        if ((i / every) % 2 == 0) {
            const std::uint8_t verb = static_cast<std::uint8_t>(WILL + payload[i] % 4);
            stream.insert(stream.end(), {IAC, verb, payload[i]});
        } else {
            const std::size_t n = std::min<std::size_t>(8, payload.size() - i);
            AppendComPort(stream, payload[i], &payload[i], n);
            Bytes value{payload[i]};
            value.insert(value.end(), payload.begin() + static_cast<std::ptrdiff_t>(i),
                         payload.begin() + static_cast<std::ptrdiff_t>(i + n));
            sentSubs.push_back(value);
        }
    }
    Log trip;
    if (Parse(stream, seed, trip) != payload) {
        Fail("data bytes lost or changed");
    }
    if (trip.subs != sentSubs) {
        Fail("subnegotiation values lost or changed");
    }
    return 0;
}

// Fuzzes the Telnet stream parser of the network serial port:
//   - any byte stream gives the same data and the same commands however it is cut into reads,
//     and never more data than it had bytes;
//   - data escaped for sending, with commands and subnegotiations mixed in, comes back out
//     byte for byte, and so do the commands and the subnegotiation values;
//   - the option negotiation answers no request with more than 3 bytes (the port's send queue
//     counts on it) and refuses each unsupported option at most once each way.
// The buffers live as long as the process and keep their size between inputs, so an input
// costs no allocation; the harness's own code is left out of the coverage the fuzzer steers by.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz/check.h"
#include "posix/telnet_protocol.h"

#define HARNESS __attribute__((no_sanitize("coverage")))

namespace {

using namespace pelko::posix::telnet;
using pelko::fuzz::Fail;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kCanary = 0xA5;

// Bytes written at an index into storage that only grows.
struct Tape {
    Bytes bytes;
    std::size_t size = 0;
    HARNESS void Reset(std::size_t room) {
        if (bytes.size() < room) {
            bytes.resize(room);
        }
        size = 0;
    }
    HARNESS void Put(const std::uint8_t* p, std::size_t n) {
        if (size + n > bytes.size()) {
            Fail("more output than the input can give"); // a fault of the harness's bounds
        }
        std::copy_n(p, n, bytes.data() + size);
        size += n;
    }
    HARNESS void Put3(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
        const std::uint8_t three[] = {a, b, c};
        Put(three, 3);
    }
    HARNESS bool operator==(const Tape& other) const {
        return size == other.size &&
               std::equal(bytes.data(), bytes.data() + size, other.bytes.data());
    }
};

// Records every command: 'o' VERB OPTION, or 's' OPTION LENGTH VALUE... A command logs at
// most as many bytes as it took from the stream, plus 3 for one cut short by another.
struct Log : TelnetHandler {
    Tape events;
    TelnetOptions options;
    Bytes answers;
    HARNESS void Reset(std::size_t inputSize) {
        events.Reset(inputSize + 8);
        answers.clear();
        options = TelnetOptions();
    }
    HARNESS void OnOption(std::uint8_t verb, std::uint8_t option) override {
        events.Put3('o', verb, option);
        const std::size_t before = answers.size();
        options.Receive(verb, option, answers);
        if (answers.size() - before > 3) {
            Fail("more than one answer to a request");
        }
    }
    HARNESS void OnSubnegotiation(std::uint8_t option, const std::uint8_t* value,
                                  std::size_t n) override {
        if (n > TelnetParser::kMaxSubnegotiation) {
            Fail("subnegotiation value longer than its buffer");
        }
        events.Put3('s', option, static_cast<std::uint8_t>(n));
        events.Put(value, n);
    }
};

// Parses `in` in reads whose sizes follow `seed` (0: one read) and leaves the data in `data`.
// Each read gets exactly its own size as room, with a canary right behind it.
HARNESS void Parse(const std::uint8_t* in, std::size_t size, unsigned seed, Log& log, Tape& data) {
    log.Reset(size);
    data.Reset(size + 1);
    TelnetParser parser;
    std::size_t at = 0;
    unsigned turn = 0;
    while (at < size) {
        std::size_t n = seed == 0 ? size : 1 + (seed * 31 + turn * 7) % 23;
        n = std::min(n, size - at);
        std::uint8_t* room = data.bytes.data() + data.size;
        room[n] = kCanary;
        const std::size_t got = parser.Feed(in + at, n, room, log);
        if (got > n) {
            Fail("more data than input");
        }
        if (room[n] != kCanary) {
            Fail("wrote past the data it returned room for");
        }
        data.size += got;
        at += n;
        ++turn;
    }
}

struct Buffers {
    Tape a;
    Tape b;
    Bytes stream;
    Tape sent; // the commands put into the stream, as the parser should report them
    Tape back;
    Log whole;
    Log cut;
    Log trip;
};

} // namespace

extern "C" HARNESS int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    static Buffers& buf = *new Buffers; // reused by every input, never freed
    const unsigned seed = bytes[0];
    const std::uint8_t* payload = bytes + 1;
    const std::size_t n = size - 1;

    Parse(payload, n, 0, buf.whole, buf.a);
    Parse(payload, n, seed | 1, buf.cut, buf.b);
    if (!(buf.a == buf.b) || !(buf.whole.events == buf.cut.events)) {
        Fail("the result depends on where the stream is cut");
    }
    // Only BINARY, SGA and COM-PORT can be switched on and off again; the rest is refused once.
    std::size_t refusals = 0;
    const Bytes& answers = buf.whole.answers;
    for (std::size_t at = 0; at + 3 <= answers.size(); at += 3) {
        const std::uint8_t option = answers[at + 2];
        refusals += option != 0 && option != 3 && option != 44;
    }
    if (refusals > 2 * 253) {
        Fail("an unsupported option refused more than once");
    }

    // Round trip: escaped data in runs of `every` bytes, an option request or a COM-PORT
    // command after each run.
    Bytes& stream = buf.stream;
    stream.clear();
    const std::size_t every = seed % 13 + 1;
    buf.sent.Reset((n / every + 1) * 12); // at most 4 + 8 bytes logged for each run
    for (std::size_t i = 0; i < n; i += every) {
        const std::size_t run = std::min(every, n - i);
        AppendData(stream, payload + i, run);
        const std::uint8_t last = payload[i + run - 1];
        if ((i / every) % 2 == 0) {
            const std::uint8_t verb = static_cast<std::uint8_t>(WILL + last % 4);
            const std::uint8_t request[] = {IAC, verb, last};
            stream.insert(stream.end(), request, request + 3);
            buf.sent.Put3('o', verb, last);
        } else {
            const std::size_t length = std::min<std::size_t>(8, n - i);
            AppendComPort(stream, last, payload + i, length);
            buf.sent.Put3('s', kOptComPort, static_cast<std::uint8_t>(length + 1));
            buf.sent.Put(&last, 1);
            buf.sent.Put(payload + i, length);
        }
    }
    Parse(stream.data(), stream.size(), seed, buf.trip, buf.back);
    if (buf.back.size != n || !std::equal(payload, payload + n, buf.back.bytes.data())) {
        Fail("data bytes lost or changed");
    }
    if (!(buf.trip.events == buf.sent)) {
        Fail("commands or subnegotiation values lost or changed");
    }
    return 0;
}

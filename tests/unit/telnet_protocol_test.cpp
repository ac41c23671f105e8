// The Telnet stream parser, the option negotiation and the encoders of the network serial port.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "posix/telnet_protocol.h"

namespace pelko::posix::telnet {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ElementsAre;

struct Collected : TelnetHandler {
    std::vector<std::string> events;
    void OnOption(std::uint8_t verb, std::uint8_t option) override {
        events.push_back("opt " + std::to_string(verb) + " " + std::to_string(option));
    }
    void OnSubnegotiation(std::uint8_t option, const std::uint8_t* value, std::size_t n) override {
        std::ostringstream e;
        e << "sb " << static_cast<int>(option) << ":";
        for (std::size_t i = 0; i < n; ++i) {
            e << ' ' << static_cast<int>(value[i]);
        }
        events.push_back(e.str());
    }
};

// Feeds `in` in pieces of `piece` bytes and returns the data.
Bytes FeedInPieces(const Bytes& in, std::size_t piece, Collected& sink) {
    TelnetParser parser;
    Bytes data;
    for (std::size_t at = 0; at < in.size(); at += piece) {
        const std::size_t n = std::min(piece, in.size() - at);
        std::uint8_t out[64];
        const std::size_t got = parser.Feed(in.data() + at, n, out, sink);
        EXPECT_LE(got, n);
        data.insert(data.end(), out, out + got);
    }
    return data;
}

TEST(TelnetParser, SplitsDataAndCommandsTheSameWhereverTheStreamIsCut) {
    const Bytes stream = {'a', IAC, IAC, 'b', IAC,  DO,  44, 'c', IAC,           SB,  44,   101,
                          0,   0,   IAC, IAC, 0x80, IAC, SE, IAC, 241 /* NOP */, 'd', 0xFE, 0};
    for (std::size_t piece = 1; piece <= stream.size(); ++piece) {
        Collected sink;
        const Bytes data = FeedInPieces(stream, piece, sink);
        EXPECT_EQ(data, (Bytes{'a', 0xFF, 'b', 'c', 'd', 0xFE, 0})) << "piece " << piece;
        EXPECT_THAT(sink.events, ElementsAre("opt 253 44", "sb 44: 101 0 0 255 128"))
            << "piece " << piece;
    }
}

TEST(TelnetParser, LongSubnegotiationIsCutButTheStreamGoesOn) {
    Bytes stream(203, 7);
    stream[0] = IAC;
    stream[1] = SB;
    stream[2] = 44;
    for (std::uint8_t b : {IAC, SE, static_cast<std::uint8_t>('x')}) {
        stream.push_back(b);
    }
    Collected sink;
    EXPECT_EQ(FeedInPieces(stream, 5, sink), Bytes{'x'});
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].size(),
              std::string("sb 44:").size() + 2 * TelnetParser::kMaxSubnegotiation);
}

TEST(TelnetParser, CommandInsideSubnegotiationEndsItAndIsObeyed) {
    Collected sink;
    const Bytes data = FeedInPieces({IAC, SB, 44, 1, IAC, WILL, 3, 'z'}, 3, sink);
    EXPECT_EQ(data, Bytes{'z'});
    EXPECT_THAT(sink.events, ElementsAre("sb 44: 1", "opt 251 3"));
}

TEST(TelnetOptions, OpensWithItsRequestsAndTakesTheAnswersSilently) {
    TelnetOptions opts;
    Bytes out;
    opts.Start(out);
    EXPECT_EQ(out, (Bytes{IAC, WILL, 0, IAC, WILL, 3, IAC, WILL, 44, IAC, DO, 0, IAC, DO, 3}));
    out.clear();
    for (auto [verb, option] : {std::pair{DO, kOptBinary},
                                {DO, kOptSuppressGoAhead},
                                {DO, kOptComPort},
                                {WILL, kOptBinary},
                                {WILL, kOptSuppressGoAhead}}) {
        opts.Receive(verb, option, out);
    }
    EXPECT_TRUE(out.empty()); // answers to our own requests are not answered again
    EXPECT_TRUE(opts.Local(kOptComPort));
    EXPECT_TRUE(opts.Remote(kOptBinary));
    // Asking again for what is already on changes nothing and gets no answer.
    opts.Receive(DO, kOptBinary, out);
    opts.Receive(WILL, kOptSuppressGoAhead, out);
    EXPECT_TRUE(out.empty());
}

TEST(TelnetOptions, AgreesToItsOwnOptionsAndRefusesTheRest) {
    TelnetOptions opts;
    Bytes out;
    opts.Receive(WILL, kOptComPort, out); // the server offers, unasked
    opts.Receive(DO, 1 /* ECHO */, out);
    opts.Receive(WILL, 1, out);
    opts.Receive(WONT, 5, out); // already off: nothing
    opts.Receive(DO, 1, out);   // asked again: refused once is enough
    opts.Receive(WONT, 1, out);
    opts.Receive(WILL, 1, out);
    EXPECT_EQ(out, (Bytes{IAC, DO, 44, IAC, WONT, 1, IAC, DONT, 1}));
    out.clear();
    opts.Receive(DO, kOptBinary, out);
    opts.Receive(DONT, kOptBinary, out); // switched off by the server: confirmed
    opts.Receive(DONT, kOptBinary, out);
    EXPECT_EQ(out, (Bytes{IAC, WILL, 0, IAC, WONT, 0}));
    EXPECT_FALSE(opts.Local(kOptBinary));
}

TEST(TelnetOptions, RefusalOfOwnRequestIsNotAnswered) {
    TelnetOptions opts;
    Bytes out;
    opts.Start(out);
    out.clear();
    opts.Receive(DONT, kOptComPort, out);
    opts.Receive(WONT, kOptBinary, out);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(opts.Local(kOptComPort));
}

TEST(TelnetEncoders, DoubleEveryIac) {
    Bytes out;
    const std::uint8_t data[] = {1, 0xFF, 0xFF, 2};
    AppendData(out, data, sizeof data);
    EXPECT_EQ(out, (Bytes{1, 0xFF, 0xFF, 0xFF, 0xFF, 2}));
    out.clear();
    const std::uint8_t baud[] = {0, 0, 0xFF, 0x10};
    AppendComPort(out, kSetBaudRate, baud, sizeof baud);
    EXPECT_EQ(out, (Bytes{IAC, SB, 44, 1, 0, 0, 0xFF, 0xFF, 0x10, IAC, SE}));
}

} // namespace
} // namespace pelko::posix::telnet

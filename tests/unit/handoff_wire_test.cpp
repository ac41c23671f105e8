// What an upload caller and the window say to each other: frames taken from a stream that comes
// in pieces, requests the window must refuse, and reports cut to what the caller takes.
#include <gtest/gtest.h>

#include <string>

#include "app/handoff_wire.h"

namespace pelko {
namespace {

TEST(HandoffWireTest, FramesAreTakenWholeFromAStreamThatComesInPieces) {
    HandoffRequest text;
    text.fromText = true;
    text.path = "/home/u/-";
    text.text = std::string("one\r\n\0two\n", 10);
    const std::string stream = EncodeFrame(HandoffFrame::Upload, EncodeRequest(text)) +
                               EncodeFrame(HandoffFrame::Cancel, "");
    std::string in;
    std::vector<HandoffFrame> types;
    HandoffFrame type{};
    std::string payload;
    for (const char c : stream) {
        in.push_back(c);
        while (TakeFrame(in, type, payload) == FrameResult::Complete) {
            types.push_back(type);
            if (type == HandoffFrame::Upload) {
                HandoffRequest got;
                std::string why;
                ASSERT_TRUE(DecodeRequest(payload, got, why)) << why;
                EXPECT_TRUE(got.fromText);
                EXPECT_EQ(got.path, text.path);
                EXPECT_EQ(got.text, text.text);
            }
        }
    }
    EXPECT_EQ(types, (std::vector{HandoffFrame::Upload, HandoffFrame::Cancel}));
    EXPECT_TRUE(in.empty());

    for (std::string bad : {std::string("X\0\0\0\0", 5), std::string("U\xff\xff\xff\xff", 5)}) {
        const std::string before = bad;
        EXPECT_EQ(TakeFrame(bad, type, payload), FrameResult::Malformed) << before;
        EXPECT_EQ(bad, before);
    }
}

TEST(HandoffWireTest, RequestsTheWindowMustRefuse) {
    const auto request = [](char mode, char from, const std::string& path,
                            const std::string& text) {
        std::string p{mode, from};
        for (const std::string* s : {&path, &text}) {
            for (int i = 3; i >= 0; --i) {
                p.push_back(static_cast<char>((s->size() >> (8 * i)) & 0xFF));
            }
            p += *s;
        }
        return p;
    };
    const struct {
        std::string payload;
        const char* why;
    } rows[] = {
        {request('F', 'P', "/a/app.src", ""), ""},
        {request('F', 'P', "app.src", ""), "a request whose file is not named by its full path"},
        {request('F', 'P', "/a/app.src", "text"),
         "a request whose file is not named by its full path"},
        {request('V', 'T', "", "text"), "a request without a file name"},
        {request('V', 'T', std::string("/a\0b", 4), ""), "a request without a file name"},
        {request('Q', 'P', "/a/app.src", ""), "a malformed request"},
        {request('F', 'P', "/a/app.src", "") + "x", "a malformed request"},
        {request('F', 'P', "/a/app.src", "").substr(0, 12), "a malformed request"},
        {request('F', 'P', std::string(5000, '/'), ""), "a malformed request"},
        {"", "a malformed request"},
    };
    for (const auto& row : rows) {
        HandoffRequest got;
        std::string why;
        EXPECT_EQ(DecodeRequest(row.payload, got, why), *row.why == '\0') << row.why;
        EXPECT_EQ(why, row.why);
    }
}

TEST(HandoffWireTest, AnOutcomeWithLongTextsIsCutToWhatTheCallerTakes) {
    UploadOutcome o;
    o.started = true;
    o.end = 1;
    o.source.stop = SourceStop::End;
    o.source.reason = std::string(9000, 'r');
    o.at = {"lib/a.src", 12, "app.src:1", 40};
    o.echo = std::string(9000, 'e');
    UploadOutcome got;
    ASSERT_TRUE(DecodeOutcome(EncodeOutcome(o), got));
    EXPECT_TRUE(got.started);
    EXPECT_EQ(got.end, 1);
    EXPECT_EQ(got.source.stop, SourceStop::End);
    EXPECT_EQ(got.source.reason, std::string(4096, 'r'));
    EXPECT_EQ(got.echo, std::string(4096, 'e'));
    EXPECT_EQ(got.at.file, "lib/a.src");
    EXPECT_EQ(got.at.line, 12U);
    EXPECT_EQ(got.at.from, "app.src:1");
    EXPECT_EQ(got.at.lines, 40U);
    EXPECT_FALSE(DecodeOutcome(EncodeOutcome(o) + "x", got));
}

} // namespace
} // namespace pelko

// The frame trace's own behaviour: readable bytes, the trace file's rotation, a trace that
// cannot be written, and a failed open repeated by every reconnect.
#include "tests/support/TempFolder.h"

#include "comm/FrameTrace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace {

struct TRecordedLines final : TTraceOutput {
    explicit TRecordedLines(std::vector<std::string>& lines) : Lines(lines) {}
    std::string WriteLine(const std::string& line) noexcept override {
        Lines.push_back(line);
        return {};
    }
    std::vector<std::string>& Lines;
};

std::string Contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a line says after its time fields and port.
std::string Event(const std::string& line) {
    const std::string port = " COM1 /dev/ttyUSB0 9600 ";
    const std::size_t at = line.find(port);
    return at == std::string::npos ? line : line.substr(at + port.size());
}

const TTracePort Usb{1, "/dev/ttyUSB0", 9600};

} // namespace

TEST(FrameTraceTest, BytesReadBackUnambiguously) {
    EXPECT_EQ(TFrameTrace::Escape(std::string("#A05E,1 2*3F\r", 13)), "#A05E,1 2*3F\\r");
    EXPECT_EQ(TFrameTrace::Escape(std::string("\0\\\x7F\xFF\n\x1B", 6)),
              "\\x00\\x5C\\x7F\\xFF\\x0A\\x1B");
}

TEST(FrameTraceTest, ReceivedBytesBecomeOneLinePerReplyAndCutRepliesEndAtTheTimeout) {
    std::vector<std::string> lines;
    TFrameTrace trace(std::make_unique<TRecordedLines>(lines));
    trace.Opened(Usb);
    trace.Sent("#R05E*12\r");
    trace.Received("#A0");
    trace.Received("5E*01\r#A0");
    trace.TimedOut("[Kestro #05] Timeout");
    trace.Purging(); // the next exchange: its failure is no answer to the last request
    trace.Failed(Usb, "COM1 unexpected error!", "");
    trace.Closed();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(Event(lines[0]), "OPEN");
    EXPECT_EQ(Event(lines[1]), "TX      #R05E*12\\r");
    EXPECT_EQ(Event(lines[2]).substr(0, 14), "RX      after=");
    EXPECT_NE(lines[2].find("ms #A05E*01\\r"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("ms #A0"), std::string::npos) << lines[3];
    EXPECT_NE(lines[4].find("TIMEOUT after="), std::string::npos) << lines[4];
    EXPECT_EQ(Event(lines[5]), "ERROR   COM1 unexpected error!");
    EXPECT_EQ(Event(lines[6]), "CLOSE");
}

// Behind a device server a request's line carries the round trip measured before it; a speed
// changed in place is a line of its own, and the lines after it name the new speed.
TEST(FrameTraceTest, RoundTripGoesWithItsRequestAndASpeedChangeIsNamed) {
    std::vector<std::string> lines;
    TFrameTrace trace(std::make_unique<TRecordedLines>(lines));
    trace.Opened(Usb);
    trace.RoundTrip(812.44, 40.2);
    trace.Sent("#R05E*12\r");
    trace.Sent("#R05E*12\r");
    trace.Reconfigured({1, "/dev/ttyUSB0", 300});
    trace.Sent("#R??E*17\r");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(Event(lines[1]), "TX      rtt=812.4+-40.2ms #R05E*12\\r");
    EXPECT_EQ(Event(lines[2]), "TX      #R05E*12\\r");
    EXPECT_NE(lines[3].find(" COM1 /dev/ttyUSB0 300 SPEED"), std::string::npos) << lines[3];
    EXPECT_NE(lines[4].find(" COM1 /dev/ttyUSB0 300 TX      #R??E*17\\r"), std::string::npos)
        << lines[4];
}

TEST(FrameTraceTest, RepeatedOpenFailureIsTracedOnceUntilThePortOpens) {
    std::vector<std::string> lines;
    TFrameTrace trace(std::make_unique<TRecordedLines>(lines));
    const std::string cause = "/dev/ttyUSB0: no such device: is the adapter plugged in?";
    trace.Failed(Usb, "Cannot open COM1!", cause);
    trace.Failed(Usb, "Cannot open COM1!", cause);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(24),
              " - COM1 /dev/ttyUSB0 9600 ERROR   Cannot open COM1! cause: " + cause);
    trace.Opened(Usb);
    trace.Closed();
    trace.Failed(Usb, "Cannot open COM1!", cause);
    EXPECT_EQ(lines.size(), 4u);
}

TEST(FrameTraceTest, FileIsAppendedAndRotatedOnceAtTheLimit) {
    TTempFolder folder;
    const auto file = folder.Path() / "trace.log";
    const auto rotated = folder.Path() / "trace.log.1";
    std::ofstream(file, std::ios::binary) << "older\n"; // 6 bytes already there
    {
        TTraceFile out(file.string(), 30);
        EXPECT_EQ(out.WriteLine("line one"), "");   // 15 bytes
        EXPECT_EQ(out.WriteLine("line two"), "");   // 24
        EXPECT_EQ(out.WriteLine("line three"), ""); // past 30: rotated first
        EXPECT_EQ(Contents(rotated), "older\nline one\nline two\n");
        EXPECT_EQ(Contents(file), "line three\n");
        EXPECT_EQ(out.WriteLine("line four"), "");
        EXPECT_EQ(out.WriteLine("line five"), ""); // rotated again: the older .1 goes
    }
    EXPECT_EQ(Contents(rotated), "line three\nline four\n");
    EXPECT_EQ(Contents(file), "line five\n");
}

TEST(FrameTraceTest, UnwritableTraceIsReportedOnceAndNeverThrows) {
    TTempFolder folder;
    const auto file = folder.Path() / "missing-folder" / "trace.log";
    std::vector<std::string> reports;
    TFrameTrace trace(std::make_unique<TTraceFile>(file.string(), DefaultTraceLimitBytes),
                      [&](const std::string& reason) { reports.push_back(reason); });
    EXPECT_NO_THROW({
        trace.Opened(Usb);
        trace.Sent("#R05E*12\r");
        trace.Received("#A05E*01\r");
        trace.Failed(Usb, "COM1 read error!", "");
        trace.Closed();
    });
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind(file.string() + ": ", 0), 0u) << reports[0];
    EXPECT_TRUE(trace.WriteFailed());

    // A handler that throws stays inside the trace as well.
    TFrameTrace throwing(std::make_unique<TTraceFile>(file.string(), DefaultTraceLimitBytes),
                         [](const std::string&) { throw std::runtime_error("handler"); });
    EXPECT_NO_THROW(throwing.Opened(Usb));
}

#include "comm/TelnetCodec.h"
#include "comm/NetworkDevice.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using C = TTelnetCodec;

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

C::TOutput Feed(C& codec, const std::string& bytes, std::size_t piece = 0) {
    C::TOutput out;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    if (piece == 0)
        piece = bytes.size();
    for (std::size_t i = 0; i < bytes.size(); i += piece)
        codec.Feed(data + i, std::min(piece, bytes.size() - i), out);
    return out;
}

TEST(TelnetCodec, NegotiatesBinaryAndComPortAndRefusesTheRestWithoutLooping) {
    C codec;
    EXPECT_EQ(codec.Start(), Bytes({255, 251, 0, 255, 253, 0, 255, 251, 44}));
    EXPECT_FALSE(codec.Negotiated());
    // What pyserial's server sends first, then its answers to our requests.
    const std::string server = Bytes({255, 251, 1,   255, 251, 3,   255, 253, 3,   255, 253,
                                      44,  255, 251, 44,  255, 253, 0,   255, 251, 0});
    const C::TOutput out = Feed(codec, server);
    EXPECT_EQ(out.Reply, Bytes({255, 254, 1, 255, 253, 3, 255, 251, 3, 255, 253, 44}));
    EXPECT_TRUE(codec.Negotiated());
    EXPECT_EQ(codec.Refusal(), "");
    // Answers to answers would go on for ever: a repeated agreement changes nothing.
    EXPECT_EQ(Feed(codec, server.substr(3)).Reply, "");
    // A server that switches binary off later is acknowledged, and the link is no longer fit.
    EXPECT_EQ(Feed(codec, Bytes({255, 252, 0})).Reply, Bytes({255, 254, 0}));
    EXPECT_FALSE(codec.Negotiated());
    EXPECT_NE(codec.Refusal(), "");

    C refused;
    refused.Start();
    Feed(refused, Bytes({255, 254, 44}));
    EXPECT_EQ(refused.Refusal(), "the server refused COM-PORT-OPTION (RFC 2217)");
}

TEST(TelnetCodec, DataAndAnswersSurviveAnySplitOfTheStream) {
    const std::string stream = "#A05E" +
                               Bytes({255, 255, 255, 250, 44,  101, 0,   0,   1,   44,  255,
                                      240, 255, 241, 255, 250, 44,  112, 255, 255, 255, 240}) +
                               "*12\r";
    for (std::size_t piece : {0u, 1u, 2u, 3u, 5u}) {
        C codec;
        const C::TOutput out = Feed(codec, stream, piece);
        EXPECT_EQ(out.Data, "#A05E" + Bytes({255}) + "*12\r") << piece;
        ASSERT_EQ(out.Controls.size(), 2u) << piece;
        EXPECT_EQ(out.Controls[0].Command, C::SetBaudRate);
        EXPECT_EQ(out.Controls[0].Number(), 300u);
        EXPECT_EQ(out.Controls[1].Command, C::PurgeData);
        EXPECT_EQ(out.Controls[1].Length, 1);
        EXPECT_EQ(out.Controls[1].Value[0], 255);
    }
}

TEST(TelnetCodec, MalformedOrEndlessSubnegotiationsAreDroppedAndDataGoesOn) {
    C codec;
    // Far longer than any answer: skipped to its end, whatever its length.
    std::string endless = Bytes({255, 250, 44, 101}) + std::string(100000, 'x');
    C::TOutput out = Feed(codec, endless + Bytes({255, 240}) + "ok");
    EXPECT_TRUE(out.Controls.empty());
    EXPECT_EQ(out.Data, "ok");
    // A command inside a sub-negotiation ends it unfinished; the command itself counts.
    out = Feed(codec, Bytes({255, 250, 44, 101, 0, 255, 251, 7}) + "go");
    EXPECT_TRUE(out.Controls.empty());
    EXPECT_EQ(out.Reply, Bytes({255, 254, 7}));
    EXPECT_EQ(out.Data, "go");
}

TEST(TelnetCodec, RequestsEscapeTheirValues) {
    EXPECT_EQ(C::ControlRequest(C::SetBaudRate, C::BaudRateValue(0x1FF)),
              Bytes({255, 250, 44, 1, 0, 0, 1, 255, 255, 255, 240}));
    EXPECT_EQ(C::Escape(Bytes({1, 255, 2})), Bytes({1, 255, 255, 2}));
}

TEST(NetworkDevice, TakesHostAndPortAndRejectsWhatCannotBeConnected) {
    const auto rfc = ParseNetworkDevice("rfc2217://meters.example:4001");
    ASSERT_TRUE(rfc);
    EXPECT_EQ(rfc->Kind, TNetworkDevice::TKind::Rfc2217);
    EXPECT_EQ(rfc->Host, "meters.example");
    EXPECT_EQ(rfc->Port, 4001);
    const auto raw = ParseNetworkDevice("socket://[::1]:65535");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->Kind, TNetworkDevice::TKind::Raw);
    EXPECT_EQ(raw->Host, "::1");
    for (const char* bad :
         {"rfc2217://host", "rfc2217://host:0", "socket://host:65536", "socket://:4001",
          "socket://::1:4001", "rfc2217://h:40x", "rfc2217://h/p:4001", "/dev/ttyUSB0"})
        EXPECT_FALSE(ParseNetworkDevice(bad)) << bad;
    EXPECT_TRUE(IsNetworkDevice("socket://host"));
    EXPECT_FALSE(IsNetworkDevice("/dev/socket://x"));
}

// "?timeout=MS" sets the network's time bound; anything else after the "?" is refused with
// what is wrong, so that a typing error never passes for the default.
TEST(NetworkDevice, TakesTheNetworkTimeoutAndNamesWhatIsWrong) {
    EXPECT_EQ(ParseNetworkDevice("rfc2217://h:1")->TimeoutMs, DefaultNetworkTimeoutMs);
    EXPECT_EQ(ParseNetworkDevice("rfc2217://h:1?timeout=8000")->TimeoutMs, 8000u);
    const auto v6 = ParseNetworkDevice("socket://[fd00::5]:4001?timeout=1");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->Host, "fd00::5");
    EXPECT_EQ(v6->TimeoutMs, 1u);
    EXPECT_EQ(ParseNetworkDevice("socket://h:1?timeout=600000")->TimeoutMs, MaxNetworkTimeoutMs);
    const struct {
        const char* Device;
        const char* Problem;
    } bad[] = {
        {"rfc2217://h:1?timeout=0", "from 1 to 600000"},
        {"rfc2217://h:1?timeout=600001", "from 1 to 600000"},
        {"rfc2217://h:1?timeout=5s", "from 1 to 600000"},
        {"rfc2217://h:1?timeout=", "from 1 to 600000"},
        {"rfc2217://h:1?ign_set_control", "unknown option \"ign_set_control\""},
        {"rfc2217://h:1?timeout=100&logging=debug", "unknown option \"logging=debug\""},
        {"rfc2217://h?timeout=100", "not a device server address"},
        {"socket://h:99999?timeout=100", "from 1 to 65535"},
        {"socket://::1:4001", "in brackets"},
    };
    for (const auto& c : bad) {
        std::string problem;
        EXPECT_FALSE(ParseNetworkDevice(c.Device, &problem)) << c.Device;
        EXPECT_NE(problem.find(c.Problem), std::string::npos) << c.Device << ": " << problem;
    }
}

// Each control answer says how many data bytes came before it, so that what a server sent
// before it purged is told apart from what it sent after.
TEST(TelnetCodec, ControlAnswersKeepTheirPlaceAmongTheData) {
    TTelnetCodec codec;
    C::TOutput out;
    const std::string wire = "old" + Bytes({255, 250, 44, 112, 3, 255, 240}) + "new" +
                             Bytes({255, 250, 44, 112, 3, 255, 240});
    codec.Feed(reinterpret_cast<const std::uint8_t*>(wire.data()), wire.size(), out);
    EXPECT_EQ(out.Data, "oldnew");
    ASSERT_EQ(out.Controls.size(), 2u);
    EXPECT_EQ(out.DataBefore, (std::vector<std::size_t>{3, 6}));
}

} // namespace

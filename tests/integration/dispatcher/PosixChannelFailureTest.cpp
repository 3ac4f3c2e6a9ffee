#include "ChannelOnPty.h"

#include <vector>

using namespace std::chrono_literals;

TEST_F(ChannelOnPty, MissingDeviceCannotBeOpened) {
    UsePort(channel, 7);
    EXPECT_EQ(Thrown([&] { channel.Open(); }), "EOpenPort: Cannot open COM7!");
    EXPECT_FALSE(channel.GetActive());
}

TEST_F(ChannelOnPty, PortHeldByAnotherOpenCannotBeOpened) {
    channel.Open();
    TCommDispatcher other;
    UsePort(other, 3);
    EXPECT_EQ(Thrown([&] { other.Open(); }), "EOpenPort: Cannot open COM3!");
    EXPECT_FALSE(other.GetActive());

    channel.Close(); // releases the port
    other.Open();
    EXPECT_TRUE(other.GetActive());
}

TEST_F(ChannelOnPty, SpeedWithoutTermiosConstantIsASetupFailure) {
    channel.SetBaudRate(12345);
    EXPECT_EQ(Thrown([&] { channel.Open(); }), "ESetupPort: Cannot setup COM3!");
    EXPECT_FALSE(channel.GetActive());

    channel.SetBaudRate(9600); // the failed open released the port
    channel.Open();
    EXPECT_TRUE(channel.GetActive());
}

TEST_F(ChannelOnPty, VanishedDeviceFailsEveryOperation) {
    channel.Open();
    pty.CloseMaster();
    char ch;
    EXPECT_EQ(Thrown([&] { channel.ReadChar(ch); }), "EReadPort: COM3 read error!");
    EXPECT_EQ(Thrown([&] { channel.WaitForInput(50); }), "EReadPort: COM3 read error!");
    EXPECT_EQ(Thrown([&] { channel.WriteStr("#01R0*33\r"); }), "EWritePort: COM3 write error!");
    EXPECT_EQ(Thrown([&] { channel.Purge(); }), "ECommError: COM3 unexpected error!");
    EXPECT_FALSE(channel.GetActive()); // a device that is gone closes the port

    EXPECT_EQ(Thrown([&] { channel.Open(); }), "EOpenPort: Cannot open COM3!");
    EXPECT_FALSE(channel.GetActive());
}

TEST_F(ChannelOnPty, WriteThatCannotCompleteFailsAfterTheWriteTimeout) {
    channel.Open();
    // Nobody reads the far side: the queues fill and the write stalls.
    const std::vector<char> block(1 << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(
        Thrown([&] { channel.WriteBuf(block.data(), static_cast<std::int32_t>(block.size())); }),
        "EWritePort: COM3 write error!");
    EXPECT_GE(MsSince(start), 190ms);
    EXPECT_LT(MsSince(start), 1500ms);
}

TEST_F(ChannelOnPty, ClosedChannelOperationsThrowTheirUsualClasses) {
    UsePort(channel, 1);
    char ch;
    EXPECT_EQ(Thrown([&] { channel.Purge(); }), "ECommError: COM1 unexpected error!");
    EXPECT_EQ(Thrown([&] { channel.ReadChar(ch); }), "EReadPort: COM1 read error!");
    EXPECT_EQ(Thrown([&] { channel.WriteStr("x"); }), "EWritePort: COM1 write error!");
}

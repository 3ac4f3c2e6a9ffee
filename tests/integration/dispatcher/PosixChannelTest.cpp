#include "ChannelOnPty.h"

#include <thread>

using namespace std::chrono_literals;

class ChannelSpeedTest : public ChannelOnPty,
                         public ::testing::WithParamInterface<std::pair<int, speed_t>> {};

TEST_P(ChannelSpeedTest, FarSideSeesRaw8N1AtTheSetSpeed) {
    const auto [baudRate, constant] = GetParam();
    channel.SetBaudRate(baudRate);
    channel.Open();
    ASSERT_TRUE(channel.GetActive());

    const termios tio = pty.LineSettings();
    EXPECT_EQ(cfgetospeed(&tio), constant);
    EXPECT_EQ(cfgetispeed(&tio), constant);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 1);
    EXPECT_EQ(tio.c_cc[VTIME], 0);
}

INSTANTIATE_TEST_SUITE_P(Speeds, ChannelSpeedTest,
                         ::testing::Values(std::pair{300, speed_t{B300}},
                                           std::pair{9600, speed_t{B9600}},
                                           std::pair{115200, speed_t{B115200}}),
                         [](const auto& info) { return std::to_string(info.param.first); });

TEST_F(ChannelOnPty, ReopeningAppliesTheNewSpeed) {
    channel.Open();
    channel.SetBaudRate(300);
    EXPECT_FALSE(channel.GetActive());
    channel.Open();
    EXPECT_EQ(pty.Speed(), speed_t{B300});
    channel.Open(); // on an open channel: closes and opens again
    EXPECT_TRUE(channel.GetActive());
    EXPECT_EQ(pty.Speed(), speed_t{B300});
}

// A speed change in place keeps the descriptor and with it the lock: no other program can take
// the port in between, and what has arrived stays. A speed the system cannot set closes the
// port, which then counts as lost.
TEST_F(ChannelOnPty, ReconfiguringInPlaceKeepsTheLockAndThePendingInput) {
    channel.Open();
    pty.Send("#A07E");
    channel.Reconfigure(300);
    EXPECT_TRUE(channel.GetActive());
    EXPECT_EQ(pty.Speed(), speed_t{B300});
    TCommDispatcher other;
    UsePort(other, 3);
    EXPECT_EQ(Thrown([&] { other.Open(); }), "EOpenPort: Cannot open COM3!");
    ASSERT_TRUE(channel.WaitForInput(1000));
    char buffer[5] = {};
    EXPECT_TRUE(channel.ReadBuf(buffer, 5));
    EXPECT_EQ(std::string(buffer, 5), "#A07E");

    channel.Reconfigure(9600);
    EXPECT_EQ(pty.Speed(), speed_t{B9600});
    EXPECT_EQ(Thrown([&] { other.Open(); }), "EOpenPort: Cannot open COM3!");

    EXPECT_EQ(Thrown([&] { channel.Reconfigure(12345); }), "ESetupPort: Cannot setup COM3!");
    EXPECT_FALSE(channel.GetActive());
    EXPECT_TRUE(channel.PortLost());
    EXPECT_NE(channel.LastFailureCause().find("12345 baud"), std::string::npos)
        << channel.LastFailureCause();
    other.Open(); // released with the port
}

TEST_F(ChannelOnPty, BytesPassUnchangedBothWays) {
    channel.Open();
    // Null bytes, XON/XOFF, CR and LF and 8-bit values are plain data on this line.
    const std::string bytes("#\0\x11\x13\r\n\xff", 7);
    pty.Send(bytes);
    ASSERT_TRUE(channel.WaitForInput(1000));
    char buffer[7] = {};
    EXPECT_TRUE(channel.ReadBuf(buffer, 7));
    EXPECT_EQ(std::string(buffer, 7), bytes);

    channel.WriteStr(bytes);
    EXPECT_EQ(pty.Receive(), bytes);
}

TEST_F(ChannelOnPty, PurgeDiscardsPendingInput) {
    channel.Open();
    pty.Send("stale reply\r");
    ASSERT_TRUE(channel.WaitForInput(1000));
    channel.Purge();
    char ch;
    EXPECT_FALSE(channel.ReadChar(ch));
}

TEST_F(ChannelOnPty, PartialReadBufDeliversWhatCame) {
    channel.Open();
    pty.Send("ab");
    ASSERT_TRUE(channel.WaitForInput(1000));
    std::this_thread::sleep_for(20ms); // both bytes are in
    char buffer[4] = {};
    EXPECT_FALSE(channel.ReadBuf(buffer, 4));
    EXPECT_EQ(std::string(buffer, 2), "ab");
    char ch;
    EXPECT_FALSE(channel.ReadChar(ch));
}

TEST_F(ChannelOnPty, ReadCharWithNothingWaitingReturnsAtOnce) {
    channel.Open();
    const auto start = std::chrono::steady_clock::now();
    char ch;
    EXPECT_FALSE(channel.ReadChar(ch));
    EXPECT_LT(MsSince(start), 50ms);
}

TEST_F(ChannelOnPty, WaitForInputTimesOutOrWakesOnTheFirstByte) {
    channel.Open();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(channel.WaitForInput(60));
    EXPECT_GE(MsSince(start), 55ms);

    start = std::chrono::steady_clock::now();
    std::thread sender([&] {
        std::this_thread::sleep_for(30ms);
        pty.Send("A");
    });
    const bool arrived = channel.WaitForInput(5000);
    sender.join();
    EXPECT_TRUE(arrived);
    EXPECT_LT(MsSince(start), 2000ms);
    char ch = 0;
    EXPECT_TRUE(channel.ReadChar(ch));
    EXPECT_EQ(ch, 'A');
}

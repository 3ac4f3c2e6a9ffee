#include "ChannelFixture.h"

TEST_F(ChannelTest, NewChannelIsClosedWithDefaultsAndTouchesNothing) {
    EXPECT_FALSE(channel.GetActive());
    EXPECT_EQ(channel.GetPort(), 1);
    EXPECT_EQ(channel.GetBaudRate(), 9600);
    EXPECT_FALSE(channel.GetSlowLink());
    EXPECT_TRUE(line->Calls.empty());
}

TEST_F(ChannelTest, OpenAppliesPortSpeedAndWriteTimeout) {
    channel.SetPort(3);
    channel.SetBaudRate(300);
    channel.Open();
    EXPECT_TRUE(channel.GetActive());
    EXPECT_EQ(TakeCalls(), (Calls{OpenOf(3), "Configure(300,200)"}));
}

TEST_F(ChannelTest, OpenOnOpenChannelReopensWithCurrentSettings) {
    channel.Open();
    TakeCalls();
    channel.SetSlowLink(true);
    channel.Open();
    EXPECT_TRUE(channel.GetActive());
    EXPECT_EQ(TakeCalls(), (Calls{"Close", OpenOf(1), "Configure(9600,2000)"}));
}

TEST_F(ChannelTest, SlowLinkTakesEffectOnlyAtTheNextOpen) {
    channel.Open();
    TakeCalls();
    channel.SetSlowLink(true);
    EXPECT_TRUE(channel.GetActive());
    EXPECT_TRUE(TakeCalls().empty());
    EXPECT_EQ(line->Settings->WriteTimeoutMs, 200u);

    channel.Open();
    EXPECT_EQ(line->Settings->WriteTimeoutMs, 2000u);
    channel.SetSlowLink(false);
    channel.Open();
    EXPECT_EQ(line->Settings->WriteTimeoutMs, 200u);
}

struct SetterCase {
    const char* name;
    void (*set)(TCommDispatcher&, std::int32_t);
    std::int32_t value;
    bool staysOpen;
    Calls nextOpen; // what the next Open does
};

class ChannelSetterTest : public ChannelTest, public ::testing::WithParamInterface<SetterCase> {};

TEST_P(ChannelSetterTest, ClosesOnlyOnChangeAndNeverReopens) {
    const SetterCase& c = GetParam();
    channel.SetPort(2);
    channel.Open();
    TakeCalls();

    c.set(channel, c.value);
    EXPECT_EQ(channel.GetActive(), c.staysOpen);
    EXPECT_EQ(TakeCalls(), c.staysOpen ? Calls{} : Calls{"Close"});

    channel.Open();
    EXPECT_EQ(TakeCalls(), c.nextOpen);
}

void SetPort(TCommDispatcher& ch, std::int32_t v) {
    ch.SetPort(v);
}
void SetBaudRate(TCommDispatcher& ch, std::int32_t v) {
    ch.SetBaudRate(v);
}

INSTANTIATE_TEST_SUITE_P(
    Setters, ChannelSetterTest,
    ::testing::Values(
        SetterCase{"PortSame", SetPort, 2, true, {"Close", OpenOf(2), "Configure(9600,200)"}},
        SetterCase{"PortOther", SetPort, 4, false, {OpenOf(4), "Configure(9600,200)"}},
        SetterCase{
            "SpeedSame", SetBaudRate, 9600, true, {"Close", OpenOf(2), "Configure(9600,200)"}},
        SetterCase{"SpeedOther", SetBaudRate, 300, false, {OpenOf(2), "Configure(300,200)"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChannelTest, SetPortOnClosedChannelStoresAndNextOpenUsesIt) {
    channel.SetPort(4);
    EXPECT_TRUE(TakeCalls().empty());
    channel.Open();
    EXPECT_EQ(line->OpenedDevice, PortDevicePath(4));
}

TEST_F(ChannelTest, SetActiveOpensAndClosesOnlyOnChange) {
    channel.SetActive(false);
    EXPECT_TRUE(TakeCalls().empty());

    channel.SetActive(true);
    EXPECT_TRUE(channel.GetActive());
    EXPECT_EQ(TakeCalls(), (Calls{OpenOf(1), "Configure(9600,200)"}));

    channel.SetActive(true);
    EXPECT_TRUE(TakeCalls().empty());

    channel.SetActive(false);
    EXPECT_FALSE(channel.GetActive());
    EXPECT_EQ(TakeCalls(), (Calls{"Close"}));
}

TEST_F(ChannelTest, DestroyingAnOpenChannelClosesThePort) {
    auto shared = std::make_shared<TFakeSerialLine>();
    {
        TCommDispatcher ch(std::make_unique<TFakeSerialBackend>(shared));
        ch.Open();
    }
    EXPECT_FALSE(shared->Open);
    EXPECT_EQ(shared->Calls.back(), "Close");
}

// Tests put a fake line in place of any device, a device server's included.
TEST_F(ChannelTest, AnInjectedBackendOpensDeviceServerNamesToo) {
    channel.SetPort(2);
    channel.SetDevice("rfc2217://meters.example:4001");
    channel.Open();
    EXPECT_EQ(line->OpenedDevice, "rfc2217://meters.example:4001");
    EXPECT_EQ(channel.LastFailureCause(), "");
}

// A speed change on an open port goes to the open port: no close, no open, the write time-out
// of the moment with it. A closed port only keeps the speed. A refused change releases the
// port, which counts as lost, with the reason kept.
TEST_F(ChannelTest, ReconfigureChangesAnOpenPortInPlace) {
    channel.Reconfigure(4800);
    EXPECT_TRUE(TakeCalls().empty());
    channel.Open();
    EXPECT_EQ(TakeCalls(), (Calls{OpenOf(1), "Configure(4800,200)"}));

    channel.SetSlowLink(true);
    channel.Reconfigure(300);
    EXPECT_EQ(TakeCalls(), (Calls{"Configure(300,2000)"}));
    EXPECT_TRUE(channel.GetActive());
    EXPECT_EQ(channel.GetBaudRate(), 300);

    line->FailConfigure = true;
    line->Cause = "rfc2217://meters.example:4001: the server did not accept the speed";
    try {
        channel.Reconfigure(1200);
        ADD_FAILURE() << "accepted";
    } catch (const ESetupPort& e) {
        EXPECT_EQ(e.Message(), "Cannot setup COM1!");
    }
    EXPECT_EQ(TakeCalls(), (Calls{"Configure(1200,2000)", "Close"}));
    EXPECT_TRUE(channel.PortLost());
    EXPECT_EQ(channel.LastFailureCause(), line->Cause);
}

#include "ChannelFixture.h"

#include <functional>

namespace {

struct FailureCase {
    const char* name;
    std::function<void(TFakeSerialLine&)> breakLine;
    std::function<void(TCommDispatcher&)> operation;
    const TExceptionClass* cls;
    const char* message;
    bool openAfterwards;
};

char ch;
char buffer[4];

const FailureCase kFailures[] = {
    {"OpenRefused", [](auto& l) { l.FailOpen = true; }, [](auto& c) { c.Open(); },
     &EOpenPort::ClassType, "Cannot open COM7!", false},
    {"SetupRefused", [](auto& l) { l.FailConfigure = true; }, [](auto& c) { c.Open(); },
     &ESetupPort::ClassType, "Cannot setup COM7!", false},
    {"PurgeFails", [](auto& l) { l.FailPurge = true; }, [](auto& c) { c.Purge(); },
     &ECommError::ClassType, "COM7 unexpected error!", true},
    {"ReadCharFails", [](auto& l) { l.FailRead = true; }, [](auto& c) { c.ReadChar(ch); },
     &EReadPort::ClassType, "COM7 read error!", true},
    {"ReadBufFails", [](auto& l) { l.FailRead = true; }, [](auto& c) { c.ReadBuf(buffer, 4); },
     &EReadPort::ClassType, "COM7 read error!", true},
    {"WaitFails", [](auto& l) { l.FailWait = true; }, [](auto& c) { c.WaitForInput(10); },
     &EReadPort::ClassType, "COM7 read error!", true},
    {"WriteFails", [](auto& l) { l.FailWrite = true; }, [](auto& c) { c.WriteStr("#01R0*33\r"); },
     &EWritePort::ClassType, "COM7 write error!", true},
    {"WriteCutShort", [](auto& l) { l.WriteLimit = 3; }, [](auto& c) { c.WriteStr("#01R0*33\r"); },
     &EWritePort::ClassType, "COM7 write error!", true},
    {"NegativeReadCount", [](auto&) {}, [](auto& c) { c.ReadBuf(buffer, -1); },
     &EReadPort::ClassType, "COM7 read error!", true},
    {"NegativeWriteCount", [](auto&) {}, [](auto& c) { c.WriteBuf(buffer, -1); },
     &EWritePort::ClassType, "COM7 write error!", true},
};

class ChannelFailureTest : public ChannelTest, public ::testing::WithParamInterface<FailureCase> {};

// Runs the operation and returns the class and message of what it threw.
std::pair<const TExceptionClass*, std::string> Failure(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const Exception& e) {
        return {&e.ClassInfo(), e.Message()};
    }
    return {nullptr, "nothing thrown"};
}

} // namespace

TEST_P(ChannelFailureTest, ThrowsExactClassWithPortInMessage) {
    const FailureCase& c = GetParam();
    channel.SetPort(7);
    channel.Open();
    c.breakLine(*line);

    const auto [cls, message] = Failure([&] { c.operation(channel); });
    ASSERT_NE(cls, nullptr) << message;
    EXPECT_STREQ(cls->Name, c.cls->Name);
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(channel.GetActive(), c.openAfterwards);
}

INSTANTIATE_TEST_SUITE_P(Failures, ChannelFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ChannelTest, FailedOpenOfAnOpenChannelLeavesItClosed) {
    channel.Open();
    line->FailConfigure = true;
    EXPECT_THROW(channel.Open(), ESetupPort);
    EXPECT_FALSE(channel.GetActive());
    EXPECT_EQ(line->Calls.back(), "Close");
}

TEST_F(ChannelTest, AnyExceptionDuringOpenClosesAndPassesThrough) {
    line->ThrowOnConfigure = true;
    EXPECT_THROW(
        {
            try {
                channel.Open();
            } catch (const std::runtime_error& e) {
                EXPECT_STREQ(e.what(), "configure");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_FALSE(channel.GetActive());
}

TEST_F(ChannelTest, ClosedChannelOperationsThrowTheirUsualClasses) {
    struct {
        const char* name;
        std::function<void()> operation;
        const TExceptionClass* cls;
        const char* message;
    } const cases[] = {
        {"Purge", [&] { channel.Purge(); }, &ECommError::ClassType, "COM1 unexpected error!"},
        {"ReadChar", [&] { channel.ReadChar(ch); }, &EReadPort::ClassType, "COM1 read error!"},
        {"ReadBuf", [&] { channel.ReadBuf(buffer, 4); }, &EReadPort::ClassType, "COM1 read error!"},
        {"WriteStr", [&] { channel.WriteStr("x"); }, &EWritePort::ClassType, "COM1 write error!"},
        {"WaitForInput", [&] { channel.WaitForInput(5); }, &EReadPort::ClassType,
         "COM1 read error!"},
    };
    for (const auto& c : cases) {
        const auto [cls, message] = Failure(c.operation);
        ASSERT_NE(cls, nullptr) << c.name;
        EXPECT_STREQ(cls->Name, c.cls->Name) << c.name;
        EXPECT_EQ(message, c.message) << c.name;
    }
    EXPECT_FALSE(channel.GetActive());
}

TEST_F(ChannelTest, EveryPortFailureIsACommError) {
    for (const TExceptionClass* cls : {&EOpenPort::ClassType, &ESetupPort::ClassType,
                                       &EReadPort::ClassType, &EWritePort::ClassType})
        EXPECT_TRUE(cls->InheritsFrom(ECommError::ClassType)) << cls->Name;
    EXPECT_THROW(channel.Error(EOpenPort::ClassType, SOpenPort), ECommError);
}

// A derived channel sees every failure in its Error, with the class that was meant.
TEST(ChannelErrorTest, FailuresLeaveThroughTheVirtualError) {
    struct TRecordingChannel : TCommDispatcher {
        using TCommDispatcher::TCommDispatcher;
        void Error(const TExceptionClass& cls, const std::string& text) override {
            seen.push_back(cls.Name);
            TCommDispatcher::Error(cls, text);
        }
        std::vector<std::string> seen;
    };
    auto line = std::make_shared<TFakeSerialLine>();
    TRecordingChannel channel(std::make_unique<TFakeSerialBackend>(line));
    line->FailOpen = true;
    EXPECT_THROW(channel.Open(), EOpenPort);
    EXPECT_THROW(channel.Purge(), ECommError);
    EXPECT_EQ(channel.seen, (std::vector<std::string>{"EOpenPort", "ECommError"}));
}

TEST(ChannelDefaultMessageTest, BuiltInTextIsUsedUntilEnglishIsAssigned) {
    auto line = std::make_shared<TFakeSerialLine>();
    TCommDispatcher channel(std::make_unique<TFakeSerialBackend>(line));
    channel.SetPort(7);
    line->FailOpen = true;
    try {
        channel.Open();
        FAIL() << "Open did not throw";
    } catch (const EOpenPort& e) {
        EXPECT_EQ(e.Message(), "Грешка при отваряне на COM7!");
    }
}

#include "ChannelFixture.h"

#include <string>

TEST_F(ChannelTest, ReadBufIsTrueOnlyWhenEveryByteCame) {
    channel.Open();
    line->Input = "abcdef";
    char buffer[4] = {};
    EXPECT_TRUE(channel.ReadBuf(buffer, 4));
    EXPECT_EQ(std::string(buffer, 4), "abcd");

    // Two of four: false, but the two are delivered and gone from the queue.
    EXPECT_FALSE(channel.ReadBuf(buffer, 4));
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_TRUE(line->Input.empty());
}

TEST_F(ChannelTest, EmptyWriteStrSucceedsWithoutWriting) {
    channel.Open();
    TakeCalls();
    channel.WriteStr("");
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(ChannelTest, WaitForInputReportsWhetherBytesWait) {
    channel.Open();
    EXPECT_FALSE(channel.WaitForInput(10));
    line->Input = "A";
    EXPECT_TRUE(channel.WaitForInput(10));
    EXPECT_EQ(line->Input, "A"); // nothing consumed
}

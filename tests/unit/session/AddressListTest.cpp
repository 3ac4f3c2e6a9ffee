#include "app/AddressList.h"

#include <gtest/gtest.h>

namespace {

using TAddrs = std::vector<TKestroAddr>;

TEST(AddressList, TakesNumbersAndRangesInTheOrderWrittenEachOnce) {
    EXPECT_EQ(ParseAddressList("5"), (TAddrs{5}));
    EXPECT_EQ(ParseAddressList("05,00,99"), (TAddrs{5, 0, 99}));
    EXPECT_EQ(ParseAddressList("12,1-3,2,15"), (TAddrs{12, 1, 2, 3, 15}));
    EXPECT_EQ(ParseAddressList("7-7"), (TAddrs{7}));
    EXPECT_EQ(ParseAddressList("0-99").size(), 100u);
}

TEST(AddressList, RefusesWhatIsNoAddressWithAMessageThatNamesIt) {
    for (const char* text : {"", "100", "1-100", "005", "-3", "3-", "3-1", "1,,2", "1,", ",1", " 5",
                             "5 ", "a", "1-2-3", "+5", "0x5", "5;6"}) {
        try {
            ParseAddressList(text);
            ADD_FAILURE() << "accepted \"" << text << "\"";
        } catch (const EAddressList& error) {
            EXPECT_NE(error.Message().find(std::string("\"") + text + "\""), std::string::npos)
                << error.Message();
        }
    }
}

} // namespace

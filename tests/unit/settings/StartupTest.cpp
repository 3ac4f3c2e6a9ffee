#include "app/uGlobals.h"
#include "comm/uCommDispatcher.h"
#include "comm/uCommKestro.h"
#include "runtime/FormatSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

TEST(SetEnglishMessages, AssignsEveryText) {
    const std::vector<std::pair<std::string*, std::string>> texts{
        {&SCommError, "COM%d unexpected error!"},
        {&SOpenPort, "Cannot open COM%d!"},
        {&SSetupPort, "Cannot setup COM%d!"},
        {&SReadPort, "COM%d read error!"},
        {&SWritePort, "COM%d write error!"},
        {&SAddrAll, "all"},
        {&SKestroBadChecksum, "Bad packet checksum"},
        {&SKestroBadPacket, "Bad packet format"},
        {&SKestroBadKestroId, "Packet with wrong network address"},
        {&SKestroTimeout, "Timeout"},
        {&SKestroUnknownError, "Received unknown error code: \"%s\""},
        {&SKestroDataDiff, "Different data in responce! Data not written."},
        {&SKestroReadError, "%s return: %s"},
        {&SKsRdBadChecksum, "Bad checksum in request!"},
        {&SKsRdUnknownCommand, "Unknown command: %s!"},
        {&SKsRdDataFmtError, "Data format error!"},
        {&SKsRdWriteProtect, "Device is not enabled for config!"},
    };
    for (const auto& [variable, english] : texts)
        variable->clear();
    SetEnglishMessages();
    for (const auto& [variable, english] : texts)
        EXPECT_EQ(*variable, english);
}

TEST(InitGlobals, FixesRegionalSettingsAndMessages) {
    FormatSettings = TFormatSettings{};
    FormatSettings.ShortDateFormat = "M/d/yyyy";
    FormatSettings.DateSeparator = '/';
    FormatSettings.TimeSeparator = '.';
    FormatSettings.ThousandSeparator = ',';
    FormatSettings.DecimalSeparator = ',';
    FormatSettings.LongMonthNames.fill("Januar");
    FormatSettings.ShortDayNames.fill("Mo");
    SOpenPort = "other";

    InitGlobals();

    EXPECT_EQ(FormatSettings.ShortDateFormat, "dd.MM.yyyy");
    EXPECT_EQ(FormatSettings.DateSeparator, '.');
    EXPECT_EQ(FormatSettings.TimeSeparator, ':');
    EXPECT_EQ(FormatSettings.ThousandSeparator, '\0');
    EXPECT_EQ(FormatSettings.DecimalSeparator, '.');
    EXPECT_EQ(FormatSettings.ShortMonthNames.front(), "Jan");
    EXPECT_EQ(FormatSettings.ShortMonthNames.back(), "Dec");
    EXPECT_EQ(FormatSettings.LongMonthNames.front(), "January");
    EXPECT_EQ(FormatSettings.LongMonthNames[8], "September");
    EXPECT_EQ(FormatSettings.ShortDayNames.front(), "Sun");
    EXPECT_EQ(FormatSettings.LongDayNames.back(), "Saturday");
    EXPECT_EQ(SOpenPort, "Cannot open COM%d!");
}

} // namespace

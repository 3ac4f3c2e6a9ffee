#pragma once

#include "comm/uCommDispatcher.h"
#include "comm/uCommKestro.h"

#include <array>
#include <string>

namespace kestro_test {

// Assigns the English message texts for the lifetime of the object and puts the previous texts
// back afterwards, so that tests sharing one process do not depend on their order.
class TEnglishTexts {
public:
    TEnglishTexts() {
        for (std::size_t i = 0; i < FVars.size(); ++i) {
            FSaved[i] = *FVars[i];
            *FVars[i] = English[i];
        }
    }
    ~TEnglishTexts() {
        for (std::size_t i = 0; i < FVars.size(); ++i)
            *FVars[i] = FSaved[i];
    }
    TEnglishTexts(const TEnglishTexts&) = delete;
    TEnglishTexts& operator=(const TEnglishTexts&) = delete;

private:
    static constexpr std::array<const char*, 17> English{
        "COM%d unexpected error!",
        "Cannot open COM%d!",
        "Cannot setup COM%d!",
        "COM%d read error!",
        "COM%d write error!",
        "all",
        "Bad packet checksum",
        "Bad packet format",
        "Packet with wrong network address",
        "Timeout",
        "Received unknown error code: \"%s\"",
        "Different data in responce! Data not written.",
        "%s return: %s",
        "Bad checksum in request!",
        "Unknown command: %s!",
        "Data format error!",
        "Device is not enabled for config!",
    };
    std::array<std::string*, 17> FVars{
        &SCommError,         &SOpenPort,        &SSetupPort,          &SReadPort,
        &SWritePort,         &SAddrAll,         &SKestroBadChecksum,  &SKestroBadPacket,
        &SKestroBadKestroId, &SKestroTimeout,   &SKestroUnknownError, &SKestroDataDiff,
        &SKestroReadError,   &SKsRdBadChecksum, &SKsRdUnknownCommand, &SKsRdDataFmtError,
        &SKsRdWriteProtect,
    };
    std::array<std::string, 17> FSaved;
};

} // namespace kestro_test

#include "EnglishTexts.h"
#include "FakeMeterLine.h"
#include "Raises.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kestro_test;

namespace {

class PacketTest : public ::testing::Test {
protected:
    TEnglishTexts English;
    TEngineRig Rig;
    TCommKestro& Engine = *Rig.Engine;
};

// The packet's fields are plain values here: GCC 12 at -O3 falsely reports a std::string member
// built inside an initializer list as maybe-uninitialized.
struct TEncodeCase {
    char Cmd;
    int Addr;
    char Code;
    const char* Data;
    std::vector<unsigned char> Bytes; // the whole frame on the line
};

TEST_F(PacketTest, EncodesRequestFramesByteForByte) {
    const std::vector<TEncodeCase> cases{
        {'R', 5, 'E', "", {0x23, 0x52, 0x30, 0x35, 0x45, 0x2A, 0x31, 0x32, 0x0D}},
        {'R', 8, 'E', "", {0x23, 0x52, 0x30, 0x38, 0x45, 0x2A, 0x31, 0x46, 0x0D}},
        {'R', 5, 'C', "", {0x23, 0x52, 0x30, 0x35, 0x43, 0x2A, 0x31, 0x34, 0x0D}},
        {'W',
         255,
         'k',
         "01",
         {0x23, 0x57, 0x3F, 0x3F, 0x6B, 0x2C, 0x30, 0x31, 0x2A, 0x31, 0x31, 0x0D}},
        {'W',
         255,
         'k',
         "00",
         {0x23, 0x57, 0x3F, 0x3F, 0x6B, 0x2C, 0x30, 0x30, 0x2A, 0x31, 0x30, 0x0D}},
        {'W', 5, 'C', "143005,070324", {0x23, 0x57, 0x30, 0x35, 0x43, 0x2C, 0x31, 0x34,
                                        0x33, 0x30, 0x30, 0x35, 0x2C, 0x30, 0x37, 0x30,
                                        0x33, 0x32, 0x34, 0x2A, 0x31, 0x30, 0x0D}},
    };
    for (const TEncodeCase& c : cases) {
        const TKestroPacket packet{c.Cmd, static_cast<TKestroAddr>(c.Addr), c.Code, c.Data};
        const std::string frame = "#" + Engine.EncodePacket(packet) + "\r";
        EXPECT_EQ(std::vector<unsigned char>(frame.begin(), frame.end()), c.Bytes)
            << c.Cmd << c.Addr << c.Code << "," << c.Data;
    }
}

TEST_F(PacketTest, WritesEveryAddressFrom100AsQuestionMarks) {
    for (int addr : {100, 200, 254, 255})
        EXPECT_EQ(Engine.EncodePacket({'R', TKestroAddr(addr), 'E', ""}).substr(0, 4), "R??E");
    EXPECT_EQ(Engine.EncodePacket({'R', 7, 'E', ""}).substr(0, 4), "R07E");
    EXPECT_EQ(Engine.EncodePacket({'R', 0, 'E', ""}), "R00E*17");
}

struct TDecodeCase {
    std::string Text;
    TKestroPacket Expected;
};

TEST_F(PacketTest, DecodesValidReplies) {
    using namespace std::string_literals;
    const std::vector<TDecodeCase> cases{
        {"A05E*01", {'A', 5, 'E', ""}},
        {"A08E*0C", {'A', 8, 'E', ""}},
        {"A08E*0c", {'A', 8, 'E', ""}},
        // only the comma at position 5 separates; later commas belong to the data
        {"A05C,143005,070324*06", {'A', 5, 'C', "143005,070324"}},
        {"A05E,*2D", {'A', 5, 'E', ""}},    // comma and nothing after it
        {"A05C1234*03", {'A', 5, 'C', ""}}, // no comma: the rest is ignored
        // blanks and control bytes around the text are trimmed, inside they are data
        {" \t\n\0A05E*01\0 \n"s, {'A', 5, 'E', ""}},
        {"A05E, x\t*7C", {'A', 5, 'E', " x\t"}},
        {"A 1E*15", {'A', 1, 'E', ""}}, // a leading blank before the digit is skipped
        {"A99k,00*06", {'A', 99, 'k', "00"}},
    };
    for (const TDecodeCase& c : cases) {
        TKestroPacket packet{'x', 1, 'y', "old"};
        ASSERT_NO_THROW(Engine.DecodePacket(c.Text, packet)) << c.Text;
        EXPECT_EQ(packet, c.Expected) << c.Text;
    }
}

struct TRejectCase {
    std::string Text;
    const TExceptionClass* Class;
    std::string Message;
};

// The request went to meter 7: errors the engine finds are named after it, errors the meter
// reports after the address in the reply.
TEST_F(PacketTest, RejectsRepliesWithTheFirstFailingCheck) {
    using namespace std::string_literals;
    Engine.Request.Addr = 7;
    const std::string badPacket = "[Kestro #07] Bad packet format";
    const std::string badSum = "[Kestro #07] Bad packet checksum";
    const std::string badId = "[Kestro #07] Packet with wrong network address";
    const std::vector<TRejectCase> cases{
        {"", &EKestroBadPacket::ClassType, badPacket},
        {"A05E*0", &EKestroBadPacket::ClassType, badPacket},
        {"  X5E*0 \r", &EKestroBadPacket::ClassType, badPacket}, // six after trimming
        {"B05E*01", &EKestroBadPacket::ClassType, badPacket},
        {"a05E*21", &EKestroBadPacket::ClassType, badPacket},
        {"A05E+01", &EKestroBadPacket::ClassType, badPacket},
        {"A05E*0G", &EKestroBadPacket::ClassType, badPacket},
        {"A05E* 1", &EKestroBadPacket::ClassType, badPacket},
        {"A05E*02", &EKestroBadChecksum::ClassType, badSum},
        {"A??E*00", &EKestroBadChecksum::ClassType, badSum}, // checksum before address
        {"A??E*04", &EKestroBadKestroId::ClassType, badId},
        {"A-1E*18", &EKestroBadKestroId::ClassType, badId},
        {"A1xE*4D", &EKestroBadKestroId::ClassType, badId},
        {"E??P*15", &EKestroBadKestroId::ClassType, badId}, // address before error letter
        {"E05P*10", &EKsRdWriteProtect::ClassType,
         "Kestro #05 return: Device is not enabled for config!"},
        {"E05C*03", &EKsRdUnknownCommand::ClassType, "Kestro #05 return: Unknown command: C!"},
        {"E05D*04", &EKsRdDataFmtError::ClassType, "Kestro #05 return: Data format error!"},
        {"E05S*13", &EKsRdBadChecksum::ClassType, "Kestro #05 return: Bad checksum in request!"},
        {"E05X*18", &EKestroUnknownError::ClassType,
         "[Kestro #07] Received unknown error code: \"X\""},
        {"E05\0*40"s, &EKestroUnknownError::ClassType,
         "[Kestro #07] Received unknown error code: \"0x00\""},
        {"E05\x01*41", &EKestroUnknownError::ClassType,
         "[Kestro #07] Received unknown error code: \"0x01\""},
        {"E05\xC8*88", &EKestroUnknownError::ClassType,
         "[Kestro #07] Received unknown error code: \"0xC8\""},
    };
    for (const TRejectCase& c : cases) {
        TKestroPacket packet;
        EXPECT_TRUE(Raises([&] { Engine.DecodePacket(c.Text, packet); }, *c.Class, c.Message))
            << "reply text: " << c.Text;
    }
}

TEST_F(PacketTest, NamesAddressesForMessages) {
    EXPECT_EQ(TCommKestro::AddrName(0), "Kestro #00");
    EXPECT_EQ(TCommKestro::AddrName(5), "Kestro #05");
    EXPECT_EQ(TCommKestro::AddrName(99), "Kestro #99");
    EXPECT_EQ(TCommKestro::AddrName(100), "all");
    EXPECT_EQ(TCommKestro::AddrName(255), "all");
}

TEST_F(PacketTest, AssignedReadErrorFrameWithWrongPlaceholdersRaisesConversionError) {
    SKestroReadError = "%d return: %s";
    TKestroPacket packet;
    try {
        Engine.DecodePacket("E05P*10", packet);
        FAIL() << "nothing raised";
    } catch (const EConvertError&) {
    }
}

TEST(KestroExceptionTree, EveryClassIsACommErrorAndOnlyMeterErrorsAreReadErrors) {
    struct TMember {
        const TExceptionClass* Class;
        bool ReadError;
    };
    const std::vector<TMember> tree{
        {&EKestroError::ClassType, false},     {&EKestroBadChecksum::ClassType, false},
        {&EKestroBadPacket::ClassType, false}, {&EKestroBadKestroId::ClassType, false},
        {&EKestroTimeout::ClassType, false},   {&EKestroUnknownError::ClassType, false},
        {&EKestroDataDiff::ClassType, false},  {&EKestroReadError::ClassType, true},
        {&EKsRdBadChecksum::ClassType, true},  {&EKsRdUnknownCommand::ClassType, true},
        {&EKsRdDataFmtError::ClassType, true}, {&EKsRdWriteProtect::ClassType, true},
    };
    for (const TMember& m : tree) {
        EXPECT_TRUE(m.Class->InheritsFrom(ECommError::ClassType)) << m.Class->Name;
        EXPECT_EQ(m.Class->InheritsFrom(EKestroReadError::ClassType), m.ReadError) << m.Class->Name;
        // The class description raises an exception of exactly its own class.
        try {
            RaiseException(*m.Class, "text");
        } catch (const ECommError& e) {
            EXPECT_EQ(&e.ClassInfo(), m.Class);
            EXPECT_EQ(e.Message(), "text");
        }
    }
}

TEST(KestroBuiltInTexts, MessagesShowTheBulgarianDefaultsUntilEnglishIsAssigned) {
    TEngineRig rig;
    TKestroPacket packet;
    rig.Engine->Request.Addr = 255;
    EXPECT_TRUE(Raises([&] { rig.Engine->DecodePacket("A05E*02", packet); },
                       EKestroBadChecksum::ClassType,
                       "[обща заявка] Некоректна контролна сума в пакета!"));
    EXPECT_TRUE(Raises([&] { rig.Engine->DecodePacket("E05D*04", packet); },
                       EKsRdDataFmtError::ClassType,
                       "Kestro #05 върна грешка: Грешка в параметрите!"));
}

} // namespace

// kestro run as a user runs it, through a proxy that delays every chunk as a mobile link does
// (round trips of 0, 200 and 1000 ms, each chunk +-20 %), with the default settings (9600 baud,
// 200 ms) and no retries anywhere: to the virtual meter served over RFC 2217 and raw TCP, and
// to pyserial's RFC 2217 server on the same meters' line. Each row is its own test, so that the
// rows run side by side; sync's rows of one round trip run together in one test.
#include "NetworkRig.h"

#include "TcpServer.h"
#include "VirtualMeter.h"
#include "tests/integration/cli/KestroProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>
#include <memory>
#include <thread>
#include <tuple>

using namespace network_test;

namespace {

constexpr int BusMeter = 5;
constexpr int OptoMeter = 7;
constexpr double Jitter = 0.2;

enum class TServer { VirtualRfc2217, VirtualRaw, Pyserial };
enum class TOperation { Echo, Read, Write, Optohead };

std::string RowName(const ::testing::TestParamInfo<std::tuple<int, TServer, TOperation>>& info) {
    const auto [roundTrip, server, operation] = info.param;
    static const char* servers[] = {"VirtualRfc2217", "VirtualRaw", "PyserialRfc2217"};
    static const char* operations[] = {"Echo", "Read", "Write", "Optohead"};
    return "Rtt" + std::to_string(roundTrip) + "_" + servers[static_cast<int>(server)] + "_" +
           operations[static_cast<int>(operation)];
}

vmeter::TOptions MeterOptions() {
    vmeter::TOptions options;
    options.BusMeters = {BusMeter};
    options.OptoMeter = OptoMeter;
    options.Pace = true;
    options.TurnaroundMs = 2;
    options.TurnaroundMaxMs = 20;
    options.Clock.OffsetMs = 1234.5;
    return options;
}

// One row's world: the meters on their line, the server in front of it, the proxy in front of
// that, and a settings file whose COM1 leads to the proxy.
class TRow {
public:
    TRow(int roundTripMs, TServer server) {
        int port = 0;
        if (server == TServer::Pyserial) {
            Pyserial =
                std::make_unique<TPyserialServer>(Meter.DevicePath(), Folder.File("pyserial.log"));
            port = Pyserial->Port();
        } else {
            Server = std::make_unique<vmeter::TTcpServer>(Meter.DevicePath(), "127.0.0.1:0",
                                                          server == TServer::VirtualRfc2217);
            port = Server->Port();
        }
        Proxy = std::make_unique<TDelayProxy>(port, roundTripMs / 2.0, Jitter,
                                              Folder.File("proxy.log"));
        Device = std::string(server == TServer::VirtualRaw ? "socket" : "rfc2217") +
                 "://127.0.0.1:" + std::to_string(Proxy->Port());
        std::ofstream ini(Config);
        ini << "[Congif]\nComPort=1\nBaudRate=9600\nTimeout=200\n[Ports]\nCOM1=" << Device << "\n";
    }

    // kestro with the arguments and --json. Outcome holds what it printed.
    void Run(std::vector<std::string> args) {
        args.insert(args.end(), {"--json", "--config", Config});
        Outcome = RunKestro(args, Folder.Path().string());
    }
    // Its one result line.
    nlohmann::json Result() const {
        const auto lines = Outcome.Lines();
        if (lines.size() != 1) {
            ADD_FAILURE() << "no result line; status " << Outcome.Status << "\n" << Outcome.Err;
            return nlohmann::json::object();
        }
        return nlohmann::json::parse(lines.front());
    }

    // The requests as the meters heard them: frame, "@" and the line speed.
    std::vector<std::string> Frames() const {
        std::vector<std::string> frames;
        for (const vmeter::TLogEntry& entry : Meter.Log())
            frames.push_back(entry.Frame + "@" + std::to_string(entry.BaudRate));
        return frames;
    }

    // The meters' true offset at their clock request `fromEnd` from the last.
    double TrueOffsetMs(std::size_t fromEnd) const {
        std::vector<double> offsets;
        for (const vmeter::TLogEntry& entry : Meter.Log())
            if (entry.ClockOffsetMs)
                offsets.push_back(*entry.ClockOffsetMs);
        if (offsets.size() <= fromEnd) {
            ADD_FAILURE() << "too few clock requests logged";
            return 0;
        }
        return offsets[offsets.size() - 1 - fromEnd];
    }

    TTempFolder Folder;
    std::string Config = Folder.File("settings.ini");
    vmeter::TVirtualMeter Meter{MeterOptions()};
    std::unique_ptr<vmeter::TTcpServer> Server;
    std::unique_ptr<TPyserialServer> Pyserial;
    std::unique_ptr<TDelayProxy> Proxy;
    std::string Device;
    TKestroOutcome Outcome;
};

// The rows run kestro with its children; a sanitizer build runs them far slower than a user
// would, and the network code itself is exercised there by the channel's tests.
bool SanitizerBuild() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#else
    return false;
#endif
}

bool Skipped(TServer server, std::string& why) {
    if (SanitizerBuild())
        why = "the rows with kestro run in the builds without sanitizers";
    else if (server == TServer::Pyserial && !TPyserialServer::Available())
        why = "pyserial's example server is missing (Debian package python3-serial)";
    return !why.empty();
}

// A claim holds when the truth lies within it, with 1 ms for the rounding of what is printed.
::testing::AssertionResult WithinClaim(double offset, double uncertainty, double truth) {
    if (std::fabs(offset - truth) <= uncertainty + 1)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "claimed " << offset << " +- " << uncertainty << " ms, truly " << truth << " ms";
}

class SlowNetwork : public ::testing::TestWithParam<std::tuple<int, TServer, TOperation>> {};

TEST_P(SlowNetwork, WorksWithTheDefaultSettings) {
    const auto [roundTrip, server, operation] = GetParam();
    if (std::string why; Skipped(server, why))
        GTEST_SKIP() << why;
    TRow row(roundTrip, server);
    switch (operation) {
    case TOperation::Echo:
        row.Run({"echo", "--addr", "5"});
        EXPECT_EQ(row.Result().value("answered", -1), BusMeter) << row.Outcome.Out;
        break;
    case TOperation::Read:
        row.Run({"read", "--addr", "5"});
        EXPECT_EQ(row.Frames(), std::vector<std::string>{"#R05C*14\r@9600"});
        break;
    case TOperation::Write:
        row.Run({"write", "--addr", "5", "--time", "12:00:00", "--date", "01.02.2025"});
        EXPECT_EQ(row.Frames(), std::vector<std::string>{"#W05C,120000,010225*16\r@9600"});
        break;
    case TOperation::Optohead:
        row.Run({"echo", "--optohead"});
        if (server == TServer::VirtualRaw) {
            // Raw TCP cannot set the server's speed: refused, with its reason, and nothing
            // went to the meters at the wrong speed.
            EXPECT_EQ(row.Outcome.Status, 3) << row.Outcome.Err;
            EXPECT_EQ(row.Result().value("error", ""), "Cannot setup COM1!") << row.Outcome.Out;
            EXPECT_NE(row.Outcome.Err.find("kestro: cause: " + row.Device +
                                           ": a raw TCP port carries bytes only and cannot "
                                           "change the line's speed from 9600 to 300 baud"),
                      std::string::npos)
                << row.Outcome.Err;
            EXPECT_TRUE(row.Meter.Log().empty());
            return;
        }
        EXPECT_EQ(row.Result().value("answered", -1), OptoMeter) << row.Outcome.Out;
        EXPECT_EQ(row.Frames(), (std::vector<std::string>{"#W??k,01*11\r@300", "#R??E*17\r@300",
                                                          "#W??k,00*10\r@300"}));
        break;
    }
    EXPECT_EQ(row.Outcome.Status, 0) << row.Outcome.Err;
    EXPECT_TRUE(row.Result().value("success", false)) << row.Outcome.Out;
    // One connection for the whole session: a change of speed goes over it.
    EXPECT_EQ(row.Proxy->Connections(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Matrix, SlowNetwork,
    ::testing::Combine(::testing::Values(0, 200, 1000),
                       ::testing::Values(TServer::VirtualRfc2217, TServer::VirtualRaw,
                                         TServer::Pyserial),
                       ::testing::Values(TOperation::Echo, TOperation::Read, TOperation::Write,
                                         TOperation::Optohead)),
    RowName);

// sync reads the meter's clock until its budget is spent when the network keeps the interval
// wide, a minute and more at these round trips: the three servers' rows of one round trip run
// at the same time.
class SlowNetworkSync : public ::testing::TestWithParam<int> {};

TEST_P(SlowNetworkSync, ClaimsContainTheMetersTrueOffset) {
    const int roundTrip = GetParam();
    std::vector<std::unique_ptr<TRow>> rows;
    for (const TServer server : {TServer::VirtualRfc2217, TServer::VirtualRaw, TServer::Pyserial})
        if (std::string why; !Skipped(server, why))
            rows.push_back(std::make_unique<TRow>(roundTrip, server));
    if (rows.empty())
        GTEST_SKIP() << "no server to run on";
    std::vector<std::thread> running;
    for (const auto& row : rows)
        running.emplace_back([&row] { row->Run({"sync", "--addr", "5", "--force"}); });
    for (std::thread& thread : running)
        thread.join();
    for (const auto& row : rows) {
        SCOPED_TRACE(row->Device);
        const nlohmann::json result = row->Result();
        ASSERT_TRUE(result.value("success", false)) << row->Outcome.Out << row->Outcome.Err;
        // The meter's clock before the write and after it: the network's half round trip is
        // what is not known, and the claims must contain the truth all the same.
        const std::vector<vmeter::TLogEntry> log = row->Meter.Log();
        std::size_t afterWrite = 0;
        for (auto it = log.rbegin(); it != log.rend() && it->Frame.rfind("#W", 0) != 0; ++it)
            afterWrite += it->ClockOffsetMs ? 1 : 0;
        EXPECT_TRUE(WithinClaim(result.at("offset_before_ms").get<double>(),
                                result.at("uncertainty_before_ms").get<double>(),
                                row->TrueOffsetMs(afterWrite + 1)));
        EXPECT_TRUE(WithinClaim(result.at("offset_ms").get<double>(),
                                result.at("uncertainty_ms").get<double>(), row->TrueOffsetMs(0)));
        EXPECT_EQ(row->Proxy->Connections(), 1);
        EXPECT_NE(row->Outcome.Err.find("the uncertainty holds the network's half round trip"),
                  std::string::npos)
            << row->Outcome.Err;
    }
}

INSTANTIATE_TEST_SUITE_P(Matrix, SlowNetworkSync, ::testing::Values(0, 200, 1000),
                         [](const auto& info) { return "Rtt" + std::to_string(info.param); });

} // namespace

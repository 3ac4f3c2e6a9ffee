#pragma once

// Meters behind a fake serial line, for the window model: meters on the bus answer at any
// speed, the meter under the optical head answers "??" at 300 baud only. Their clocks run from
// the PC's local time plus an offset in whole seconds.
#include "FakeMeterLine.h"
#include "FakeSerialBackend.h"

#include "runtime/DateTime.h"

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace model_test {

struct TFakeMeters {
    std::set<int> Bus{5};
    int Optohead = 7;
    double OffsetDays = 0; // the meters' clock minus the PC's
    bool LinkMode = false;
    // A reply body to give to the next request instead of the meter's own ("" for silence),
    // oldest first.
    std::vector<std::string> Faults;
    std::vector<std::string> Frames; // every request, "#" to CR
    std::vector<int> Speeds;         // the line speed at each request

    std::shared_ptr<TFakeSerialLine> Line = std::make_shared<TFakeSerialLine>();

    TFakeMeters() {
        Line->OnWrite = [this](TFakeSerialLine& line, const std::string& frame) {
            Heard(line, frame);
        };
    }

    std::unique_ptr<TSerialBackend> Backend() { return std::make_unique<TFakeSerialBackend>(Line); }

private:
    void Heard(TFakeSerialLine& line, const std::string& frame) {
        const int baud = line.Settings ? line.Settings->BaudRate : 0;
        Frames.push_back(frame);
        Speeds.push_back(baud);
        if (!Faults.empty()) {
            const std::string reply = Faults.front();
            Faults.erase(Faults.begin());
            if (!reply.empty())
                line.Input += kestro_test::Line(reply);
            return;
        }
        const std::size_t star = frame.find('*');
        if (frame.size() < 5 || frame[0] != '#' || star == std::string::npos)
            return;
        const std::string body = frame.substr(1, star - 1);
        const char cmd = body[0];
        const std::string addr = body.substr(1, 2);
        const char code = body[3];
        const std::string data = body.size() > 5 ? body.substr(5) : "";
        std::string from;
        if (addr == "??") {
            if (baud != 300 || Optohead < 0)
                return;
            from = Two(Optohead);
        } else if (Bus.count(std::stoi(addr)) != 0) {
            from = addr;
        } else {
            return;
        }
        std::string reply = "A" + from + code;
        if (code == 'k') {
            LinkMode = data == "01";
            reply += "," + data;
        } else if (code == 'C' && cmd == 'R') {
            // A meter's clock shows the second it is in; formatting alone would round the last
            // half millisecond of a second up to the next one.
            const double second = std::floor((Now() + OffsetDays) * 86400) / 86400;
            reply += "," + FormatDateTime("hhnnss,ddmmyy", second);
        } else if (code == 'C' && cmd == 'W') {
            OffsetDays = Parse(data) - Now();
            reply += "," + data;
        }
        line.Input += kestro_test::Line(reply);
    }

    static std::string Two(int value) {
        return std::string(1, static_cast<char>('0' + value / 10)) +
               static_cast<char>('0' + value % 10);
    }
    static TDateTime Parse(const std::string& data) {
        auto number = [&](std::size_t at) {
            return std::stoi(data.substr(at, 2));
        };
        return EncodeDate(2000 + number(11), number(9), number(7)) +
               EncodeTime(number(0), number(2), number(4), 0);
    }
};

} // namespace model_test

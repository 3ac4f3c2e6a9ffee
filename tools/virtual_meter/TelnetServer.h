#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace vmeter {

// The server side of RFC 2217 as a device server speaks it, written apart from the program's
// client: it agrees to binary mode and COM-PORT-OPTION, applies the line speed and purges,
// and confirms every request with the value it applied.
class TTelnetServer {
public:
    struct TLine {
        std::function<int(int baud)> SetSpeed; // returns the speed the line now has
        std::function<void()> Purge;
    };

    explicit TTelnetServer(TLine line) : FLine(std::move(line)) {}

    // What the server sends first: it wants COM-PORT-OPTION from the client.
    std::string Greeting();
    // Takes bytes from the client: the line's data goes to `toLine`, answers to `toClient`.
    void Feed(const std::string& bytes, std::string& toLine, std::string& toClient);
    // Data for the client, 0xFF doubled.
    static std::string Escape(const std::string& data);

private:
    enum class TState { Data, Iac, Option, Sub, SubIac };
    void Negotiate(unsigned char command, unsigned char option, std::string& toClient);
    void Subnegotiation(std::string& toClient);

    TLine FLine;
    TState FState = TState::Data;
    unsigned char FCommand = 0;
    std::string FSub;
    bool FHim[256] = {};
    bool FUs[256] = {};
};

} // namespace vmeter

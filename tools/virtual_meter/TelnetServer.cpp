#include "TelnetServer.h"

namespace vmeter {

namespace {

constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr unsigned char Binary = 0, ComPort = 44;
constexpr std::size_t MaxSub = 64;

std::string Command(unsigned char command, unsigned char option) {
    return {static_cast<char>(IAC), static_cast<char>(command), static_cast<char>(option)};
}

} // namespace

std::string TTelnetServer::Greeting() {
    FHim[ComPort] = true; // asked for: the client's WILL is the answer
    return Command(DO, ComPort);
}

std::string TTelnetServer::Escape(const std::string& data) {
    std::string out;
    for (char c : data) {
        out += c;
        if (static_cast<unsigned char>(c) == IAC)
            out += c;
    }
    return out;
}

void TTelnetServer::Negotiate(unsigned char command, unsigned char option, std::string& toClient) {
    const bool known = option == Binary || option == ComPort;
    bool& state = (command == WILL || command == WONT) ? FHim[option] : FUs[option];
    const unsigned char yes = (command == WILL || command == WONT) ? DO : WILL;
    const unsigned char no = (command == WILL || command == WONT) ? DONT : WONT;
    if (command == WILL || command == DO) {
        if (!known)
            toClient += Command(no, option);
        else if (!state)
            toClient += Command(yes, option);
        state = known;
    } else if (state) {
        state = false;
        toClient += Command(no, option);
    }
}

void TTelnetServer::Subnegotiation(std::string& toClient) {
    if (FSub.size() < 2 || static_cast<unsigned char>(FSub[0]) != ComPort)
        return;
    const auto request = static_cast<unsigned char>(FSub[1]);
    std::string value = FSub.substr(2);
    if (request == 1 && value.size() == 4) { // SET-BAUDRATE
        unsigned baud = 0;
        for (char c : value)
            baud = (baud << 8) | static_cast<unsigned char>(c);
        const unsigned applied = static_cast<unsigned>(FLine.SetSpeed(static_cast<int>(baud)));
        value.clear();
        for (int shift = 24; shift >= 0; shift -= 8)
            value += static_cast<char>((applied >> shift) & 0xFF);
    } else if (request == 12) { // PURGE-DATA
        FLine.Purge();
    }
    // Data size, parity, stop size and control are a pseudo-terminal's anyway.
    toClient += std::string{static_cast<char>(IAC), static_cast<char>(SB),
                            static_cast<char>(ComPort), static_cast<char>(request + 100)} +
                Escape(value) + std::string{static_cast<char>(IAC), static_cast<char>(SE)};
}

void TTelnetServer::Feed(const std::string& bytes, std::string& toLine, std::string& toClient) {
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (FState) {
        case TState::Data:
            if (byte == IAC)
                FState = TState::Iac;
            else
                toLine += c;
            break;
        case TState::Iac:
            FState = TState::Data;
            if (byte == IAC) {
                toLine += c;
            } else if (byte >= WILL && byte <= DONT) {
                FCommand = byte;
                FState = TState::Option;
            } else if (byte == SB) {
                FSub.clear();
                FState = TState::Sub;
            }
            break;
        case TState::Option:
            Negotiate(FCommand, byte, toClient);
            FState = TState::Data;
            break;
        case TState::Sub:
            if (byte == IAC)
                FState = TState::SubIac;
            else if (FSub.size() < MaxSub)
                FSub += c;
            break;
        case TState::SubIac:
            if (byte == IAC) {
                if (FSub.size() < MaxSub)
                    FSub += c;
                FState = TState::Sub;
            } else {
                if (byte == SE)
                    Subnegotiation(toClient);
                FState = TState::Data;
            }
            break;
        }
    }
}

} // namespace vmeter

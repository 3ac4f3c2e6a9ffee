#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The client side of a Telnet connection to a serial device server (RFC 854 with the
// COM-PORT-OPTION of RFC 2217), without any socket: bytes from the server go in, data bytes,
// negotiation answers and the server's answers to control requests come out. Every buffer it
// keeps is bounded, whatever the server sends.
class TTelnetCodec {
public:
    static constexpr std::uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250,
                                  SE = 240;
    static constexpr std::uint8_t OptBinary = 0, OptSuppressGoAhead = 3, OptComPort = 44;

    // COM-PORT-OPTION requests of the client; the server answers each with its code + 100.
    enum TComPortCommand : std::uint8_t {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
        PurgeData = 12,
    };
    static constexpr std::uint8_t ServerOffset = 100;
    // Values of the requests this program sends.
    static constexpr std::uint8_t ParityNone = 1, StopBitsOne = 1, NoFlowControl = 1, DtrOn = 8,
                                  RtsOff = 12, PurgeBoth = 3;

    // The longest sub-negotiation kept; longer ones are skipped to their end.
    static constexpr std::size_t MaxSubnegotiation = 32;
    static constexpr std::size_t MaxControlValue = 4;

    // A server's answer to a COM-PORT-OPTION request: Command is the request's code.
    struct TControlReply {
        std::uint8_t Command = 0;
        std::uint8_t Length = 0; // value bytes received, up to MaxControlValue kept
        std::array<std::uint8_t, MaxControlValue> Value{};

        std::uint32_t Number() const; // the value as a big-endian number
        bool operator==(const TControlReply&) const = default;
    };

    // What one piece of the server's byte stream amounts to. Each part is at most as long as
    // the input that produced it.
    struct TOutput {
        std::string Data;  // the serial line's bytes, unescaped
        std::string Reply; // negotiation answers to send back to the server at once
        std::vector<TControlReply> Controls;
        // For each control answer, how many bytes of Data came before it on the wire: what a
        // server sent before it purged is told apart from what it sent after.
        std::vector<std::size_t> DataBefore;
    };

    // The bytes that open the negotiation: binary both ways and COM-PORT-OPTION.
    std::string Start();
    void Feed(const std::uint8_t* bytes, std::size_t count, TOutput& out);

    // Binary both ways and COM-PORT-OPTION agreed.
    bool Negotiated() const;
    // The server refused one of them; empty while nothing was refused.
    std::string Refusal() const;

    // Data bytes as they go on the wire: every 0xFF doubled.
    static std::string Escape(std::string_view data);
    // One COM-PORT-OPTION sub-negotiation, its value escaped.
    static std::string ControlRequest(std::uint8_t command, std::string_view value);
    static std::string BaudRateValue(std::uint32_t baudRate);

private:
    enum class TOptionState : std::uint8_t { No, WantYes, Yes };
    enum class TState : std::uint8_t { Data, Iac, Option, Sub, SubIac };

    struct TOption {
        TOptionState Us = TOptionState::No;  // we perform it (WILL / WONT)
        TOptionState Him = TOptionState::No; // the server performs it (DO / DONT)
    };

    void Negotiate(std::uint8_t command, std::uint8_t option, TOutput& out);
    void IacByte(std::uint8_t byte, TOutput& out);
    void SubByte(std::uint8_t byte);
    void EndSubnegotiation(TOutput& out);
    TOption& Option(std::uint8_t option) { return FOptions[option]; }
    const TOption& Option(std::uint8_t option) const { return FOptions[option]; }

    std::array<TOption, 256> FOptions{};
    TState FState = TState::Data;
    std::uint8_t FCommand = 0;
    std::array<std::uint8_t, MaxSubnegotiation> FSub{};
    std::size_t FSubLength = 0;
    bool FSubOverflow = false;
    bool FStarted = false;
};

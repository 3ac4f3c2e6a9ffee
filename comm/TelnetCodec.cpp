#include "TelnetCodec.h"

namespace {

// The options this client takes part in, whichever side asks; every other one is refused.
bool Acceptable(std::uint8_t option) {
    return option == TTelnetCodec::OptBinary || option == TTelnetCodec::OptSuppressGoAhead ||
           option == TTelnetCodec::OptComPort;
}

void AppendCommand(std::string& out, std::uint8_t command, std::uint8_t option) {
    out += static_cast<char>(TTelnetCodec::IAC);
    out += static_cast<char>(command);
    out += static_cast<char>(option);
}

} // namespace

std::uint32_t TTelnetCodec::TControlReply::Number() const {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < Length && i < MaxControlValue; ++i)
        value = (value << 8) | Value[i];
    return value;
}

std::string TTelnetCodec::Start() {
    std::string out;
    Option(OptBinary).Us = TOptionState::WantYes;
    Option(OptBinary).Him = TOptionState::WantYes;
    Option(OptComPort).Us = TOptionState::WantYes;
    AppendCommand(out, WILL, OptBinary);
    AppendCommand(out, DO, OptBinary);
    AppendCommand(out, WILL, OptComPort);
    FStarted = true;
    return out;
}

bool TTelnetCodec::Negotiated() const {
    return Option(OptBinary).Us == TOptionState::Yes &&
           Option(OptBinary).Him == TOptionState::Yes && Option(OptComPort).Us == TOptionState::Yes;
}

std::string TTelnetCodec::Refusal() const {
    if (!FStarted)
        return {};
    if (Option(OptComPort).Us == TOptionState::No)
        return "the server refused COM-PORT-OPTION (RFC 2217)";
    if (Option(OptBinary).Us == TOptionState::No || Option(OptBinary).Him == TOptionState::No)
        return "the server refused binary transmission";
    return {};
}

// Answers follow the rule that keeps two parties from negotiating forever: a request that
// changes nothing is not answered, and an answer to one of our own requests is not answered.
void TTelnetCodec::Negotiate(std::uint8_t command, std::uint8_t option, TOutput& out) {
    TOption& state = Option(option);
    const bool theirSide = command == WILL || command == WONT;
    TOptionState& side = theirSide ? state.Him : state.Us;
    const std::uint8_t agree = theirSide ? DO : WILL;
    const std::uint8_t refuse = theirSide ? DONT : WONT;
    if (command == WILL || command == DO) {
        if (!Acceptable(option)) {
            AppendCommand(out.Reply, refuse, option);
            return;
        }
        if (side == TOptionState::No)
            AppendCommand(out.Reply, agree, option);
        side = TOptionState::Yes;
        return;
    }
    // WONT or DONT: the option is off; a switch-off of an active option is acknowledged.
    if (side == TOptionState::Yes)
        AppendCommand(out.Reply, refuse, option);
    side = TOptionState::No;
}

void TTelnetCodec::EndSubnegotiation(TOutput& out) {
    FState = TState::Data;
    if (FSubOverflow || FSubLength < 2 || FSub[0] != OptComPort || FSub[1] < ServerOffset)
        return;
    TControlReply reply;
    reply.Command = static_cast<std::uint8_t>(FSub[1] - ServerOffset);
    reply.Length = static_cast<std::uint8_t>(FSubLength - 2);
    for (std::size_t i = 0; i < MaxControlValue && i + 2 < FSubLength; ++i)
        reply.Value[i] = FSub[i + 2];
    out.Controls.push_back(reply);
    out.DataBefore.push_back(out.Data.size());
}

void TTelnetCodec::SubByte(std::uint8_t byte) {
    if (FSubLength < FSub.size())
        FSub[FSubLength++] = byte;
    else
        FSubOverflow = true; // skipped to its end, then dropped
}

void TTelnetCodec::IacByte(std::uint8_t byte, TOutput& out) {
    switch (byte) {
    case IAC:
        out.Data += static_cast<char>(IAC);
        FState = TState::Data;
        break;
    case WILL:
    case WONT:
    case DO:
    case DONT:
        FCommand = byte;
        FState = TState::Option;
        break;
    case SB:
        FSubLength = 0;
        FSubOverflow = false;
        FState = TState::Sub;
        break;
    default: // NOP, GA, DM, a stray SE and the like carry nothing for a serial line
        FState = TState::Data;
        break;
    }
}

void TTelnetCodec::Feed(const std::uint8_t* bytes, std::size_t count, TOutput& out) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t byte = bytes[i];
        switch (FState) {
        case TState::Data:
            if (byte == IAC)
                FState = TState::Iac;
            else
                out.Data += static_cast<char>(byte);
            break;
        case TState::Iac:
            IacByte(byte, out);
            break;
        case TState::Option:
            FState = TState::Data;
            Negotiate(FCommand, byte, out);
            break;
        case TState::Sub:
            if (byte == IAC)
                FState = TState::SubIac;
            else
                SubByte(byte);
            break;
        case TState::SubIac:
            if (byte == IAC) {
                SubByte(IAC);
                FState = TState::Sub;
            } else if (byte == SE) {
                EndSubnegotiation(out);
            } else {
                // Any other command ends a malformed sub-negotiation, which is dropped.
                IacByte(byte, out);
            }
            break;
        }
    }
}

std::string TTelnetCodec::Escape(std::string_view data) {
    std::string out;
    out.reserve(data.size());
    for (char c : data) {
        out += c;
        if (static_cast<std::uint8_t>(c) == IAC)
            out += c;
    }
    return out;
}

std::string TTelnetCodec::ControlRequest(std::uint8_t command, std::string_view value) {
    std::string out;
    out += static_cast<char>(IAC);
    out += static_cast<char>(SB);
    out += static_cast<char>(OptComPort);
    out += static_cast<char>(command);
    out += Escape(value);
    out += static_cast<char>(IAC);
    out += static_cast<char>(SE);
    return out;
}

std::string TTelnetCodec::BaudRateValue(std::uint32_t baudRate) {
    std::string value;
    for (int shift = 24; shift >= 0; shift -= 8)
        value += static_cast<char>((baudRate >> shift) & 0xFF);
    return value;
}

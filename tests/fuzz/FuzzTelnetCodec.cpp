// libFuzzer target for the Telnet / RFC 2217 codec. For any bytes a server may send:
// - no crash, no sanitizer report, and every output bounded by the input: no more data bytes,
//   no more answer bytes than came in, at most one control answer per six bytes, no value
//   longer than a sub-negotiation can hold;
// - answers are whole negotiation commands (IAC, WILL/WONT/DO/DONT, option);
// - the result does not depend on how the stream is cut into pieces;
// - any bytes escaped for the wire come back unchanged, with nothing else;
// - a control answer built from the bytes comes back as exactly that answer.
#include "comm/TelnetCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using C = TTelnetCodec;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

C::TOutput FeedInPieces(C& codec, const std::uint8_t* data, std::size_t size, std::size_t piece) {
    C::TOutput out;
    for (std::size_t i = 0; i < size; i += piece)
        codec.Feed(data + i, std::min(piece, size - i), out);
    return out;
}

void CheckBounds(const C::TOutput& out, std::size_t size) {
    Check(out.Data.size() <= size);
    Check(out.Reply.size() <= size);
    Check(out.Controls.size() <= size / 6);
    for (const C::TControlReply& control : out.Controls)
        Check(control.Length + 2u <= C::MaxSubnegotiation);
    Check(out.Reply.size() % 3 == 0);
    for (std::size_t i = 0; i < out.Reply.size(); i += 3) {
        Check(static_cast<std::uint8_t>(out.Reply[i]) == C::IAC);
        const auto command = static_cast<std::uint8_t>(out.Reply[i + 1]);
        Check(command >= C::WILL && command <= C::DONT);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 7;

    C whole, cut;
    const bool started = (data[0] & 0x80) != 0; // with or without our own requests out
    if (started) {
        whole.Start();
        cut.Start();
    }
    const C::TOutput all = FeedInPieces(whole, data, size, size);
    CheckBounds(all, size);
    const C::TOutput pieces = FeedInPieces(cut, data, size, piece);
    Check(all.Data == pieces.Data && all.Reply == pieces.Reply && all.Controls == pieces.Controls);
    Check(whole.Negotiated() == cut.Negotiated() && whole.Refusal() == cut.Refusal());
    Check(!started || !whole.Negotiated() || whole.Refusal().empty());

    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string wire = C::Escape(bytes);
    C fresh;
    const C::TOutput echoed =
        FeedInPieces(fresh, reinterpret_cast<const std::uint8_t*>(wire.data()), wire.size(), piece);
    Check(echoed.Data == bytes && echoed.Reply.empty() && echoed.Controls.empty());

    const std::string value = bytes.substr(1, C::MaxControlValue);
    const auto command = static_cast<std::uint8_t>(data[0] % 20);
    const std::string answer = C::ControlRequest(C::ServerOffset + command, value);
    C client;
    const C::TOutput control = FeedInPieces(
        client, reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size(), piece);
    Check(control.Data.empty() && control.Reply.empty() && control.Controls.size() == 1);
    Check(control.Controls[0].Command == command && control.Controls[0].Length == value.size());
    Check(std::string(reinterpret_cast<const char*>(control.Controls[0].Value.data()),
                      value.size()) == value);
    return 0;
}

#pragma once

#include <optional>
#include <string>
#include <string_view>

// The encodings a text file may come in, told apart by its byte-order mark. Text is handled as
// UTF-8 inside the program; a file is written back in the encoding it came in, mark included.
enum class TTextEncoding {
    Bytes,   // no mark: the bytes are kept exactly as they are
    Utf8Bom, // EF BB BF, then bytes kept exactly as they are
    Utf16Le, // FF FE, then 16-bit units, low byte first
    Utf16Be, // FE FF, then 16-bit units, high byte first
};

struct TDecodedText {
    TTextEncoding Encoding = TTextEncoding::Bytes;
    std::string Text; // without the mark; UTF-8 for the UTF-16 encodings
};

// Never fails. UTF-16 units that pair into no character (lone surrogates) are kept as their
// three-byte UTF-8 form, so they are written back unchanged; a last odd byte reads as U+FFFD.
TDecodedText DecodeText(std::string_view bytes);

// The file's bytes, mark included. For UTF-16, nothing when the text is not UTF-8 (in the
// lenient form DecodeText gives), since it could not be read back as written.
std::optional<std::string> EncodeText(std::string_view text, TTextEncoding encoding);

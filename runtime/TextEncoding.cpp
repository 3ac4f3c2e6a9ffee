#include "TextEncoding.h"

#include <cstdint>

namespace {

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view Utf16LeMark = "\xFF\xFE";
constexpr std::string_view Utf16BeMark = "\xFE\xFF";
constexpr char32_t Replacement = 0xFFFD;

bool IsLeadSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsTrailSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    const auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (IsLeadSurrogate(c) && i + 3 < bytes.size() && IsTrailSurrogate(unit(i + 2))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, c);
    }
    if (i < bytes.size())
        AppendUtf8(out, Replacement);
    return out;
}

// The next character of lenient UTF-8 (surrogates allowed, nothing else outside the standard),
// or nothing when the bytes are not UTF-8.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    char32_t c;
    if (lead < 0x80) {
        ++i;
        return lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (i + length > text.size())
        return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        c = c << 6 | (next & 0x3F);
    }
    const char32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (c < smallest || c > 0x10FFFF)
        return std::nullopt; // an overlong form or beyond Unicode
    i += length;
    return c;
}

void AppendUnit(std::string& out, char32_t unit, bool bigEndian) {
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
}

std::optional<std::string> Utf8ToUtf16(std::string_view text, bool bigEndian) {
    std::string out;
    out.reserve(text.size() * 2 + 2);
    bool afterLoneLead = false;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = NextUtf8(text, i);
        if (!c)
            return std::nullopt;
        // A lone lead followed by a lone trail would read back as one character.
        if (afterLoneLead && IsTrailSurrogate(*c))
            return std::nullopt;
        afterLoneLead = IsLeadSurrogate(*c);
        if (*c >= 0x10000) {
            AppendUnit(out, 0xD800 + ((*c - 0x10000) >> 10), bigEndian);
            AppendUnit(out, 0xDC00 + ((*c - 0x10000) & 0x3FF), bigEndian);
        } else {
            AppendUnit(out, *c, bigEndian);
        }
    }
    return out;
}

} // namespace

TDecodedText DecodeText(std::string_view bytes) {
    if (bytes.starts_with(Utf8Mark))
        return {TTextEncoding::Utf8Bom, std::string(bytes.substr(Utf8Mark.size()))};
    if (bytes.starts_with(Utf16LeMark))
        return {TTextEncoding::Utf16Le, Utf16ToUtf8(bytes.substr(Utf16LeMark.size()), false)};
    if (bytes.starts_with(Utf16BeMark))
        return {TTextEncoding::Utf16Be, Utf16ToUtf8(bytes.substr(Utf16BeMark.size()), true)};
    return {TTextEncoding::Bytes, std::string(bytes)};
}

std::optional<std::string> EncodeText(std::string_view text, TTextEncoding encoding) {
    switch (encoding) {
    case TTextEncoding::Bytes:
        return std::string(text);
    case TTextEncoding::Utf8Bom:
        return std::string(Utf8Mark) + std::string(text);
    case TTextEncoding::Utf16Le:
        if (auto units = Utf8ToUtf16(text, false))
            return std::string(Utf16LeMark) + *units;
        return std::nullopt;
    case TTextEncoding::Utf16Be:
        if (auto units = Utf8ToUtf16(text, true))
            return std::string(Utf16BeMark) + *units;
        return std::nullopt;
    }
    return std::nullopt;
}

#include "Format.h"

#include "Exception.h"

#include <cstddef>

namespace {

// Widths and precisions beyond this are treated as malformed rather than allocated.
constexpr int MaxFieldSize = 65535;

struct TPlaceholder {
    bool LeftJustify = false;
    int Width = 0;
    int Precision = -1; // none
    char Conversion = '\0';
};

class TFormatter {
public:
    TFormatter(std::string_view format, std::initializer_list<TFormatArg> args)
        : FFormat(format), FArgs(args) {}

    std::string Run() {
        while (FPos < FFormat.size()) {
            const char c = FFormat[FPos++];
            if (c != '%') {
                FResult += c;
                continue;
            }
            if (FPos < FFormat.size() && FFormat[FPos] == '%') {
                ++FPos;
                FResult += '%';
                continue;
            }
            AppendField(ParsePlaceholder());
        }
        return std::move(FResult);
    }

private:
    [[noreturn]] void Invalid() const {
        throw EConvertError("Format '" + std::string(FFormat) +
                            "' invalid or incompatible with argument");
    }

    int ParseNumber() {
        int value = 0;
        while (FPos < FFormat.size() && FFormat[FPos] >= '0' && FFormat[FPos] <= '9') {
            value = value * 10 + (FFormat[FPos++] - '0');
            if (value > MaxFieldSize)
                Invalid();
        }
        return value;
    }

    TPlaceholder ParsePlaceholder() {
        TPlaceholder placeholder;
        if (FPos < FFormat.size() && FFormat[FPos] == '-') {
            placeholder.LeftJustify = true;
            ++FPos;
        }
        placeholder.Width = ParseNumber();
        if (FPos < FFormat.size() && FFormat[FPos] == '.') {
            ++FPos;
            placeholder.Precision = ParseNumber();
        }
        if (FPos >= FFormat.size())
            Invalid();
        placeholder.Conversion = FFormat[FPos++];
        return placeholder;
    }

    const TFormatArg& NextArg() {
        if (FArgIndex >= FArgs.size())
            Invalid();
        return FArgs.begin()[FArgIndex++];
    }

    std::int64_t NextInteger() {
        const auto* value = std::get_if<std::int64_t>(&NextArg().Value());
        if (value == nullptr)
            Invalid();
        return *value;
    }

    const std::string& NextString() {
        const auto* value = std::get_if<std::string>(&NextArg().Value());
        if (value == nullptr)
            Invalid();
        return *value;
    }

    static std::string Decimal(std::int64_t value, int precision) {
        // Magnitude as unsigned, so the most negative value has no overflow.
        std::uint64_t magnitude =
            value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
        std::string digits;
        do {
            digits.insert(digits.begin(), static_cast<char>('0' + magnitude % 10));
            magnitude /= 10;
        } while (magnitude != 0);
        if (static_cast<int>(digits.size()) < precision)
            digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
        return value < 0 ? "-" + digits : digits;
    }

    static std::string Hexadecimal(std::int64_t value, int precision) {
        // A negative 32-bit integer shows its 32-bit pattern, as the system's texts expect.
        std::uint64_t bits = value < 0 && value >= INT32_MIN
                                 ? static_cast<std::uint32_t>(static_cast<std::int32_t>(value))
                                 : static_cast<std::uint64_t>(value);
        std::string digits;
        do {
            digits.insert(digits.begin(), "0123456789ABCDEF"[bits % 16]);
            bits /= 16;
        } while (bits != 0);
        if (static_cast<int>(digits.size()) < precision)
            digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
        return digits;
    }

    void AppendField(const TPlaceholder& placeholder) {
        std::string text;
        switch (placeholder.Conversion) {
        case 'd':
        case 'D':
            text = Decimal(NextInteger(), placeholder.Precision);
            break;
        case 'x':
        case 'X':
            text = Hexadecimal(NextInteger(), placeholder.Precision);
            break;
        case 's':
        case 'S': {
            const std::string& value = NextString();
            text = placeholder.Precision >= 0
                       ? value.substr(0, static_cast<std::size_t>(placeholder.Precision))
                       : value;
            break;
        }
        default:
            Invalid();
        }
        const std::size_t width = static_cast<std::size_t>(placeholder.Width);
        if (text.size() < width)
            text.insert(placeholder.LeftJustify ? text.size() : 0, width - text.size(), ' ');
        FResult += text;
    }

    std::string_view FFormat;
    std::initializer_list<TFormatArg> FArgs;
    std::size_t FPos = 0;
    std::size_t FArgIndex = 0;
    std::string FResult;
};

} // namespace

std::string Format(std::string_view format, std::initializer_list<TFormatArg> args) {
    return TFormatter(format, args).Run();
}

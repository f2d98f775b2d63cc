#include "MessageText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

// Length of the well-formed UTF-8 sequence at text[i], 0 when it is not one.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return std::uint8_t(text[k]); };
    const std::uint8_t b0 = byte(i);
    if (b0 < 0x80)
        return 1;
    std::size_t len = 0;
    std::uint8_t lo = 0x80, hi = 0xBF; // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0)
            lo = 0xA0; // overlong
        if (b0 == 0xED)
            hi = 0x9F; // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0)
            lo = 0x90; // overlong
        if (b0 == 0xF4)
            hi = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi)
        return 0;
    for (std::size_t k = 2; k < len; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return len;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = SequenceLength(text, i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

std::string Quote(std::string_view text) {
    std::string quoted;
    std::size_t chars = 0;
    std::size_t i = 0;
    for (; i < text.size() && chars < kMaxQuotedChars; ++chars) {
        const std::size_t len = SequenceLength(text, i);
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (len == 0) {
            quoted += "\xEF\xBF\xBD"; // U+FFFD
            ++i;
        } else if (c == '\n') {
            quoted += "\\n";
            ++i;
        } else if (c == '\t') {
            quoted += "\\t";
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned(c));
            quoted += escaped;
            ++i;
        } else {
            quoted.append(text.substr(i, len));
            i += len;
        }
    }
    if (i < text.size())
        quoted += "\xE2\x80\xA6"; // U+2026 HORIZONTAL ELLIPSIS
    return quoted;
}

std::string ExactNumber(double value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    char buffer[40];
    // Whole numbers in full, as typed ("10000000000", not "1e+10").
    if (value == std::floor(value) && std::fabs(value) < 1e16) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        return buffer;
    }
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general);
    return std::string(buffer, result.ptr);
}

std::string ShortNumber(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.10g", value);
    return buffer;
}

std::string MegaBytesText(std::uint64_t bytes) {
    return ShortNumber(std::round(double(bytes) / 1e6)) + " MB";
}

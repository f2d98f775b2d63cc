#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Most characters of a rejected text a message quotes.
inline constexpr std::size_t kMaxQuotedChars = 80;

/// True when text is well-formed UTF-8 (no overlong forms, surrogates or code points above
/// U+10FFFF).
bool IsValidUtf8(std::string_view text);

/// text as a message may quote it: at most kMaxQuotedChars characters followed by "…" when it
/// was longer, control characters written as \n, \t or \xNN, and bytes that are not UTF-8 as
/// U+FFFD, so a message is always readable UTF-8 of bounded length.
std::string Quote(std::string_view text);

/// A number as the user would have typed it: the shortest text that reads back to the same
/// double ("10000.000000001", not "10000"), "nan" and "inf" as such.
std::string ExactNumber(double value);

/// A number as a message shows it: at most ten significant digits ("%.10g").
std::string ShortNumber(double value);

/// A size in megabytes as a message shows it, rounded: "250 MB".
std::string MegaBytesText(std::uint64_t bytes);

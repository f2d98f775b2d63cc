#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

/// Reads a whole file of at most nMaxBytes into text, refusing before reading what cannot be
/// one: a folder, a device, a FIFO (opened without waiting for a writer) or a file beyond the
/// bound; a file that grows past the bound while read is refused too. A read error is an
/// error, not the end of the file. Returns why not ("is a folder, not a <kind>.", "is 3000000
/// bytes, more than the 1048576 bytes a <kind> may have.", "cannot be read (reason).") or
/// nothing; text is changed only on success. A caller with its own wording of the size refusal
/// passes fnTooLarge: the refusal is then "is " + fnTooLarge(size), or "is more than " +
/// fnTooLarge(nMaxBytes) for a file that grew while read.
std::optional<std::string>
ReadBoundedFile(const std::string& strPath, std::size_t nMaxBytes, std::string_view strKind,
                std::string& text,
                const std::function<std::string(std::uint64_t)>& fnTooLarge = {});

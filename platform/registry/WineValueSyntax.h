#pragma once
// The data syntax of values in Wine's registry files, shared by the loader (which checks it)
// and the store (which decodes checked text when a value is read). Private.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tw::platform::detail {

/// Where scanning the bytes of a hex: value stopped.
struct HexScan {
  bool ok = false;
  std::size_t end = 0;       // on success: offset of the newline ending the value (or size)
  std::size_t byteCount = 0; // bytes the text holds
  std::size_t lines = 0;     // continuation lines consumed
  std::size_t faultAt = 0;   // on failure: offset of the fault
};

/// Checks the hex bytes that start at `text[pos]` ("1f,00,\" newline "  2a"), following
/// backslash continuations onto later lines. Each byte is one or two hex digits.
HexScan scanHexBytes(std::string_view text, std::size_t pos);

/// Appends the bytes of checked hex text.
void decodeHexBytes(std::string_view text, std::vector<std::uint8_t> &out);
/// Counts the bytes of checked hex text.
std::size_t countHexBytes(std::string_view text);

/// The value of checked dword digits (one to eight hex digits).
std::uint32_t decodeDword(std::string_view digits);

/// Appends the UTF-16LE bytes of a checked escaped string, with the terminating zero that
/// Wine adds to every string it loads.
void decodeStringBytes(std::string_view escaped, std::vector<std::uint8_t> &out);
/// Appends the WTF-8 form of a checked escaped string, with a terminating zero.
void decodeStringNarrow(std::string_view escaped, std::vector<std::uint8_t> &out);
/// Size in bytes of decodeStringBytes' result.
std::size_t stringByteCount(std::string_view escaped);

} // namespace tw::platform::detail

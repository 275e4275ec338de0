#pragma once
// Text rules of the registry: how names compare (as Wine compares them), conversions between
// the UTF-8 the program speaks and the UTF-16 the registry stores, and the escaped string
// syntax of Wine's registry files. The backends use all of it; the layers above use the
// conversions (the .reg format, for one), never a text table of their own.
//
// Names and string data travel inside the backends as "WTF-8": UTF-8 that may also encode a
// lone UTF-16 surrogate, so that any name Wine can store survives a round trip unchanged.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tw::platform::detail {

/// The case folding Windows applies to registry names: the lower-case mapping of one UTF-16
/// unit, leaving alone the few letters whose lower case does not map back (e.g. U+0130).
char16_t foldCase(char16_t unit);

/// Orders two names as Wine orders sub-keys: unit by unit on their case-folded UTF-16 form,
/// a shorter name first when one is a prefix of the other. Negative, zero or positive.
int compareNames(std::string_view a, std::string_view b);
inline bool sameName(std::string_view a, std::string_view b) { return a == b || compareNames(a, b) == 0; }

/// A hash of the case-folded name: names that compare equal hash equally.
std::uint32_t hashName(std::string_view name);

/// Appends the UTF-16 units of WTF-8 text. Bytes that are not valid WTF-8 become U+FFFD.
void appendUtf16(std::u16string &out, std::string_view text);
/// Appends the WTF-8 form of UTF-16 units.
void appendUtf8(std::string &out, const char16_t *units, std::size_t count);
/// The WTF-8 form of UTF-16LE bytes; an odd last byte is dropped.
std::string utf16leBytesToUtf8(const std::uint8_t *bytes, std::size_t size);
/// Appends UTF-16LE bytes for WTF-8 text.
void appendUtf16leBytes(std::string &out, std::string_view text);
/// True if `text` is well-formed WTF-8.
bool isValidWtf8(std::string_view text);

/// Where decoding an escaped string stopped, and why.
struct EscapedDecode {
  enum class Status { Ok, Unterminated, BadUtf8, NulByte };
  Status status = Status::Unterminated;
  /// On Ok: the offset just past the closing delimiter. Otherwise: the offset of the fault.
  std::size_t end = 0;
};

/// Decodes Wine's escaped string syntax (\a \b \e \f \n \r \t \v, \xH..HHHH, \o..ooo, a
/// backslash before any other character stands for that character; UTF-8 text) up to the
/// unescaped `delimiter`, calling `sink(char16_t)` for every unit. Strict: invalid UTF-8 and
/// raw NUL bytes are faults, not skipped as Wine's loader skips them.
template <typename Sink>
EscapedDecode decodeEscaped(std::string_view text, char delimiter, Sink &&sink);

/// Appends `units` escaped exactly as Wine's registry writer escapes them: non-ASCII as \x
/// (four digits when an ASCII hex digit follows), control characters as C or octal escapes,
/// and a backslash before '\' and before each character of `specials`.
void appendEscaped(std::string &out, const char16_t *units, std::size_t count, std::string_view specials);

} // namespace tw::platform::detail

#include "platform/registry/RegistryTextDecode.inl"

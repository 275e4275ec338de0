#pragma once
// Decoding of the window's JPEG pictures with libjpeg, without the toolkit's image plugins.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tw::app {

/// A decoded picture: 8-bit RGB, rows top to bottom, no padding.
struct DecodedJpeg {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  /// What is wrong with the data, in libjpeg's words or ours; empty on success.
  std::string error;

  explicit operator bool() const { return error.empty() && width > 0 && height > 0; }
};

/// Decodes the JPEG in `data`. Damaged or truncated data, and pictures larger than
/// MaxJpegPixels, give an empty picture with `error` set.
DecodedJpeg decodeJpeg(const std::uint8_t *data, std::size_t size);

/// The largest picture decodeJpeg accepts: far beyond the window's pictures, small enough that
/// a hostile header cannot make the program allocate gigabytes.
inline constexpr std::uint64_t MaxJpegPixels = 16u * 1024u * 1024u;

} // namespace tw::app

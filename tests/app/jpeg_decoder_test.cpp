// Decoding the window's pictures: the shipped JPEGs decode at their sizes, and damaged data of
// every kind is refused with a message instead of a crash or a half-grey picture.

#include "app/JpegDecoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using tw::app::decodeJpeg;

namespace {
std::vector<std::uint8_t> readAsset(const std::string &name) {
  std::ifstream in(std::string(TIDEWELL_APP_ASSETS) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Offset of the frame header (SOF0/SOF2 marker), or 0 when there is none.
std::size_t frameHeaderOffset(const std::vector<std::uint8_t> &jpeg) {
  for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i;
  return 0;
}
} // namespace

TEST(JpegDecoder, ShippedPicturesDecodeAtTheirSizes) {
  const struct {
    const char *name;
    int width, height;
  } pictures[] = {{"splash.jpg", 448, 291}, {"header.jpg", 281, 81}, {"weblink.jpg", 201, 64}};
  for (const auto &p : pictures) {
    const auto bytes = readAsset(p.name);
    ASSERT_FALSE(bytes.empty()) << p.name;
    const auto picture = decodeJpeg(bytes.data(), bytes.size());
    ASSERT_TRUE(picture) << p.name << ": " << picture.error;
    EXPECT_EQ(picture.width, p.width) << p.name;
    EXPECT_EQ(picture.height, p.height) << p.name;
    EXPECT_EQ(picture.rgb.size(), static_cast<std::size_t>(p.width * p.height * 3));
  }
  // The splash picture is dark blue at the top left, not a grey placeholder.
  const auto splash = readAsset("splash.jpg");
  const auto picture = decodeJpeg(splash.data(), splash.size());
  EXPECT_LT(picture.rgb[0], 40);
  EXPECT_GT(picture.rgb[2], picture.rgb[0] + 30);
}

TEST(JpegDecoder, EveryTruncationIsRefusedCleanly) {
  const auto bytes = readAsset("header.jpg");
  ASSERT_GT(bytes.size(), 1000u);
  for (std::size_t length = 0; length < bytes.size(); length += 37) {
    const auto picture = decodeJpeg(bytes.data(), length);
    EXPECT_FALSE(picture) << "length " << length;
    EXPECT_FALSE(picture.error.empty()) << "length " << length;
    EXPECT_TRUE(picture.rgb.empty()) << "length " << length;
  }
}

TEST(JpegDecoder, RefusesGarbageAndHostileSizes) {
  const std::vector<std::uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
  EXPECT_FALSE(decodeJpeg(text.data(), text.size()));
  EXPECT_FALSE(decodeJpeg(nullptr, 0));

  // A frame header claiming 16384 x 16384 pixels, which libjpeg itself would accept: refused
  // before any pixel memory is taken.
  auto bytes = readAsset("header.jpg");
  const std::size_t sof = frameHeaderOffset(bytes);
  ASSERT_GT(sof, 0u);
  // marker(2) length(2) precision(1) height(2) width(2)
  for (std::size_t i = sof + 5; i < sof + 9; i += 2) {
    bytes[i] = 0x40;
    bytes[i + 1] = 0x00;
  }
  const auto picture = decodeJpeg(bytes.data(), bytes.size());
  EXPECT_FALSE(picture);
  EXPECT_NE(picture.error.find("beyond the limit"), std::string::npos) << picture.error;
}

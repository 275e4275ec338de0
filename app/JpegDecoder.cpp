#include "app/JpegDecoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace tw::app {

namespace {
/// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back
/// into decodeJpeg with the message kept.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool warned;
};

void onFatalError(j_common_ptr info) {
  auto *manager = reinterpret_cast<ErrorManager *>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

/// A warning means damaged data that libjpeg would patch up (a truncated stream comes out grey):
/// the first one is kept, and the picture is refused. Trace messages are dropped.
void onMessage(j_common_ptr info, int level) {
  auto *manager = reinterpret_cast<ErrorManager *>(info->err);
  if (level >= 0 || manager->warned) return;
  (*info->err->format_message)(info, manager->message);
  manager->warned = true;
}

/// The decompression proper. Only trivially destructible objects live in this frame, so the
/// jump back from onFatalError skips nothing that needs cleaning up; `out` belongs to the caller.
bool decompress(const std::uint8_t *data, std::size_t size, DecodedJpeg &out) {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = onFatalError;
  errors.base.emit_message = onMessage;
  if (setjmp(errors.jump)) {
    out.error = errors.message;
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_calc_output_dimensions(&info);
  const std::uint64_t pixels = std::uint64_t{info.output_width} * info.output_height;
  if (pixels == 0 || pixels > MaxJpegPixels) {
    out.error = "picture of " + std::to_string(info.output_width) + " x " +
                std::to_string(info.output_height) + " pixels is beyond the limit";
    jpeg_destroy_decompress(&info);
    return false;
  }
  out.width = static_cast<int>(info.output_width);
  out.height = static_cast<int>(info.output_height);
  out.rgb.resize(static_cast<std::size_t>(pixels) * 3);
  jpeg_start_decompress(&info);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.rgb.data() + std::size_t{info.output_scanline} * info.output_width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  if (errors.warned) {
    out.error = errors.message;
    return false;
  }
  return true;
}
} // namespace

DecodedJpeg decodeJpeg(const std::uint8_t *data, std::size_t size) {
  DecodedJpeg out;
  if (!data || size == 0) {
    out.error = "no picture data";
    return out;
  }
  if (!decompress(data, size, out)) {
    out.width = out.height = 0;
    out.rgb.clear();
    if (out.error.empty()) out.error = "not a JPEG picture";
  }
  return out;
}

} // namespace tw::app

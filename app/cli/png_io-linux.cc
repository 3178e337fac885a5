#include "app/cli/png_io.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "common/result.h"
#include "common/scope_exit.h"

namespace app {
namespace {

struct MemorySource {
  const std::byte* data;
  std::size_t size;
  std::size_t offset;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (count > source->size - source->offset) png_error(png, "truncated");
  std::memcpy(out, source->data + source->offset, count);
  source->offset += count;
}

// libpng reports errors by longjmp to the last setjmp; these stay quiet and
// let the caller report one failure.
void OnError(png_structp png, png_const_charp) {
  std::longjmp(png_jmpbuf(png), 1);
}
void OnWarning(png_structp, png_const_charp) {}

// The two steps that can longjmp live in functions without C++ objects, so
// that a jump skips no destructor.
bool ReadHeader(png_structp png, png_infop info, png_uint_32* width,
                png_uint_32* height, png_size_t* rowBytes) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_set_expand(png);  // palette and low-depth grey to 8 bits, tRNS to alpha
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);  // alpha 255 where none
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  *rowBytes = png_get_rowbytes(png, info);
  return true;
}

bool ReadRows(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

BgraImage DecodePng(std::span<const std::byte> data) {
  THROW_HR_IF(common::kEInvalidArg,
              data.size() < 8 ||
                  png_sig_cmp(reinterpret_cast<png_const_bytep>(data.data()), 0,
                              8) != 0);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr,
                                           OnError, OnWarning);
  THROW_HR_IF(common::kEOutOfMemory, png == nullptr);
  png_infop info = png_create_info_struct(png);
  auto destroy =
      common::ScopeExit([&] { png_destroy_read_struct(&png, &info, nullptr); });
  THROW_HR_IF(common::kEOutOfMemory, info == nullptr);

  MemorySource source{data.data(), data.size(), 0};
  png_set_read_fn(png, &source, ReadFromMemory);
  png_uint_32 width = 0, height = 0;
  png_size_t rowBytes = 0;
  THROW_HR_IF(common::kEInvalidArg,
              !ReadHeader(png, info, &width, &height, &rowBytes));
  THROW_HR_IF(common::kEInvalidArg,
              width == 0 || height == 0 || rowBytes != std::size_t{width} * 4);
  THROW_HR_IF(common::kArithmeticOverflow,
              std::uint64_t{width} * height * 4 > 0xFFFFFFFFu);

  BgraImage image{width, height,
                  std::vector<std::byte>(std::size_t{width} * height * 4)};
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) {
    rows[y] = reinterpret_cast<png_bytep>(image.pixels.data()) +
              std::size_t{y} * rowBytes;
  }
  THROW_HR_IF(common::kEInvalidArg, !ReadRows(png, rows.data()));
  return image;
}

}  // namespace app

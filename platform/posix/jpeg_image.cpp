// JPEG decoding with libjpeg(-turbo): its errors come back through longjmp instead of ending the
// process, and any warning (truncated or damaged data) counts as a failure.
#include "platform/jpeg_image.h"

#include <csetjmp>
#include <cstdio>
#include <new>
#include <string>

// jpeglib.h uses FILE and size_t without including their headers: it comes after <cstdio>.
#include <jpeglib.h>

#include "platform/files_internal.h"

namespace platform {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;  // first, so that libjpeg's pointer to it is a pointer to the whole
  std::jmp_buf jump;
  int code;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
  manager->code = manager->base.msg_code;
  std::longjmp(manager->jump, 1);
}

// libjpeg only warns about a file that ends early (it makes up an end marker and paints the rest
// grey) or about corrupt compressed data; both are failures here, and stopping at once saves
// decoding the rest. Trace messages (level 0 and up) are ignored.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0) OnError(cinfo);
}

void OnOutput(j_common_ptr) {}

// The decoder's state, released on every path (also after a longjmp back into Decode).
struct Decompressor {
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};

  Decompressor() {
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.emit_message = OnMessage;
    errors.base.output_message = OnOutput;
  }
  ~Decompressor() { jpeg_destroy_decompress(&cinfo); }  // safe on a struct never created
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
};

static_assert(sizeof(unsigned long) >= sizeof(size_t),
              "jpeg_mem_src takes the size as unsigned long");

struct Input {
  const uint8_t* data;
  size_t size;
};

// Holds nothing with a destructor between setjmp and the libjpeg calls that may jump back to it:
// a longjmp over such an object would skip its destruction. `image` and `d` live in the caller.
bool Decode(Decompressor& d, const Input& in, RgbImage& image) {
  if (setjmp(d.errors.jump) != 0) return false;
  jpeg_create_decompress(&d.cinfo);
  jpeg_mem_src(&d.cinfo, in.data, static_cast<unsigned long>(in.size));
  if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK) return false;
  const int64_t pixels = int64_t{d.cinfo.image_width} * d.cinfo.image_height;
  if (pixels <= 0 || pixels > kMaxJpegPixels) return false;
  d.cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d.cinfo);
  if (d.cinfo.output_components != 3) return false;

  image.width = static_cast<int>(d.cinfo.output_width);
  image.height = static_cast<int>(d.cinfo.output_height);
  const size_t stride = static_cast<size_t>(image.width) * 3;
  image.pixels.resize(stride * static_cast<size_t>(image.height));
  while (d.cinfo.output_scanline < d.cinfo.output_height) {
    JSAMPROW row = image.pixels.data() + stride * d.cinfo.output_scanline;
    // Reading from memory never suspends, so no rows means something is wrong; never spin.
    if (jpeg_read_scanlines(&d.cinfo, &row, 1) != 1) return false;
  }
  // Reads on to the end-of-image marker, so a file cut after its last scan is noticed too.
  jpeg_finish_decompress(&d.cinfo);
  return d.errors.base.num_warnings == 0;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, RgbImage& image) {
  image = RgbImage{};
  bool decoded = false;
  int code = 0;
  if (data != nullptr && size != 0) {
    Decompressor decompressor;
    try {
      decoded = Decode(decompressor, Input{data, size}, image);
    } catch (const std::bad_alloc&) {
      decoded = false;
    }
    code = decompressor.errors.code;
  }
  if (!decoded) {
    image = RgbImage{};
    internal::RecordError("decode jpeg", std::string(), code);
  }
  return decoded;
}

}  // namespace platform

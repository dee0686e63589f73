// JPEG decoding on Windows with the OLE picture loader (OleLoadPicture), read back as 32-bit DIB
// pixels. A walk over the file's markers comes first: the loader accepts a truncated file and
// paints what is missing, so the file's structure and its end marker are checked here.
#include "platform/jpeg_image.h"

#include <windows.h>
// The OLE headers need the base types of windows.h first.
#include <ole2.h>
#include <olectl.h>

#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "platform/files_internal.h"

namespace platform {
namespace {

unsigned BigEndian16(const uint8_t* p) {
  return (unsigned{p[0]} << 8) | p[1];
}

// Start-of-frame markers: every coding process, baseline to lossless (not DHT, JPG or DAC,
// which share the range).
bool IsFrameMarker(uint8_t code) {
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
}

// Walks the markers from the start of image to the end of image: every segment must fit in the
// data, a frame header must come before the first scan, and each scan's compressed data must end
// in a marker. Reports the frame's size. False for anything else, in particular a file that ends
// before its end-of-image marker.
bool WalkMarkers(const uint8_t* data, size_t size, int& width, int& height) {
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  size_t pos = 2;
  bool sawFrame = false;
  bool sawScan = false;
  for (;;) {
    // A marker is one or more 0xFF bytes followed by its code.
    if (pos >= size || data[pos] != 0xFF) return false;
    while (pos < size && data[pos] == 0xFF) ++pos;
    if (pos >= size) return false;
    const uint8_t code = data[pos++];
    if (code == 0xD9) return sawFrame && sawScan;
    if (code == 0x00 || code == 0xD8) return false;
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;  // markers without a segment

    if (size - pos < 2) return false;
    const size_t length = BigEndian16(data + pos);
    if (length < 2 || length > size - pos) return false;
    if (IsFrameMarker(code)) {
      // Precision, then height and width, 16 bits each.
      if (sawFrame || length < 8) return false;
      height = static_cast<int>(BigEndian16(data + pos + 3));
      width = static_cast<int>(BigEndian16(data + pos + 5));
      sawFrame = true;
    }
    pos += length;
    if (code != 0xDA) continue;

    // The scan's compressed data: a 0xFF in it is followed by 0x00 (a stuffed byte) or a restart
    // marker; any other code ends it.
    if (!sawFrame) return false;
    sawScan = true;
    for (;;) {
      if (size - pos < 2) return false;
      if (data[pos] == 0xFF) {
        const uint8_t next = data[pos + 1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
          pos += 2;
          continue;
        }
        if (next != 0xFF) break;  // the next marker starts at pos
      }
      ++pos;
    }
  }
}

void Record(HRESULT result) {
  internal::RecordError("decode jpeg", std::string(), static_cast<int>(result));
}

// COM for this thread while the loader runs; a thread that already has another apartment keeps
// it.
class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (p_ != nullptr) p_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T** Out() { return &p_; }
  void** OutVoid() { return reinterpret_cast<void**>(&p_); }

 private:
  T* p_ = nullptr;
};

class MemoryDc {
 public:
  MemoryDc() : dc_(CreateCompatibleDC(nullptr)) {}
  ~MemoryDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

// A stream over a copy of the bytes; the stream frees the copy.
HRESULT OpenStream(const uint8_t* data, size_t size, ComRef<IStream>& stream) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (memory == nullptr) return E_OUTOFMEMORY;
  void* bytes = GlobalLock(memory);
  if (bytes == nullptr) {
    GlobalFree(memory);
    return E_OUTOFMEMORY;
  }
  std::memcpy(bytes, data, size);
  GlobalUnlock(memory);
  const HRESULT result = CreateStreamOnHGlobal(memory, TRUE, stream.Out());
  if (FAILED(result)) GlobalFree(memory);
  return result;
}

HRESULT Decode(const uint8_t* data, size_t size, int width, int height, RgbImage& image) {
  ComScope com;
  ComRef<IStream> stream;
  HRESULT result = OpenStream(data, size, stream);
  if (FAILED(result)) return result;
  ComRef<IPicture> picture;
  result =
      OleLoadPicture(stream.Get(), static_cast<LONG>(size), FALSE, IID_IPicture, picture.OutVoid());
  if (FAILED(result)) return result;
  SHORT type = PICTYPE_UNINITIALIZED;
  if (FAILED(result = picture->get_Type(&type))) return result;
  if (type != PICTYPE_BITMAP) return E_FAIL;
  OLE_HANDLE handle = 0;
  if (FAILED(result = picture->get_Handle(&handle))) return result;
  // GDI handles are 32-bit values, sign-extended in a 64-bit process.
  auto bitmap = reinterpret_cast<HBITMAP>(static_cast<LONG_PTR>(static_cast<LONG>(handle)));
  BITMAP info{};
  if (GetObjectW(bitmap, sizeof info, &info) != sizeof info) return E_FAIL;
  if (info.bmWidth != width || info.bmHeight != height) return E_FAIL;

  // Asking for a top-down 32-bit DIB gets the pixels whatever depth the loader chose.
  BITMAPINFO want{};
  want.bmiHeader.biSize = sizeof want.bmiHeader;
  want.bmiHeader.biWidth = width;
  want.bmiHeader.biHeight = -height;
  want.bmiHeader.biPlanes = 1;
  want.bmiHeader.biBitCount = 32;
  want.bmiHeader.biCompression = BI_RGB;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> bgrx(count * 4);
  MemoryDc dc;
  if (dc.Get() == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  if (GetDIBits(dc.Get(), bitmap, 0, static_cast<UINT>(height), bgrx.data(), &want,
                DIB_RGB_COLORS) != height) {
    return E_FAIL;
  }
  image.width = width;
  image.height = height;
  image.pixels.resize(count * 3);
  for (size_t i = 0; i < count; ++i) {
    image.pixels[i * 3] = bgrx[i * 4 + 2];
    image.pixels[i * 3 + 1] = bgrx[i * 4 + 1];
    image.pixels[i * 3 + 2] = bgrx[i * 4];
  }
  return S_OK;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, RgbImage& image) {
  image = RgbImage{};
  int width = 0;
  int height = 0;
  if (data == nullptr || size > LONG_MAX || !WalkMarkers(data, size, width, height) || width <= 0 ||
      height <= 0 || int64_t{width} * height > kMaxJpegPixels) {
    internal::RecordError("decode jpeg", std::string(), 0);
    return false;
  }
  HRESULT result;
  try {
    result = Decode(data, size, width, height, image);
  } catch (const std::bad_alloc&) {
    result = E_OUTOFMEMORY;
  }
  if (FAILED(result)) {
    image = RgbImage{};
    Record(result);
    return false;
  }
  return true;
}

}  // namespace platform

// The OEM code page on POSIX: chosen from the locale's language, converted with iconv; the ANSI
// code page is UTF-8, the system's own text.
#include "platform/code_pages.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

const char* IconvName(unsigned codePage) {
  switch (codePage) {
    case 866:
      return "CP866";
    case 932:
      return "CP932";
    case 936:
      return "CP936";
    case 949:
      return "CP949";
    case 950:
      return "CP950";
    default:
      return "CP437";
  }
}

// Converts `in` with the open descriptor `cd` into *out; false when the input is not text in the
// source encoding or a character has no exact equivalent in the target.
bool RunIconv(iconv_t cd, std::string_view in, std::string* out) {
  out->clear();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
  char* inPtr = const_cast<char*>(in.data());
  size_t inLeft = in.size();
  char chunk[256];
  while (inLeft > 0) {
    char* outPtr = chunk;
    size_t outLeft = sizeof chunk;
    const size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out->append(chunk, static_cast<size_t>(outPtr - chunk));
    // EILSEQ and EINVAL: not text in the source encoding, or no exact equivalent in the target.
    if (result == static_cast<size_t>(-1) && errno != E2BIG) return false;
    // Reversible conversions only: iconv counts the characters it had to approximate.
    if (result != static_cast<size_t>(-1) && result != 0) return false;
  }
  char* outPtr = chunk;
  size_t outLeft = sizeof chunk;
  if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
  out->append(chunk, static_cast<size_t>(outPtr - chunk));
  return true;
}

// One direction of conversion, opened for the current code page on first use and reopened when
// the locale names another one. Per thread: an iconv descriptor keeps state while it converts.
class Converter {
 public:
  explicit Converter(bool toUtf8) : toUtf8_(toUtf8) {}
  ~Converter() { Close(); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Convert(std::string_view in, std::string* out) {
    out->clear();
    return Open(OemCodePage()) && RunIconv(cd_, in, out);
  }

 private:
  bool Open(unsigned codePage) {
    if (cd_ != reinterpret_cast<iconv_t>(-1) && codePage == codePage_) return true;
    Close();
    const char* oem = IconvName(codePage);
    cd_ = toUtf8_ ? iconv_open("UTF-8", oem) : iconv_open(oem, "UTF-8");
    codePage_ = codePage;
    return cd_ != reinterpret_cast<iconv_t>(-1);
  }

  void Close() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    cd_ = reinterpret_cast<iconv_t>(-1);
  }

  bool toUtf8_;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
  unsigned codePage_ = 0;
};

const char* LocaleName() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "";
}

}  // namespace

unsigned OemCodePage() {
  return OemCodePageForLocale(LocaleName());
}

unsigned AnsiCodePage() {
  return 65001;
}

bool CodePageToUtf8(std::string_view text, unsigned codePage, std::string* utf8) {
  const std::string name = codePage == 65001 ? "UTF-8" : "CP" + std::to_string(codePage);
  const iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  const bool converted = RunIconv(cd, text, utf8);
  iconv_close(cd);
  return converted;
}

bool OemToUtf8(std::string_view oem, std::string* utf8) {
  thread_local Converter converter(true);
  return converter.Convert(oem, utf8);
}

bool Utf8ToOem(std::string_view utf8, std::string* oem) {
  thread_local Converter converter(false);
  return converter.Convert(utf8, oem);
}

}  // namespace platform

#include "base/codepage.h"

#include <errno.h>
#include <iconv.h>

namespace zoras {
namespace {

// iconv descriptors carry conversion state, so each call opens its own.
bool Convert(const char* to, const char* from, std::string_view in, std::string* out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->clear();
  char buf[256];
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  bool ok = true;
  while (src_left > 0) {
    char* dst = buf;
    size_t dst_left = sizeof buf;
    const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    out->append(buf, dst - buf);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

bool Utf8ToWindows1250(std::string_view text, std::string* out) {
  return Convert("WINDOWS-1250", "UTF-8", text, out);
}

bool Windows1250ToUtf8(std::string_view bytes, std::string* out) {
  return Convert("UTF-8", "WINDOWS-1250", bytes, out);
}

}  // namespace zoras

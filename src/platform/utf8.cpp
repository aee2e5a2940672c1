#include "platform/utf8.h"

namespace vantrel {

bool Utf8ToWide(std::string_view bytes, std::u16string* out) {
  out->resize(bytes.size());  // never more units than bytes
  char16_t* w = &(*out)[0];
  size_t n = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* const end = p + bytes.size();
  while (p < end) {
    const unsigned c = *p;
    if (c < 0x80) {
      w[n++] = static_cast<char16_t>(c);
      ++p;
      continue;
    }
    unsigned length, cp, min;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2, cp = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3, cp = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4, cp = c & 0x07, min = 0x10000;
    } else {
      return false;  // a continuation byte, C0, C1 or F5 to FF
    }
    if (static_cast<size_t>(end - p) < length) return false;
    for (unsigned k = 1; k < length; ++k) {
      const unsigned t = p[k];
      if ((t & 0xC0) != 0x80) return false;
      cp = cp << 6 | (t & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      w[n++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      w[n++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      w[n++] = static_cast<char16_t>(cp);
    }
    p += length;
  }
  out->resize(n);
  return true;
}

}  // namespace vantrel

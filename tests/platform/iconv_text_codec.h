// A TextCodec over glibc's iconv for the native tests: the system code page
// is chosen by the test (1252, 936 or 932), character set names go through
// the same name table as the Win32 codec. Strict both ways, like the Win32
// codec: bytes that are not valid and characters that have no exact form
// fail the conversion.
#pragma once

#include <iconv.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "platform/charset_names.h"
#include "platform/text_codec.h"

namespace vantrel {

inline const char* IconvNameOfCodePage(unsigned code_page) {
  switch (code_page) {
    case 65001: return "UTF-8";
    case 932: return "CP932";
    case 936: return "GBK";
    case 54936: return "GB18030";
    case 950: return "BIG5";
    case 949: return "CP949";
    case 20932: return "EUC-JP";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 28591: return "ISO-8859-1";
    case 28592: return "ISO-8859-2";
    case 28595: return "ISO-8859-5";
    case 28605: return "ISO-8859-15";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    default: return nullptr;
  }
}

class IconvTextCodec final : public TextCodec {
 public:
  explicit IconvTextCodec(unsigned ansi_code_page) : ansi_(IconvNameOfCodePage(ansi_code_page)) {}

  bool AnsiToWide(std::string_view ansi, std::u16string* out) const override {
    return Decode(ansi_, ansi, out);
  }

  bool WideToAnsi(std::u16string_view wide, std::string* out) const override {
    std::string in(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    return Convert("UTF-16LE", ansi_, in, out);
  }

  bool CharsetToWide(std::string_view charset, std::string_view bytes,
                     std::u16string* out) const override {
    const char* name = IconvNameOfCodePage(CodePageOfCharset(charset));
    return name && Decode(name, bytes, out);
  }

 private:
  static bool Decode(const char* from, std::string_view bytes, std::u16string* out) {
    std::string raw;
    if (!Convert(from, "UTF-16LE", bytes, &raw)) return false;
    out->assign(raw.size() / 2, u'\0');
    for (size_t i = 0; i < out->size(); ++i) {
      (*out)[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                        static_cast<unsigned char>(raw[2 * i + 1]) << 8);
    }
    return true;
  }

  static bool Convert(const char* from, const char* to, std::string_view in, std::string* out) {
    out->clear();
    if (!from || !to) return false;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string buffer(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    char* dst = &buffer[0];
    size_t dst_left = buffer.size();
    const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || src_left != 0) return false;
    // iconv counts irreversible conversions in r: a character without an
    // exact form in the target.
    if (r != 0) return false;
    out->assign(buffer.data(), buffer.size() - dst_left);
    return true;
  }

  const char* ansi_;
};

}  // namespace vantrel

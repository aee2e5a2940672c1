// The Win32 text codec: MultiByteToWideChar and WideCharToMultiByte, strict
// both ways, so that no byte the code page cannot read and no character it
// cannot hold turns into a replacement character or a best-fit look-alike.
#include <windows.h>

#include <climits>

#include "platform/charset_names.h"
#include "platform/text_codec.h"
#include "platform/utf8.h"

namespace vantrel {
namespace {

// Strings longer than an int can count are refused: the calls take int sizes.
bool Fits(size_t n) { return n <= static_cast<size_t>(INT_MAX / 4); }

bool ToWide(UINT code_page, std::string_view bytes, std::u16string* out) {
  out->clear();
  if (bytes.empty()) return true;
  if (!Fits(bytes.size())) return false;
  const int in = static_cast<int>(bytes.size());
  const int n = ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), in, nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  return ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), in,
                               reinterpret_cast<wchar_t*>(&(*out)[0]), n) == n;
}

class SystemCodec final : public TextCodec {
 public:
  bool AnsiToWide(std::string_view ansi, std::u16string* out) const override {
    return ToWide(CP_ACP, ansi, out);
  }

  bool WideToAnsi(std::u16string_view wide, std::string* out) const override {
    out->clear();
    if (wide.empty()) return true;
    if (!Fits(wide.size())) return false;
    const wchar_t* w = reinterpret_cast<const wchar_t*>(wide.data());
    const int in = static_cast<int>(wide.size());
    BOOL used_default = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w, in, nullptr, 0, nullptr,
                                        &used_default);
    if (n <= 0 || used_default) return false;
    out->resize(static_cast<size_t>(n));
    used_default = FALSE;
    return ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w, in, &(*out)[0], n, nullptr,
                                 &used_default) == n &&
           !used_default;
  }

  bool CharsetToWide(std::string_view charset, std::string_view bytes,
                     std::u16string* out) const override {
    const unsigned code_page = CodePageOfCharset(charset);
    if (code_page == 0) return false;
    // The most common one without a system call.
    if (code_page == CP_UTF8) return Utf8ToWide(bytes, out);
    return ToWide(code_page, bytes, out);
  }
};

}  // namespace

const TextCodec& SystemTextCodec() {
  static const SystemCodec codec;
  return codec;
}

}  // namespace vantrel

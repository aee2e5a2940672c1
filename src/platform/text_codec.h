// Conversions between the system's ANSI code page, UTF-16 and the character
// sets that address books name, behind an interface so that window-free code
// (the card reader, the name matcher) can use them and be tested natively.
// The Win32 implementation (MultiByteToWideChar / WideCharToMultiByte) is
// SystemTextCodec(); native tests bring their own.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

class TextCodec {
 public:
  virtual ~TextCodec() = default;
  // System ANSI code page -> UTF-16. False (and *out unspecified) when the
  // bytes are not valid in the code page.
  virtual bool AnsiToWide(std::string_view ansi, std::u16string* out) const = 0;
  // UTF-16 -> system ANSI code page. False when a character has no exact
  // representation there (no best-fit, no default character).
  virtual bool WideToAnsi(std::u16string_view wide, std::string* out) const = 0;
  // Bytes in the named character set ("UTF-8", "SHIFT_JIS", "GBK", ...,
  // letter case ignored) -> UTF-16. False for an unknown set or bytes that
  // are not valid in it.
  virtual bool CharsetToWide(std::string_view charset, std::string_view bytes,
                             std::u16string* out) const = 0;
};

// The process's codec for the system's ANSI code page (Win32 builds only).
const TextCodec& SystemTextCodec();

}  // namespace vantrel

// Strict UTF-8 to UTF-16, free of window calls: what MultiByteToWideChar
// with CP_UTF8 and MB_ERR_INVALID_CHARS accepts, without a system call per
// value (most character sets named in address books are UTF-8).
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// False (and *out unspecified) for bytes that are not UTF-8: a stray or
// missing continuation byte, an over-long form, an encoded surrogate, a
// code point above U+10FFFF. Code points above U+FFFF become surrogate pairs.
bool Utf8ToWide(std::string_view bytes, std::u16string* out);

}  // namespace vantrel

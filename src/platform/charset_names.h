// The Windows code page that a character set name stands for, as address
// books write it after CHARSET=. Free of window calls: the Win32 text codec
// and the native test codec share it.
#pragma once

#include <string_view>

namespace vantrel {

// 0 for a name not known. Letter case is ignored, and '_' reads as '-'
// ("Shift_JIS", "SHIFT-JIS"). Names of a code page's superset map to the
// superset that Windows uses for them (Shift_JIS to 932, GB2312 to 936,
// EUC-KR to 949), as Windows mail programs do when they read mail.
unsigned CodePageOfCharset(std::string_view name);

}  // namespace vantrel

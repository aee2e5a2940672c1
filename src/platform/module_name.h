// The application name of a module: its file name without folder and
// extension. Window-free, so that the walk over double-byte paths can be
// tested without the system.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vantrel {

// The part of `path` after its last '\' or '/' and before the last '.' of
// that part. lead[b] is true when byte b starts a double-byte character of
// the path's code page: the second byte of such a character may be 0x5C
// (code page 932: "\x83\x5c") and is no separator.
std::string FileBaseName(std::string_view path, const std::array<bool, 256>& lead);

}  // namespace vantrel

// Walks over text in a double-byte code page (936, 932, ...) that must not
// take the second byte of a character for a character of its own: that byte
// may be 0x5C, the byte of '\' (code page 936: "\x95\x5c", code page 932:
// "\x83\x5c"). Window-free: the code page comes in as a table of lead bytes,
// so the walks are tested without the system (AnsiLeadBytes() in ansi.h
// gives the system's table).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace vantrel {

// lead[b] is true when byte b starts a double-byte character of the code
// page that the text is in.
using LeadBytes = std::array<bool, 256>;

// The position just after the last '\' that is a character of its own, 0 if
// there is none. A lead byte at the very end has no trail and stays one
// character.
size_t AfterLastBackslash(std::string_view path, const LeadBytes& lead);

// Whether the last character (not byte) of `path` is '\'.
bool EndsWithBackslash(std::string_view path, const LeadBytes& lead);

// The application name of a module: the part of `path` after its last '\'
// or '/' and before the last '.' of that part.
std::string FileBaseName(std::string_view path, const LeadBytes& lead);

}  // namespace vantrel

// Wildcard match of a file name against one include pattern.
//
// "*" matches any run of bytes (the empty run too), "?" exactly one byte;
// every other pattern byte must equal the text byte, letter case included.
// The backslash has no meaning of its own, so "*" runs across folder
// separators. Text and pattern are ANSI strings taken byte by byte: a
// double-byte character is two characters here.
#pragma once

namespace vantrel {

// Both arguments must be non-null and null-terminated.
bool MatchWildcard(const char* text, const char* pattern);

}  // namespace vantrel

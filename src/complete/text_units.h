// Positions in the field's text, counted two ways. The token routines count
// bytes of the ANSI text; an "Edit" control counts in its own unit, which is
// bytes where the control keeps ANSI text and characters where it keeps
// UTF-16 (Wine's does, for ANSI windows too): one per single-byte or
// double-byte character of the code page. Which one a control uses shows
// once its text holds a double-byte character: its length in its own unit
// then differs between the two.
#pragma once

#include <string_view>

#include "platform/multibyte.h"

namespace vantrel {

enum class PositionUnit { kUnknown, kBytes, kChars };

// True when the text holds a byte that starts a double-byte character; only
// then do the two counts differ.
bool HasDoubleByte(std::string_view text, const LeadBytes& lead);

// The number of characters that start before byte_index (clamped into the
// text): a byte index inside a double-byte character counts that character.
// A lead byte at the very end, with no trail, is one character.
int CharIndexOfByte(std::string_view text, int byte_index, const LeadBytes& lead);

// The byte index at which character char_index starts; the text's length for
// an index at or past its last character, 0 for a negative one.
int ByteIndexOfChar(std::string_view text, int char_index, const LeadBytes& lead);

// The unit of a control that reports control_length for the text it holds:
// kUnknown while the text cannot tell (no double-byte character) or when the
// length fits neither count.
PositionUnit UnitFromLength(int control_length, std::string_view text, const LeadBytes& lead);

}  // namespace vantrel

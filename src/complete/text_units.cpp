#include "complete/text_units.h"

namespace vantrel {

bool HasDoubleByte(std::string_view text, const LeadBytes& lead) {
  for (char c : text) {
    if (lead[static_cast<unsigned char>(c)]) return true;
  }
  return false;
}

int CharIndexOfByte(std::string_view text, int byte_index, const LeadBytes& lead) {
  const int n = static_cast<int>(text.size());
  const int end = byte_index < 0 ? 0 : (byte_index > n ? n : byte_index);
  int chars = 0;
  // Forward from the start: only a forward walk tells a trail byte from a
  // character of its own.
  for (int i = 0; i < end; ++chars) {
    i += (lead[static_cast<unsigned char>(text[i])] && i + 1 < n) ? 2 : 1;
  }
  return chars;
}

int ByteIndexOfChar(std::string_view text, int char_index, const LeadBytes& lead) {
  const int n = static_cast<int>(text.size());
  int i = 0;
  for (int chars = 0; chars < char_index && i < n; ++chars) {
    i += (lead[static_cast<unsigned char>(text[i])] && i + 1 < n) ? 2 : 1;
  }
  return i;
}

PositionUnit UnitFromLength(int control_length, std::string_view text, const LeadBytes& lead) {
  if (!HasDoubleByte(text, lead)) return PositionUnit::kUnknown;
  if (control_length == static_cast<int>(text.size())) return PositionUnit::kBytes;
  if (control_length == CharIndexOfByte(text, static_cast<int>(text.size()), lead)) {
    return PositionUnit::kChars;
  }
  return PositionUnit::kUnknown;
}

}  // namespace vantrel

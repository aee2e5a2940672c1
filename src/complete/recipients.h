// The addresses in a recipient field's text ("a@x, Ann <b@y>, ..."), as the
// plug-in counts them when a message goes out. Free of window calls.
#pragma once

#include <string_view>
#include <vector>

namespace vantrel {

// Splits at ",", trims blanks (spaces and tabs) around each piece, and takes
// the text between '<' and '>' from a "Name <addr>" piece. A comma inside a
// double-quoted name ("Doe, Ann" <a@x>) does not split, unless a quote is
// left open. Empty pieces give nothing. The views point into `text`. The
// separators, quotes and brackets are ASCII bytes below 0x40, which no
// double-byte character of the ANSI code pages uses as its second byte, so
// the split needs no lead-byte table.
std::vector<std::string_view> SplitRecipients(std::string_view text);

}  // namespace vantrel

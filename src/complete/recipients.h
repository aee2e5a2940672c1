// The addresses in a recipient field's text ("a@x, Ann <b@y>, ..."), as the
// plug-in counts them when a message goes out. Free of window calls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "complete/usage_book.h"

namespace vantrel {

// Splits at ",", trims blanks (spaces and tabs) around each piece, and takes
// the text between '<' and '>' from a "Name <addr>" piece. A comma inside a
// double-quoted name ("Doe, Ann" <a@x>) does not split, unless a quote is
// left open. Empty pieces give nothing. The views point into `text`. The
// separators, quotes and brackets are ASCII bytes below 0x40, which no
// double-byte character of the ANSI code pages uses as its second byte, so
// the split needs no lead-byte table.
std::vector<std::string_view> SplitRecipients(std::string_view text);

// Counts one use at `now` of every address in a recipient field's text, each
// once however often the text names it (compared by folded key: `fold`
// upper-cases an address as the index keys are). At most
// UsageBook::kMaxAddresses addresses of one message are counted, the first
// ones: a pasted list of thousands must not stall the send. Returns the
// number counted.
size_t CountRecipients(std::string_view text,
                       const std::function<void(std::string_view, std::string*)>& fold,
                       int64_t now, UsageBook* book);

}  // namespace vantrel

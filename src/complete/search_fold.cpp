#include "complete/search_fold.h"

#include "platform/ansi.h"

namespace vantrel {
namespace {

// A whole list at once through the folder's table; one token through the
// same mapping (AnsiUpperFolder gives the bytes UpperAnsi gives).
struct ListFold {
  const AnsiUpperFolder& folder;
  void operator()(std::string_view s, std::string* out) const { folder.Fold(s, out); }
};

void FoldToken(std::string_view s, std::string* out) { *out = UpperAnsi(std::string(s)); }

}  // namespace

std::shared_ptr<const SearchIndex> BuildSearchIndex(const std::vector<std::string>& entries) {
  const AnsiUpperFolder folder;
  return BuildFoldedIndex(entries, ListFold{folder});
}

void MatchToken(PrefixMatcher* matcher, const SearchIndex& index, int start_after,
                const std::string& token, std::vector<uint32_t>* out) {
  MatchFolded(matcher, index, start_after, token, &FoldToken, out);
}

}  // namespace vantrel

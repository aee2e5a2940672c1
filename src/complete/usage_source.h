// What a completion field in the name mode asks of whoever keeps the record
// of use: the book to rank its rows by, and taking an address out of the
// suggestions. The plug-in supplies it (with the store behind it); tests
// bring their own. Free of window calls.
#pragma once

#include <string_view>

#include "complete/usage_book.h"

namespace vantrel {

class UsageSource {
 public:
  virtual ~UsageSource() = default;
  // The book to rank by; may read the store the first time.
  virtual const UsageBook& Book() = 0;
  // The user deleted the suggestion `address` (as the row shows it).
  virtual void Hide(std::string_view address) = 0;
};

}  // namespace vantrel

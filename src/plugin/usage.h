// The plug-in's record of whom the user writes to, for the name mode: which
// addresses the user sends to (counted when a message goes out, with decay)
// and which suggestions the user deleted. Kept in
// "<data folder><application name>.usage"; read at the first need, written
// after each send and each deletion. With the name mode off nothing is
// counted, read or written.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "complete/usage_book.h"
#include "complete/usage_file.h"
#include "complete/usage_source.h"
#include "platform/ansi.h"

namespace vantrel {

class CUsage : public UsageSource {
 public:
  const UsageBook& Book() override;
  void Hide(std::string_view address) override;
  // Counts one use of every address in a recipient field's text, then
  // writes the store once.
  void RecordSend(std::string_view recipients);

  // The store, once read (null before).
  const UsageFile* file() const { return file_.get(); }
  // Forgets the book; the next need reads the store again (tests, and a
  // module that is loaded again in the same process starts clean anyway).
  void Reset();

 private:
  void Load();
  const std::string& Key(std::string_view address);
  void Save();

  bool loaded_ = false;
  UsageBook book_;
  std::unique_ptr<UsageFile> file_;
  std::unique_ptr<AnsiUpperFolder> folder_;
  std::string key_;
};

// The About text's line on the record of use: what is kept, where, and how
// to clear it, in the system's language.
std::string UsageAboutLine();

// The body of BKC_OnOutgoing: in the name mode, counts the recipients in the
// compose window's completion field before the field goes; then detaches.
int OutgoingMessage(HWND compose);

}  // namespace vantrel

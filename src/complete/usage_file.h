// The usage store on disk: "<data folder><application name>.usage", read
// once and replaced whole, atomically, after each send.
//
// Two host processes may share one data folder. Each keeps its own book and
// writes the whole of it; the file is always one writer's complete store (the
// last one's), never a mix, because every write goes to a temporary file of
// its own process ("<store>.<process id>.tmp") and is renamed over the store.
// A temporary file that a crash left behind is never read, and is deleted at
// the next load once it is old enough not to be a write under way.
#pragma once

#include <string>

#include "complete/usage_book.h"
#include "complete/usage_store.h"

namespace vantrel {

class UsageFile {
 public:
  // `folder` ends with a backslash (the host's data folder does).
  UsageFile(std::string folder, std::string app_name);

  // Replaces *book with the store's addresses (empty for a missing,
  // truncated or damaged store) and clears stale temporary files.
  UsageStoreState Load(UsageBook* book);
  // Replaces the store with the whole book. False, and nothing written, when
  // the store may not be replaced (a newer version's, or one that could not
  // be read) or the write fails (a read-only folder, a full disk): the book
  // then lives in memory only.
  bool Save(const UsageBook& book);

  UsageStoreState state() const { return state_; }
  const std::string& path() const { return path_; }
  // This process's temporary file.
  std::string TempPath() const;

  // A temporary file younger than this may be a write under way.
  static constexpr int kStaleTempSeconds = 60;

 private:
  std::string folder_;
  std::string name_;  // "<application name>.usage"
  std::string path_;
  UsageStoreState state_ = UsageStoreState::kMissing;
};

}  // namespace vantrel

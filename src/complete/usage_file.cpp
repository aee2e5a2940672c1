#include "complete/usage_file.h"

#include <windows.h>

#include <cstdio>

#include "platform/files.h"

namespace vantrel {

UsageFile::UsageFile(std::string folder, std::string app_name)
    : folder_(std::move(folder)), name_(std::move(app_name) + ".usage"), path_(folder_ + name_) {}

std::string UsageFile::TempPath() const {
  char pid[16];
  std::snprintf(pid, sizeof pid, ".%lx.tmp", static_cast<unsigned long>(::GetCurrentProcessId()));
  return path_ + pid;
}

UsageStoreState UsageFile::Load(UsageBook* book) {
  *book = UsageBook();
  DeleteStaleFiles(folder_, name_ + ".", ".tmp", kStaleTempSeconds);
  std::string bytes;
  switch (ReadFilePrefix(path_, kUsageStoreMaxBytes, &bytes)) {
    case FileReadResult::kMissing:
      state_ = UsageStoreState::kMissing;
      break;
    case FileReadResult::kFailed:
      state_ = UsageStoreState::kUnopenable;
      break;
    case FileReadResult::kRead:
      state_ = ParseUsageStore(bytes, book);
      break;
  }
  return state_;
}

bool UsageFile::Save(const UsageBook& book) {
  if (!MayReplaceUsageStore(state_)) return false;
  return ReplaceFileAtomically(path_, TempPath(), SerializeUsageStore(book));
}

}  // namespace vantrel

// Whole small files: reading a bounded prefix, replacing a file atomically,
// and clearing temporary files that a crashed writer left behind. ANSI paths
// (the host's data folder is an ANSI string).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

enum class FileReadResult { kRead, kMissing, kFailed };

// Reads at most `max_bytes` bytes from the start of the file into *out.
// kMissing when the file or its folder does not exist; kFailed when it
// exists but cannot be opened or read (locked, no access).
FileReadResult ReadFilePrefix(const std::string& path, size_t max_bytes, std::string* out);

// Writes `bytes` to `temp` (made anew), flushes it to the disk, and moves it
// over `path` with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH, so
// that a reader sees the old file or the new one whole, never a mix. A
// rename that another process's open handle refuses is tried again for up
// to about a third of a second. On any
// failure (a read-only folder, a full disk) the temporary file is removed,
// `path` is left as it was, and the result is false.
bool ReplaceFileAtomically(const std::string& path, const std::string& temp,
                           std::string_view bytes);

// Deletes the files in `folder` (ending with a backslash) whose names begin
// with `prefix` and end with `suffix`, that were last written at least
// `min_age_seconds` ago. A young file may be another process's write under
// way; one that is open without delete sharing is skipped by the system.
// Returns the number deleted.
int DeleteStaleFiles(const std::string& folder, const std::string& prefix,
                     const std::string& suffix, int64_t min_age_seconds);

// The system clock as seconds since 1970-01-01 UTC.
int64_t UnixTimeNow();

}  // namespace vantrel

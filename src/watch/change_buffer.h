// Taking apart one completed directory read: a run of FILE_NOTIFY_INFORMATION
// records in a byte buffer, turned into full paths for a ChangeSink.
//
// The records come from the system but are read as untrusted bytes: every
// field is copied out with memcpy (Wine packs records on 2-byte boundaries,
// so a cast to a DWORD-aligned struct would be wrong), every offset is
// checked against the bytes actually delivered, and nothing outside the
// buffer is ever touched.
//
// A rename arrives as an old-name record followed by a new-name record. When
// the old name is the last record of a read, its partner comes with the next
// read; the old-name record is then kept at the buffer's start and the next
// read is issued behind it, so the next walk sees the pair again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "watch/change_filter.h"

namespace vantrel {

// FILE_NOTIFY_INFORMATION: three little-endian DWORDs, then the name in
// UTF-16 without terminator.
constexpr size_t kNotifyNextEntryOffset = 0;
constexpr size_t kNotifyAction = 4;
constexpr size_t kNotifyNameLength = 8;
constexpr size_t kNotifyHeaderSize = 12;

constexpr uint32_t kFileActionAdded = 1;
constexpr uint32_t kFileActionRemoved = 2;
constexpr uint32_t kFileActionModified = 3;
constexpr uint32_t kFileActionRenamedOldName = 4;
constexpr uint32_t kFileActionRenamedNewName = 5;

// One read's buffer, and the longest name taken from a record (in UTF-16
// code units; the rest of a longer name is cut).
constexpr size_t kChangeBufferSize = 4096;
constexpr size_t kMaxNameUnits = 260;

// Converts a record's UTF-16 name (already cut to kMaxNameUnits) to the
// system's ANSI code page.
using NameConverter = std::function<std::string(const char16_t* units, size_t count)>;

// Receives the changes of one walk, in record order.
class ChangeSink {
 public:
  virtual void Added(const std::string& path) = 0;
  virtual void Removed(const std::string& path) = 0;
  virtual void Modified(const std::string& path) = 0;
  virtual void Renamed(const std::string& old_path, const std::string& new_path) = 0;

 protected:
  ~ChangeSink() = default;
};

// The watched directory, a backslash unless it already ends with one, then
// the record's name (which holds subfolders when the subtree is watched).
std::string JoinWatchPath(const std::string& directory, const std::string& name,
                          const LeadBytes& lead);

class ChangeBufferReader {
 public:
  // `valid_bytes` is what the buffer holds from its start: the kept record
  // of the previous walk plus the bytes the read delivered behind it.
  ChangeBufferReader(unsigned char* buffer, size_t size, size_t valid_bytes);

  // Reports every record to the sink and returns the kept length: 0, or the
  // size of an unpaired old-name record now copied to the buffer's start
  // (rounded up to 4 so the next read, issued behind it, is DWORD-aligned;
  // its next-entry offset points there).
  //
  // An old-name record followed by anything but a new-name record is
  // reported as a removal of the old name, so an unrelated record is never
  // taken for the new name. A new-name record without its old name is
  // skipped, as is any unknown action. A record that does not fit in the
  // valid bytes ends the walk.
  size_t Walk(const std::string& directory, const NameConverter& convert,
              const LeadBytes& lead, ChangeSink& sink);

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  uint32_t Field(size_t record, size_t field) const;
  bool RecordFits(size_t record) const;
  size_t NextRecord(size_t record) const;
  std::string FullPath(size_t record, const std::string& directory, const NameConverter& convert,
                       const LeadBytes& lead) const;
  size_t KeepOldName(size_t record);

  unsigned char* buffer_;
  size_t size_;
  size_t valid_;
};

}  // namespace vantrel

#include "watch/change_buffer.h"

#include <algorithm>
#include <cstring>

namespace vantrel {

std::string JoinWatchPath(const std::string& directory, const std::string& name,
                          const LeadBytes& lead) {
  std::string path = directory;
  if (!EndsWithBackslash(directory, lead)) path += '\\';
  path += name;
  return path;
}

ChangeBufferReader::ChangeBufferReader(unsigned char* buffer, size_t size, size_t valid_bytes)
    : buffer_(buffer), size_(size), valid_(std::min(valid_bytes, size)) {}

uint32_t ChangeBufferReader::Field(size_t record, size_t field) const {
  uint32_t value;
  std::memcpy(&value, buffer_ + record + field, sizeof value);
  return value;
}

bool ChangeBufferReader::RecordFits(size_t record) const {
  if (record > valid_ || valid_ - record < kNotifyHeaderSize) return false;
  return Field(record, kNotifyNameLength) <= valid_ - record - kNotifyHeaderSize;
}

size_t ChangeBufferReader::NextRecord(size_t record) const {
  const uint32_t offset = Field(record, kNotifyNextEntryOffset);
  if (offset == 0 || offset > valid_ - record) return kNone;
  const size_t next = record + offset;
  return RecordFits(next) ? next : kNone;
}

std::string ChangeBufferReader::FullPath(size_t record, const std::string& directory,
                                         const NameConverter& convert,
                                         const LeadBytes& lead) const {
  const size_t units = std::min<size_t>(Field(record, kNotifyNameLength) / 2, kMaxNameUnits);
  // Copied out: the name may sit on an odd boundary.
  std::u16string name(units, u'\0');
  if (units) std::memcpy(&name[0], buffer_ + record + kNotifyHeaderSize, units * 2);
  return JoinWatchPath(directory, convert ? convert(name.data(), units) : std::string(), lead);
}

size_t ChangeBufferReader::KeepOldName(size_t record) {
  const uint32_t name_bytes =
      static_cast<uint32_t>(std::min<size_t>(Field(record, kNotifyNameLength), kMaxNameUnits * 2));
  const size_t record_bytes = kNotifyHeaderSize + name_bytes;
  const size_t kept = (record_bytes + 3) & ~static_cast<size_t>(3);
  // The partner needs room in the next read; a kept record of at most
  // 12 + 520 bytes always leaves most of the buffer free.
  if (kept >= size_) return 0;
  std::memmove(buffer_, buffer_ + record, record_bytes);
  const uint32_t next = static_cast<uint32_t>(kept);
  std::memcpy(buffer_ + kNotifyNextEntryOffset, &next, sizeof next);
  std::memcpy(buffer_ + kNotifyNameLength, &name_bytes, sizeof name_bytes);
  std::memset(buffer_ + record_bytes, 0, kept - record_bytes);
  return kept;
}

size_t ChangeBufferReader::Walk(const std::string& directory, const NameConverter& convert,
                                const LeadBytes& lead, ChangeSink& sink) {
  size_t kept = 0;
  size_t record = 0;
  if (!buffer_ || !RecordFits(record)) return 0;
  for (;;) {
    size_t next = NextRecord(record);
    switch (Field(record, kNotifyAction)) {
      case kFileActionAdded:
        sink.Added(FullPath(record, directory, convert, lead));
        break;
      case kFileActionRemoved:
        sink.Removed(FullPath(record, directory, convert, lead));
        break;
      case kFileActionModified:
        sink.Modified(FullPath(record, directory, convert, lead));
        break;
      case kFileActionRenamedOldName: {
        if (next == kNone) {
          kept = KeepOldName(record);
          if (!kept) sink.Removed(FullPath(record, directory, convert, lead));
          break;
        }
        const std::string old_path = FullPath(record, directory, convert, lead);
        if (Field(next, kNotifyAction) == kFileActionRenamedNewName) {
          sink.Renamed(old_path, FullPath(next, directory, convert, lead));
          record = next;  // the new-name record is consumed with its partner
          next = NextRecord(record);
        } else {
          sink.Removed(old_path);
        }
        break;
      }
      default:
        break;
    }
    if (next == kNone) break;
    record = next;
  }
  return kept;
}

}  // namespace vantrel

// How often the user writes to each address, and which addresses the user has
// taken out of the suggestions. Free of window calls; time comes from the
// caller (seconds since 1970, UTC), so tests drive the clock.
//
// How this works:
//  - Each address (its folded key: upper-cased through the code page, the
//    same bytes the search index keys on) has a use score that decays: a use
//    counts 1 when it happens and half as much 30 days later. The score is
//    kept as (score at the last use, time of the last use) and brought
//    forward only when the address is used again, so nothing ages in place.
//  - The order of two addresses never changes as time passes (both decay by
//    the same factor), so each entry also carries a rank key,
//    log2(score) + time / half-life, that compares the scores at any moment
//    without a clock.
//  - At most kMaxAddresses addresses are kept; the least used leaves first,
//    and an address that the user hid leaves only when nothing else can, so
//    that hidden suggestions do not come back just because others were used.
//  - generation() changes with every change, so that a cached ranking can
//    tell it is stale. Generations are drawn from one counter for the
//    process, so a book emptied or assigned anew never repeats one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vantrel {

class UsageBook {
 public:
  static constexpr size_t kMaxAddresses = 5000;
  // Longer keys are not kept: no address book line is that long, and the
  // store stays bounded.
  static constexpr size_t kMaxKeyBytes = 512;
  static constexpr int64_t kHalfLifeSeconds = 30 * 24 * 60 * 60;
  // A score never grows beyond this (one use a second for ever stays below
  // it); the store's reader rejects larger ones.
  static constexpr double kMaxScore = 1e7;

  struct Entry {
    double score = 0;  // at `time`; 0 for an address hidden but never used
    int64_t time = 0;  // seconds since 1970 (UTC) of the last use
    bool hidden = false;
    double rank = 0;  // RankKey(score, time)
  };

  // Compares scores at any common moment: larger is more used.
  static double RankKey(double score, int64_t time);
  // The score of an entry as seen at `now`.
  static double ScoreAt(const Entry& e, int64_t now);

  // One use of the address at `now`: it also shows again if it was hidden.
  // Empty and overlong keys are ignored.
  void RecordUse(std::string_view key, int64_t now);
  // Takes the address out of the suggestions (its score stays).
  void Hide(std::string_view key);
  // Puts an entry as read from a store. False for an entry that is not sound
  // (key empty, too long or with a NUL byte; score not finite, negative or
  // above kMaxScore; time negative) or a key already present.
  bool Restore(std::string_view key, const Entry& e);

  const Entry* Find(std::string_view key) const;
  bool IsHidden(std::string_view key) const;
  size_t size() const { return entries_.size(); }
  const std::unordered_map<std::string, Entry>& entries() const { return entries_; }
  uint64_t generation() const { return generation_; }

  // Drops the least used entries (hidden ones last) down to kMaxAddresses.
  void Trim();

 private:
  Entry& Slot(std::string_view key);

  std::unordered_map<std::string, Entry> entries_;
  uint64_t generation_ = NextGeneration();

  static uint64_t NextGeneration();
};

}  // namespace vantrel

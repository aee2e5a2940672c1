#include "complete/usage_book.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace vantrel {

double UsageBook::RankKey(double score, int64_t time) {
  if (!(score > 0)) return -std::numeric_limits<double>::infinity();
  return std::log2(score) + static_cast<double>(time) / kHalfLifeSeconds;
}

double UsageBook::ScoreAt(const Entry& e, int64_t now) {
  // A clock set back (or a store from a machine ahead of this one) does not
  // make a use count more than once.
  const int64_t age = now > e.time ? now - e.time : 0;
  return e.score * std::exp2(-static_cast<double>(age) / kHalfLifeSeconds);
}

uint64_t UsageBook::NextGeneration() {
  // Books live on the UI thread only, like everything else they serve.
  static uint64_t counter = 0;
  return ++counter;
}

UsageBook::Entry& UsageBook::Slot(std::string_view key) {
  generation_ = NextGeneration();
  return entries_[std::string(key)];
}

void UsageBook::RecordUse(std::string_view key, int64_t now) {
  if (key.empty() || key.size() > kMaxKeyBytes) return;
  Entry& e = Slot(key);
  const double score = std::min(ScoreAt(e, now) + 1, kMaxScore);
  e.score = score;
  e.time = std::max(e.time, now);
  e.hidden = false;
  e.rank = RankKey(e.score, e.time);
  if (entries_.size() > kMaxAddresses) Trim();
}

void UsageBook::Hide(std::string_view key) {
  if (key.empty() || key.size() > kMaxKeyBytes) return;
  Entry& e = Slot(key);
  if (e.hidden) return;
  e.hidden = true;
  e.rank = RankKey(e.score, e.time);
  if (entries_.size() > kMaxAddresses) Trim();
}

bool UsageBook::Restore(std::string_view key, const Entry& in) {
  if (key.empty() || key.size() > kMaxKeyBytes || key.find('\0') != std::string_view::npos) {
    return false;
  }
  if (!std::isfinite(in.score) || in.score < 0 || in.score > kMaxScore || in.time < 0) {
    return false;
  }
  if (entries_.count(std::string(key))) return false;
  Entry& e = Slot(key);
  e = in;
  e.rank = RankKey(e.score, e.time);
  return true;
}

const UsageBook::Entry* UsageBook::Find(std::string_view key) const {
  auto it = entries_.find(std::string(key));
  return it == entries_.end() ? nullptr : &it->second;
}

bool UsageBook::IsHidden(std::string_view key) const {
  const Entry* e = Find(key);
  return e && e->hidden;
}

void UsageBook::Trim() {
  if (entries_.size() <= kMaxAddresses) return;
  using It = std::unordered_map<std::string, Entry>::iterator;
  std::vector<It> all;
  all.reserve(entries_.size());
  for (It it = entries_.begin(); it != entries_.end(); ++it) all.push_back(it);
  // Least used first; hidden entries after every shown one; equal ranks by
  // key, so that which one goes does not depend on the hash table's order.
  auto less_used = [](It a, It b) {
    if (a->second.hidden != b->second.hidden) return !a->second.hidden;
    if (a->second.rank != b->second.rank) return a->second.rank < b->second.rank;
    return a->first < b->first;
  };
  const size_t drop = entries_.size() - kMaxAddresses;
  std::nth_element(all.begin(), all.begin() + (drop - 1), all.end(), less_used);
  for (size_t i = 0; i < drop; ++i) entries_.erase(all[i]);
  generation_ = NextGeneration();
}

}  // namespace vantrel

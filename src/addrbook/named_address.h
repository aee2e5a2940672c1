// One row of the name mode: an address and the names of the card it came
// from. Free of window calls.
#pragma once

#include <string>
#include <vector>

namespace vantrel {

struct NamedAddress {
  // The EMAIL value in the system's ANSI code page, its surrounding blanks
  // trimmed. Rows come in reading order, one per EMAIL property; rows whose
  // addresses differ only in letter case are collapsed later, by the index
  // (the first wins).
  std::string address;
  // What the pop-up shows beside the address, in the system's ANSI code
  // page: FN, else N's parts joined (with blanks in Latin order, run
  // together family first for Han, kana and Hangul); empty when the card has
  // no name that the code page can hold.
  std::string display_name;
  // Every name of the card in UTF-16, each a whole name: FN, N's parts
  // (family, given, additional, prefix, suffix; each its own entry, so that
  // the given name starts a name of its own), every NICKNAME.
  std::vector<std::u16string> names;
  // Readings (SOUND, X-IRMC-N's parts, X-PHONETIC-*-NAME) in UTF-16, as
  // written: kana or Latin letters.
  std::vector<std::u16string> readings;
};

// Takes rows one at a time as the card reader makes them, on the thread the
// reader runs on (ParseAddressBooks reads cards on a thread of its own). The
// row passed is the reader's own and is reused for the next one: copy what
// is kept. Going
// through a sink spares a reader of 100,000 cards the allocation of every
// row's strings twice (once in a row array, once in the index).
class NamedAddressSink {
 public:
  virtual ~NamedAddressSink() = default;
  virtual void Take(const NamedAddress& row) = 0;
};

}  // namespace vantrel

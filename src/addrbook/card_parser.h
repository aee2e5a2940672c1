// The name mode's reading of an address book: its cards, each card's names
// and readings, and one row per EMAIL property. Free of window calls; the
// character sets go through a TextCodec, apart from UTF-8, decoded here as
// the system codec decodes it.
//
// Fed the same chunks as CAddressParser and reading the same lines (LF ends
// a line, CR LF reads as LF, a byte 0x1A ends the data), so that one read of
// a file serves both modes.
//
// What it reads:
//  - A card runs from a line BEGIN:VCARD to a line END:VCARD (letter case
//    ignored, blanks around the value too). A BEGIN:VCARD inside a card ends
//    the open card and starts a new one; a card still open at the end of the
//    data ends there. Either way the open card's rows are kept, with the
//    names read so far. A stray END:VCARD is ignored.
//  - Inside a card a line NAME;PARAMS:VALUE, the name in any letter case, a
//    "group." prefix dropped. A line that begins with a blank or a tab
//    continues the one before, that one character dropped. In a value whose
//    parameters say ENCODING=QUOTED-PRINTABLE (or, as vCard 2.1 writes it,
//    QUOTED-PRINTABLE alone), a line ending in '=' is continued by the next
//    line whatever it begins with, unless that line is BEGIN:VCARD or
//    END:VCARD (a broken value must not swallow the card's end).
//  - Names: FN; N's five parts (family;given;additional;prefix;suffix) each
//    its own name; NICKNAME split at ','. Readings: SOUND and X-IRMC-N split
//    at ';' (their N-like form), X-PHONETIC-FIRST-NAME, -LAST-NAME and
//    -MIDDLE-NAME. SOUND with BASE64/B encoding or a URI/URL value is sound,
//    not text, and skipped.
//  - A name value: quoted-printable decoded ("=XX", soft line breaks; a '='
//    not followed by two hex digits stays as it is), cut at a NUL byte,
//    converted to UTF-16 from its CHARSET or, without one, from the system
//    code page, split, vCard 3.0 escapes undone (\\ \, \; \: and \n or \N,
//    which becomes a blank: names are shown on one line), blanks trimmed.
//    Splitting and escapes work on UTF-16, so a double-byte character whose
//    second byte is 0x5C is never taken for a backslash. A name that is
//    empty, not valid in its character set, or not exactly representable in
//    the system code page is dropped: it could be neither shown nor typed.
//  - display_name: the first kept FN; else, if every part of the first N was
//    kept, its parts: given, additional and family (prefix first, suffix
//    last) joined by blanks for Latin names; family, given and additional run
//    together without blanks when the family or given name holds Han, kana
//    or Hangul (山田太郎); else empty.
//  - Rows: one per EMAIL property with any parameters, in reading order, the
//    value quoted-printable decoded and converted from its CHARSET when it
//    has one, cut at a NUL byte, blanks, tabs and CRs around it trimmed.
//    Empty values and values that do not convert give no row. Rows are not
//    deduplicated here. Outside any card, a line holding "EMAIL;PREF" gives
//    a row without names, its address taken as CAddressParser takes it, then
//    trimmed (unless the line is longer than kMaxCardLineBytes).
//
// Bounds: a logical line (continuations included) of a property that is read
// is kept up to kMaxCardLineBytes; a longer one is dropped whole (its name or
// address is lost, the rest of the card is read), and of any longer line only
// that many bytes are held. A card keeps at most kMaxNames names and
// readings, kMaxNameUnits UTF-16 units in all; names beyond that are
// dropped. Memory is thus bounded per line and per card (apart from the
// card's addresses, which wait for its end), and every byte is looked at a
// bounded number of times.
//
// Speed: the reader runs over every byte of every book when the mode is on.
// A line is read where it lies in the chunk unless the next line may
// continue it; names are built in the strings of one row that is reused
// from card to card and handed to a sink, so that a card costs no
// allocation once the first cards have made room; ASCII needs no
// conversion, UTF-8 no system call, and what the code page holds is learnt
// per character.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "addrbook/named_address.h"
#include "platform/text_codec.h"

namespace vantrel {

inline constexpr size_t kMaxCardLineBytes = 64 * 1024;
inline constexpr size_t kMaxNames = 64;
inline constexpr size_t kMaxNameUnits = 1024;

// A sink that appends copies of the rows to an array.
class AppendNamedAddresses final : public NamedAddressSink {
 public:
  explicit AppendNamedAddresses(std::vector<NamedAddress>& rows) : rows_(rows) {}
  void Take(const NamedAddress& row) override { rows_.push_back(row); }

 private:
  std::vector<NamedAddress>& rows_;
};

// Reads one file's cards incrementally. One object per file.
class CCardParser {
 public:
  // Rows go to `sink` as each card ends (or, outside cards, as each line
  // ends); or are appended to `rows`.
  CCardParser(NamedAddressSink& sink, const TextCodec& codec);
  CCardParser(std::vector<NamedAddress>& rows, const TextCodec& codec);
  CCardParser(const CCardParser&) = delete;
  CCardParser& operator=(const CCardParser&) = delete;

  // Takes the next bytes of the file. Returns false once the data has ended
  // (a 0x1A byte was met, or Finish() was called); further input is ignored.
  bool Feed(const char* data, size_t size);

  // The end of the file (or a read error): reads the unfinished last line
  // and ends the open card.
  void Finish();

  bool ended() const { return ended_; }

 private:
  enum Kind : unsigned char { kSkip, kFn, kN, kNickname, kSound, kPhonetic, kEmail };
  // Where a name's UTF-16 came from.
  enum Origin : unsigned char { kInvalid, kFromAscii, kFromAnsi, kFromCharset };

  void FeedLines(const char* p, const char* end);
  void CarryBytes(const char* p, const char* end);
  void EndCarriedLine(bool ended_by_lf);
  void Line(const char* b, const char* e, bool over, char last, bool complete);
  void CardLine(const char* b, const char* e, bool over, char last, bool complete);
  void OutsideLine(const char* b, const char* e);
  void Append(const char* b, const char* e, bool soft);
  void FlushProperty();
  void ReadProperty(Kind kind, const char* b, const char* e);
  void ReadValue(Kind kind, const char* q, const char* e);
  struct Params {
    bool qp = false;
    bool data = false;
    std::string_view charset;
  };
  static Params ParseParams(std::string_view params);
  void ReadName(Kind kind, const Params& params, std::string_view value);
  void ReadEmail(const Params& params, std::string_view value);
  bool KeepName(const char16_t* b, const char16_t* e, bool reading, Origin origin, bool want_ansi);
  Origin ToWide(std::string_view bytes, std::string_view charset, const char16_t** b,
                const char16_t** e);
  bool IsUtf8(std::string_view charset);
  bool ToAnsi(std::u16string_view wide, std::string* out) const;
  bool AnsiHolds(const std::u16string& name, bool want_bytes);
  void NDisplay(std::string* out) const;
  void Shrink(std::vector<std::u16string>* list, size_t size);
  void EndCard();

  std::unique_ptr<AppendNamedAddresses> own_sink_;  // when given an array
  NamedAddressSink& sink_;
  const TextCodec& codec_;
  bool ended_ = false;

  // The line not yet ended by LF: at most kMaxCardLineBytes + 1 of its bytes,
  // its length, and its last two bytes.
  std::string carry_;
  size_t carry_length_ = 0;
  char carry_tail_[2] = {0, 0};
  bool carrying_ = false;

  // The open card, built in row_, which every row of the card shares and
  // which keeps its strings' space from card to card: its first names_ names
  // and readings_ readings. The card's rows go out when it ends, since its
  // names may follow its addresses.
  bool in_card_ = false;
  NamedAddress row_;
  size_t names_ = 0;
  size_t readings_ = 0;
  size_t name_units_ = 0;
  std::string emails_;              // the card's addresses, one after another,
  std::vector<size_t> email_ends_;  // each ending here
  bool have_fn_ = false;
  bool have_n_ = false;
  bool n_whole_ = false;     // every part of the first N was kept
  int n_index_[5] = {-1, -1, -1, -1, -1};  // its parts in row_.names, or -1
  std::string fn_;           // the first kept FN, system code page
  NamedAddress bare_;        // a row without names: outside any card, or
                             // from a card whose names were all dropped
  std::vector<std::u16string> spare_;  // strings of slots a card left

  // The property whose line may still be continued.
  Kind kind_ = kSkip;
  bool qp_ = false;         // its parameters say QUOTED-PRINTABLE
  bool soft_break_ = false; // and its last line ended in '='
  bool over_ = false;       // longer than kMaxCardLineBytes: dropped
  std::string line_;        // the logical line, for a property read

  // What the system code page holds, 2 bits per UTF-16 unit (0 not known,
  // 1 held, 2 refused); made at the first name that needs it.
  std::vector<unsigned char> held_;

  // Scratch space, kept from value to value.
  std::string decoded_;
  std::u16string wide_;
  std::vector<char16_t> units_;
  bool escapes_ = false;  // the value in UTF-16 holds a backslash
  std::string ansi_;
  std::string last_charset_;  // the CHARSET last looked up
  bool last_is_utf8_ = false;
};

}  // namespace vantrel

#include "addrbook/card_parser.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "addrbook/address_parser.h"
#include "addrbook/find_byte.h"

namespace vantrel {
namespace {

constexpr char kEndOfData = 0x1A;

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// [p, p + upper.size()) equals `upper` in any letter case.
bool SameUpper(const char* p, std::string_view upper) {
  for (size_t i = 0; i < upper.size(); ++i) {
    if (Upper(p[i]) != upper[i]) return false;
  }
  return true;
}

bool IsUpper(std::string_view s, std::string_view upper) {
  return s.size() == upper.size() && SameUpper(s.data(), upper);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsBlank16(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string Trim16(std::u16string s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank16(s[b])) ++b;
  while (e > b && IsBlank16(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string_view CutAtNul(std::string_view s) {
  const size_t nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

// The end of a property's name (its ';' or ':', or the line's end), and the
// start of the name after a "group." prefix.
const char* NameEnd(const char* b, const char* e, const char** name) {
  const char* q = b;
  *name = b;
  for (; q < e; ++q) {
    const char c = *q;
    if (c == ';' || c == ':') break;
    if (c == '.') *name = q + 1;
  }
  return q;
}

// The ':' that ends the parameters starting at p (one inside a double-quoted
// parameter value does not), or nullptr.
const char* ValueColon(const char* p, const char* e) {
  bool quoted = false;
  for (const char* q = p; q < e; ++q) {
    if (*q == '"') quoted = !quoted;
    else if (*q == ':' && !quoted) return q;
  }
  // An unbalanced quote: the first ':' then.
  return static_cast<const char*>(std::memchr(p, ':', static_cast<size_t>(e - p)));
}

// The line is BEGIN:VCARD (begin) or END:VCARD.
bool IsCardLine(const char* b, const char* e, bool begin) {
  const char* name;
  const char* q = NameEnd(b, e, &name);
  if (q == e || *q != ':') return false;
  if (!IsUpper(std::string_view(name, static_cast<size_t>(q - name)), begin ? "BEGIN" : "END")) {
    return false;
  }
  return IsUpper(Trim(std::string_view(q + 1, static_cast<size_t>(e - q - 1))), "VCARD");
}

// The parameters hold QUOTED-PRINTABLE (as ENCODING=QUOTED-PRINTABLE or, in
// vCard 2.1, alone).
bool SaysQuotedPrintable(std::string_view params) {
  constexpr std::string_view kQp = "QUOTED-PRINTABLE";
  for (size_t i = 0; i + kQp.size() <= params.size(); ++i) {
    if (Upper(params[i]) == 'Q' && SameUpper(params.data() + i, kQp)) return true;
  }
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "=XX" to its byte; '=' before a line end (soft line break) and a '=' that
// ends the value drop out; any other '=' stays as it is.
std::string DecodeQuotedPrintable(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c != '=') {
      out += c;
      continue;
    }
    if (i + 1 == s.size()) break;
    if (s[i + 1] == '\n') {
      ++i;
      continue;
    }
    if (s[i + 1] == '\r' && i + 2 < s.size() && s[i + 2] == '\n') {
      i += 2;
      continue;
    }
    const int hi = i + 2 < s.size() ? HexDigit(s[i + 1]) : -1;
    const int lo = hi >= 0 ? HexDigit(s[i + 2]) : -1;
    if (lo < 0) {
      out += c;
      continue;
    }
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

// The parameters (after the name's ';') one by one.
template <typename F>
void ForEachParam(std::string_view params, F f) {
  size_t start = 0;
  while (start <= params.size()) {
    size_t end = params.find(';', start);
    if (end == std::string_view::npos) end = params.size();
    const std::string_view p = params.substr(start, end - start);
    const size_t eq = p.find('=');
    if (eq == std::string_view::npos) {
      f(Trim(p), std::string_view());
    } else {
      std::string_view v = Trim(p.substr(eq + 1));
      if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
      f(Trim(p.substr(0, eq)), v);
    }
    start = end + 1;
  }
}

std::string_view CharsetOf(std::string_view params) {
  std::string_view charset;
  ForEachParam(params, [&](std::string_view key, std::string_view value) {
    if (IsUpper(key, "CHARSET")) charset = value;
  });
  return charset;
}

// SOUND that is sound: base64 data or a link to it.
bool IsSoundData(std::string_view params) {
  bool data = false;
  ForEachParam(params, [&](std::string_view key, std::string_view value) {
    if (value.empty()) {
      if (IsUpper(key, "BASE64")) data = true;
    } else if (IsUpper(key, "ENCODING")) {
      if (IsUpper(value, "B") || IsUpper(value, "BASE64")) data = true;
    } else if (IsUpper(key, "VALUE")) {
      if (IsUpper(value, "URI") || IsUpper(value, "URL")) data = true;
    }
  });
  return data;
}

// Splits at `sep` where it is not escaped by a backslash.
std::vector<std::u16string> SplitUnescaped(const std::u16string& s, char16_t sep) {
  std::vector<std::u16string> parts;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\\') {
      ++i;
    } else if (s[i] == sep) {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(s.substr(start));
  return parts;
}

std::u16string Unescape(const std::u16string& s) {
  if (s.find(u'\\') == std::u16string::npos) return s;
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c != u'\\' || i + 1 == s.size()) {
      out += c;
      continue;
    }
    const char16_t n = s[i + 1];
    if (n == u'\\' || n == u',' || n == u';' || n == u':') {
      out += n;
      ++i;
    } else if (n == u'n' || n == u'N') {
      out += u' ';
      ++i;
    } else {
      out += c;  // not an escape: the backslash stays
    }
  }
  return out;
}

// Names written family first without blanks: Han, kana, Hangul.
bool IsEastAsian(const std::u16string& s) {
  for (char16_t c : s) {
    if ((c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
        (c >= 0xD800 && c <= 0xDBFF) || (c >= 0xF900 && c <= 0xFAFF) ||
        (c >= 0xFF66 && c <= 0xFF9F)) {
      return true;
    }
  }
  return false;
}

}  // namespace

CCardParser::CCardParser(std::vector<NamedAddress>& rows, const TextCodec& codec)
    : rows_(rows), codec_(codec) {}

bool CCardParser::Feed(const char* data, size_t size) {
  if (ended_) return false;
  if (size == 0) return true;
  const char* end = data + size;
  const char* eof = FindByte(data, end, kEndOfData);
  if (eof) end = eof;

  const char* p = data;
  if (carrying_) {
    const char* nl = FindByte(p, end, '\n');
    if (!nl) {
      CarryBytes(p, end);
      if (eof) Finish();
      return !eof;
    }
    CarryBytes(p, nl);
    EndCarriedLine(true);
    p = nl + 1;
  }
  FeedLines(p, end);
  if (eof) {
    Finish();
    return false;
  }
  return true;
}

void CCardParser::Finish() {
  if (ended_) return;
  ended_ = true;
  if (carrying_) EndCarriedLine(false);
  FlushProperty();
  if (in_card_) EndCard();
  carry_ = std::string();
  line_ = std::string();
}

// [p, end) starts at a line start.
void CCardParser::FeedLines(const char* p, const char* end) {
  for (;;) {
    const char* nl = FindByte(p, end, '\n');
    if (!nl) break;
    const char* e = nl > p && nl[-1] == '\r' ? nl - 1 : nl;
    const bool over = static_cast<size_t>(e - p) > kMaxLineBytes;
    Line(p, over ? p + kMaxLineBytes : e, over, e > p ? e[-1] : '\0');
    p = nl + 1;
  }
  if (p < end) CarryBytes(p, end);
}

void CCardParser::CarryBytes(const char* p, const char* end) {
  carrying_ = true;
  const size_t n = static_cast<size_t>(end - p);
  if (n == 0) return;
  if (n >= 2) {
    carry_tail_[0] = end[-2];
  } else {
    carry_tail_[0] = carry_tail_[1];
  }
  carry_tail_[1] = end[-1];
  carry_length_ += n;
  // One byte more than a kept line may have tells a longer line.
  const size_t room = kMaxLineBytes + 1 - std::min(carry_.size(), kMaxLineBytes + 1);
  carry_.append(p, std::min(n, room));
}

void CCardParser::EndCarriedLine(bool ended_by_lf) {
  size_t length = carry_length_;
  char last = carry_tail_[1];
  // The CR of a CR LF pair is no part of the line.
  if (ended_by_lf && length > 0 && carry_tail_[1] == '\r') {
    --length;
    last = length > 0 ? carry_tail_[0] : '\0';
  }
  if (length == 0) last = '\0';
  const bool over = length > kMaxLineBytes;
  const size_t kept = std::min(length, std::min(carry_.size(), kMaxLineBytes));
  Line(carry_.data(), carry_.data() + kept, over, last);
  carry_.clear();
  carry_length_ = 0;
  carry_tail_[0] = carry_tail_[1] = '\0';
  carrying_ = false;
}

// One line: [b, e) its bytes (only the first kMaxLineBytes when `over`),
// `last` its real last byte.
void CCardParser::Line(const char* b, const char* e, bool over, char last) {
  if (in_card_) {
    CardLine(b, e, over, last);
  } else if (!over) {
    OutsideLine(b, e);
  }
}

void CCardParser::OutsideLine(const char* b, const char* e) {
  if (IsCardLine(b, e, true)) {
    in_card_ = true;
    return;
  }
  const std::string_view line(b, static_cast<size_t>(e - b));
  if (line.find(kPrefMarker) == std::string_view::npos) return;
  std::vector<std::string> taken;
  TakeAddressFromLine(line, taken);
  for (const std::string& a : taken) {
    const std::string_view address = Trim(a);
    if (address.empty()) continue;
    rows_.emplace_back();
    rows_.back().address.assign(address.data(), address.size());
  }
}

void CCardParser::CardLine(const char* b, const char* e, bool over, char last) {
  // A continuation of the property before.
  if (soft_break_ && !IsCardLine(b, e, false) && !IsCardLine(b, e, true)) {
    if (over) over_ = true;
    Append(b, e, true);
    soft_break_ = last == '=';
    return;
  }
  if (b < e && (*b == ' ' || *b == '\t')) {
    if (over) over_ = true;
    Append(b + 1, e, false);
    soft_break_ = qp_ && last == '=';
    return;
  }

  FlushProperty();
  const char* name;
  const char* q = NameEnd(b, e, &name);
  const size_t name_size = static_cast<size_t>(q - name);
  Kind kind = kSkip;
  switch (name_size) {
    case 1:
      if (Upper(*name) == 'N') kind = kN;
      break;
    case 2:
      if (SameUpper(name, "FN")) kind = kFn;
      break;
    case 3:
      if (!over && SameUpper(name, "END") && IsCardLine(b, e, false)) {
        EndCard();
        return;
      }
      break;
    case 5:
      if (SameUpper(name, "EMAIL")) {
        kind = kEmail;
      } else if (SameUpper(name, "SOUND")) {
        kind = kSound;
      } else if (!over && SameUpper(name, "BEGIN") && IsCardLine(b, e, true)) {
        EndCard();
        in_card_ = true;
        return;
      }
      break;
    case 8:
      if (SameUpper(name, "NICKNAME")) {
        kind = kNickname;
      } else if (SameUpper(name, "X-IRMC-N")) {
        kind = kSound;
      }
      break;
    case 20:
    case 21:
    case 22:
      if (SameUpper(name, "X-PHONETIC-") &&
          (IsUpper(std::string_view(name + 11, name_size - 11), "FIRST-NAME") ||
           IsUpper(std::string_view(name + 11, name_size - 11), "LAST-NAME") ||
           IsUpper(std::string_view(name + 11, name_size - 11), "MIDDLE-NAME"))) {
        kind = kPhonetic;
      }
      break;
    default:
      break;
  }
  kind_ = kind;
  over_ = over;
  if (q < e && *q == ';') {
    const char* colon = ValueColon(q, e);
    qp_ = SaysQuotedPrintable(std::string_view(q, static_cast<size_t>((colon ? colon : e) - q)));
  } else {
    qp_ = false;
  }
  soft_break_ = qp_ && last == '=';
  if (kind != kSkip && !over) line_.assign(b, e);
}

// A continuation line; after a soft line break the line end stays, for the
// quoted-printable decoding to take out.
void CCardParser::Append(const char* b, const char* e, bool soft) {
  if (kind_ == kSkip || over_) return;
  if (line_.size() + static_cast<size_t>(e - b) + 1 > kMaxLineBytes) {
    over_ = true;
    line_.clear();
    return;
  }
  if (soft) line_ += '\n';
  line_.append(b, e);
}

void CCardParser::FlushProperty() {
  const Kind kind = kind_;
  kind_ = kSkip;
  qp_ = soft_break_ = false;
  if (kind == kSkip) return;
  if (over_) {
    over_ = false;
    line_.clear();
    return;
  }
  const char* b = line_.data();
  const char* e = b + line_.size();
  const char* name;
  const char* q = NameEnd(b, e, &name);
  const char* colon = q < e && *q == ':' ? q : q < e ? ValueColon(q, e) : nullptr;
  if (colon) {
    const std::string_view params =
        *q == ';' ? std::string_view(q + 1, static_cast<size_t>(colon - q - 1)) : std::string_view();
    std::string_view value(colon + 1, static_cast<size_t>(e - colon - 1));
    std::string decoded;
    if (SaysQuotedPrintable(params)) {
      decoded = DecodeQuotedPrintable(CutAtNul(value));
      value = decoded;
    }
    value = CutAtNul(value);
    if (kind == kEmail) {
      ReadEmail(params, value);
    } else {
      ReadName(kind, params, value);
    }
  }
  line_.clear();
}

bool CCardParser::ToWide(std::string_view bytes, std::string_view charset,
                         std::u16string* out) const {
  if (IsAscii(bytes)) {
    out->assign(bytes.begin(), bytes.end());
    return true;
  }
  return charset.empty() ? codec_.AnsiToWide(bytes, out) : codec_.CharsetToWide(charset, bytes, out);
}

bool CCardParser::ToAnsi(std::u16string_view wide, std::string* out) const {
  bool ascii = true;
  for (char16_t c : wide) {
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
    out->resize(wide.size());
    for (size_t i = 0; i < wide.size(); ++i) (*out)[i] = static_cast<char>(wide[i]);
    return true;
  }
  return codec_.WideToAnsi(wide, out);
}

void CCardParser::ReadEmail(std::string_view params, std::string_view value) {
  value = Trim(value);
  if (value.empty()) return;
  const std::string_view charset = CharsetOf(params);
  if (charset.empty() || IsAscii(value)) {
    emails_.emplace_back(value);
    return;
  }
  std::u16string wide;
  std::string ansi;
  if (!codec_.CharsetToWide(charset, value, &wide) || !ToAnsi(wide, &ansi)) return;
  ansi = std::string(Trim(ansi));
  if (!ansi.empty()) emails_.push_back(std::move(ansi));
}

// Keeps a name or reading if it is not empty, the system code page holds it
// and the card's budget has room; its code page form in *ansi.
bool CCardParser::KeepName(std::u16string name, bool reading, std::string* ansi) {
  name = Trim16(std::move(name));
  if (name.empty()) return false;
  if (names_.size() + readings_.size() >= kMaxNames) return false;
  if (name_units_ + name.size() > kMaxNameUnits) return false;
  std::string local;
  if (!ToAnsi(name, ansi ? ansi : &local)) return false;
  name_units_ += name.size();
  (reading ? readings_ : names_).push_back(std::move(name));
  return true;
}

void CCardParser::ReadName(Kind kind, std::string_view params, std::string_view value) {
  if (kind == kSound && IsSoundData(params)) return;
  std::u16string wide;
  if (!ToWide(value, CharsetOf(params), &wide)) return;
  switch (kind) {
    case kFn: {
      std::string ansi;
      if (KeepName(Unescape(wide), false, &ansi) && !have_fn_) {
        have_fn_ = true;
        fn_ = std::move(ansi);
      }
      break;
    }
    case kN: {
      const std::vector<std::u16string> parts = SplitUnescaped(wide, u';');
      std::string kept[5];
      std::u16string family, given;
      bool whole = true;  // every part that is there was kept
      for (size_t i = 0; i < parts.size(); ++i) {
        std::string ansi;
        std::u16string part = Trim16(Unescape(parts[i]));
        if (i == 0) family = part;
        if (i == 1) given = part;
        const bool empty = part.empty();
        if (KeepName(std::move(part), false, &ansi)) {
          if (i < 5) kept[i] = std::move(ansi);
        } else if (!empty) {
          whole = false;
        }
      }
      if (have_n_) break;
      have_n_ = true;
      // Half a name would look like someone else's.
      if (!whole) break;
      // family, given, additional, prefix, suffix
      std::vector<const std::string*> order;
      const bool east = IsEastAsian(family) || IsEastAsian(given);
      if (east) {
        order = {&kept[0], &kept[1], &kept[2]};
      } else {
        order = {&kept[3], &kept[1], &kept[2], &kept[0], &kept[4]};
      }
      for (const std::string* part : order) {
        if (part->empty()) continue;
        if (!east && !n_display_.empty()) n_display_ += ' ';
        n_display_ += *part;
      }
      break;
    }
    case kNickname:
      for (const std::u16string& part : SplitUnescaped(wide, u',')) {
        KeepName(Unescape(part), false, nullptr);
      }
      break;
    case kSound:
      for (const std::u16string& part : SplitUnescaped(wide, u';')) {
        KeepName(Unescape(part), true, nullptr);
      }
      break;
    case kPhonetic:
      KeepName(Unescape(wide), true, nullptr);
      break;
    default:
      break;
  }
}

void CCardParser::EndCard() {
  FlushProperty();
  in_card_ = false;
  if (!emails_.empty()) {
    const std::string& display = have_fn_ ? fn_ : n_display_;
    for (size_t i = 0; i < emails_.size(); ++i) {
      rows_.emplace_back();
      NamedAddress& row = rows_.back();
      row.address = std::move(emails_[i]);
      row.display_name = display;
      if (i + 1 == emails_.size()) {
        row.names = std::move(names_);
        row.readings = std::move(readings_);
      } else {
        row.names = names_;
        row.readings = readings_;
      }
    }
  }
  emails_.clear();
  names_.clear();
  readings_.clear();
  name_units_ = 0;
  have_fn_ = have_n_ = false;
  fn_.clear();
  n_display_.clear();
}

}  // namespace vantrel

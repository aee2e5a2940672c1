#include "addrbook/card_parser.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "addrbook/address_parser.h"
#include "addrbook/find_byte.h"
#include "platform/charset_names.h"
#include "platform/utf8.h"

namespace vantrel {
namespace {

constexpr char kEndOfData = 0x1A;
constexpr unsigned kUtf8CodePage = 65001;
// The units a string holds without room of its own.
const size_t kInlineUnits = std::u16string().capacity();

// ASCII letters in upper case, every other byte as it is.
struct UpperTable {
  char upper[256] = {};
  constexpr UpperTable() {
    for (int i = 0; i < 256; ++i) {
      upper[i] = static_cast<char>(i >= 'a' && i <= 'z' ? i - 'a' + 'A' : i);
    }
  }
};
constexpr UpperTable kUpper;

char Upper(char c) { return kUpper.upper[static_cast<unsigned char>(c)]; }

// The bytes at p equal the literal `upper` in any letter case. Its length
// is known here, so the loop unrolls.
template <size_t N>
bool SameUpper(const char* p, const char (&upper)[N]) {
  for (size_t i = 0; i + 1 < N; ++i) {
    if (Upper(p[i]) != upper[i]) return false;
  }
  return true;
}

template <size_t N>
bool IsUpper(std::string_view s, const char (&upper)[N]) {
  return s.size() == N - 1 && SameUpper(s.data(), upper);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// UTF-16 known to be ASCII, as bytes.
void Narrow(const char16_t* b, const char16_t* e, std::string* out) {
  out->resize(static_cast<size_t>(e - b));
  char* o = &(*out)[0];
  for (; b < e; ++b) *o++ = static_cast<char>(*b);
}

bool IsBlank16(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string_view CutAtNul(std::string_view s) {
  const char* nul = FindByte(s.data(), s.data() + s.size(), '\0');
  return nul ? s.substr(0, static_cast<size_t>(nul - s.data())) : s;
}

// The bytes that end a property's name, or a group before it.
struct NameStops {
  bool stop[256] = {};
  constexpr NameStops() {
    stop[static_cast<unsigned char>(';')] = true;
    stop[static_cast<unsigned char>(':')] = true;
    stop[static_cast<unsigned char>('.')] = true;
  }
};
constexpr NameStops kNameStops;

// The end of a property's name (its ';' or ':', or the line's end), and the
// start of the name after a "group." prefix.
const char* NameEnd(const char* b, const char* e, const char** name) {
  const char* q = b;
  *name = b;
  for (;;) {
    while (q < e && !kNameStops.stop[static_cast<unsigned char>(*q)]) ++q;
    if (q == e || *q != '.') return q;
    *name = ++q;
  }
}

// The ':' that ends the parameters starting at p (one inside a double-quoted
// parameter value does not), or nullptr.
const char* ValueColon(const char* p, const char* e) {
  // Mostly no quote comes before the first ':'.
  const char* colon = FindByte(p, e, ':');
  if (!colon || !FindByte(p, colon, '"')) return colon;
  bool quoted = false;
  for (const char* q = p; q < e; ++q) {
    if (*q == '"') quoted = !quoted;
    else if (*q == ':' && !quoted) return q;
  }
  // An unbalanced quote: the first ':' then.
  return static_cast<const char*>(std::memchr(p, ':', static_cast<size_t>(e - p)));
}

// The line is BEGIN:VCARD (begin) or END:VCARD.
// [v, e), the value after a name's ':', is VCARD.
bool IsVcardValue(const char* v, const char* e) {
  return IsUpper(Trim(std::string_view(v, static_cast<size_t>(e - v))), "VCARD");
}

bool IsCardLine(const char* b, const char* e, bool begin) {
  // Most lines are told apart by their first letter.
  if (b == e || (Upper(*b) != (begin ? 'B' : 'E') && FindByte(b, e, '.') == nullptr)) {
    return false;
  }
  const char* name;
  const char* q = NameEnd(b, e, &name);
  if (q == e || *q != ':') return false;
  const std::string_view word(name, static_cast<size_t>(q - name));
  if (!(begin ? IsUpper(word, "BEGIN") : IsUpper(word, "END"))) {
    return false;
  }
  return IsVcardValue(q + 1, e);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "=XX" to its byte; '=' before a line end (soft line break) and a '=' that
// ends the value drop out; any other '=' stays as it is.
void DecodeQuotedPrintable(std::string_view s, std::string* decoded) {
  std::string& out = *decoded;
  out.clear();
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
}

}  // namespace

// One pass over the parameters (after the name's ';', up to the value's
// ':'): ENCODING=QUOTED-PRINTABLE or, as vCard 2.1 also writes it,
// QUOTED-PRINTABLE alone; CHARSET=; and whether the value is data (BASE64,
// ENCODING=B, VALUE=URI or URL) rather than text. Letter case is ignored.
CCardParser::Params CCardParser::ParseParams(std::string_view params) {
  Params r;
  // Most parameters (PREF, INTERNET, TYPE=...) say none of this: a look at
  // the letters that begin the ones that may.
  bool may = false;
  bool start = true;
  for (char c : params) {
    if (start) {
      const char u = Upper(c);
      if (u == 'C' || u == 'E' || u == 'V' || u == 'Q' || u == 'B') {
        may = true;
        break;
      }
    }
    start = c == ';' || c == ' ' || c == '\t';
  }
  if (!may) return r;
  const char* p = params.data();
  const char* const end = p + params.size();
  while (p < end) {
    const char* semi = p;
    while (semi < end && *semi != ';') ++semi;
    const std::string_view param = Trim(std::string_view(p, static_cast<size_t>(semi - p)));
    p = semi + 1;
    const size_t eq = param.find('=');
    if (eq == std::string_view::npos) {
      if (IsUpper(param, "QUOTED-PRINTABLE")) r.qp = true;
      else if (IsUpper(param, "BASE64")) r.data = true;
      continue;
    }
    const std::string_view key = Trim(param.substr(0, eq));
    std::string_view value = Trim(param.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (key.empty()) continue;
    switch (Upper(key.front())) {
      case 'C':
        if (IsUpper(key, "CHARSET")) r.charset = value;
        break;
      case 'E':
        if (IsUpper(key, "ENCODING")) {
          if (IsUpper(value, "QUOTED-PRINTABLE")) r.qp = true;
          else if (IsUpper(value, "B") || IsUpper(value, "BASE64")) r.data = true;
        }
        break;
      case 'V':
        if (IsUpper(key, "VALUE") && (IsUpper(value, "URI") || IsUpper(value, "URL"))) {
          r.data = true;
        }
        break;
      default:
        break;
    }
  }
  return r;
}

namespace {

// The first `sep` in [p, end) not escaped by a backslash, or end.
const char16_t* FindUnescaped(const char16_t* p, const char16_t* end, char16_t sep) {
  for (; p < end; ++p) {
    if (*p == u'\\') {
      if (++p == end) break;
    } else if (*p == sep) {
      return p;
    }
  }
  return end;
}

// [b, e) with the vCard 3.0 escapes undone; an escaped line break becomes a
// blank. A backslash before any other character stays.
void AppendUnescaped(const char16_t* b, const char16_t* e, std::u16string* out) {
  for (const char16_t* p = b; p < e; ++p) {
    const char16_t c = *p;
    if (c != u'\\' || p + 1 == e) {
      *out += c;
      continue;
    }
    const char16_t n = p[1];
    if (n == u'\\' || n == u',' || n == u';' || n == u':') {
      *out += n;
      ++p;
    } else if (n == u'n' || n == u'N') {
      *out += u' ';
      ++p;
    } else {
      *out += c;
    }
  }
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

CCardParser::CCardParser(NamedAddressSink& sink, const TextCodec& codec)
    : sink_(sink), codec_(codec) {}

CCardParser::CCardParser(std::vector<NamedAddress>& rows, const TextCodec& codec)
    : own_sink_(new AppendNamedAddresses(rows)), sink_(*own_sink_), codec_(codec) {}

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
    const bool over = static_cast<size_t>(e - p) > kMaxCardLineBytes;
    const char last = e > p ? e[-1] : '\0';
    // When the next line is in this chunk and cannot continue this one, the
    // property is read where it lies, without a copy.
    const char* next = nl + 1;
    const bool complete = next < end && *next != ' ' && *next != '\t' && last != '=';
    if (in_card_) {
      CardLine(p, over ? p + kMaxCardLineBytes : e, over, last, complete);
    } else if (!over) {
      OutsideLine(p, e);
    }
    p = next;
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
  const size_t room = kMaxCardLineBytes + 1 - std::min(carry_.size(), kMaxCardLineBytes + 1);
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
  const bool over = length > kMaxCardLineBytes;
  const size_t kept = std::min(length, std::min(carry_.size(), kMaxCardLineBytes));
  Line(carry_.data(), carry_.data() + kept, over, last, false);
  carry_.clear();
  carry_length_ = 0;
  carry_tail_[0] = carry_tail_[1] = '\0';
  carrying_ = false;
}

// One line: [b, e) its bytes (only the first kMaxCardLineBytes when `over`),
// `last` its real last byte, `complete` if the next line is known not to
// continue it.
void CCardParser::Line(const char* b, const char* e, bool over, char last, bool complete) {
  if (in_card_) {
    CardLine(b, e, over, last, complete);
  } else if (!over) {
    OutsideLine(b, e);
  }
}

void CCardParser::OutsideLine(const char* b, const char* e) {
  if ((e - b == 11 && SameUpper(b, "BEGIN:VCARD")) || IsCardLine(b, e, true)) {
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
    bare_.address.assign(address.data(), address.size());
    sink_.Take(bare_);
  }
}

void CCardParser::CardLine(const char* b, const char* e, bool over, char last, bool complete) {
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

  if (kind_ != kSkip) FlushProperty();
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
      if (!over && SameUpper(name, "END") && *q == ':' && IsVcardValue(q + 1, e)) {
        EndCard();
        return;
      }
      break;
    case 5:
      if (SameUpper(name, "EMAIL")) {
        kind = kEmail;
      } else if (SameUpper(name, "SOUND")) {
        kind = kSound;
      } else if (!over && SameUpper(name, "BEGIN") && *q == ':' && IsVcardValue(q + 1, e)) {
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
  // Whether the value is quoted-printable matters here only if a line may
  // continue it; the parameters of most lines are never looked at again.
  if (q < e && *q == ';' && (!complete || last == '=')) {
    const char* colon = ValueColon(q, e);
    qp_ = ParseParams(std::string_view(q + 1, static_cast<size_t>((colon ? colon : e) - q - 1))).qp;
  } else {
    qp_ = false;
  }
  soft_break_ = qp_ && last == '=';
  over_ = over;
  if (kind == kSkip || over) {
    kind_ = kind;
    return;
  }
  if (complete && !soft_break_) {
    ReadValue(kind, q, e);
    qp_ = false;
    return;
  }
  kind_ = kind;
  line_.assign(b, e);
}

// A continuation line; after a soft line break the line end stays, for the
// quoted-printable decoding to take out.
void CCardParser::Append(const char* b, const char* e, bool soft) {
  if (kind_ == kSkip || over_) return;
  if (line_.size() + static_cast<size_t>(e - b) + 1 > kMaxCardLineBytes) {
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
  if (!over_) ReadProperty(kind, line_.data(), line_.data() + line_.size());
  over_ = false;
  line_.clear();
}

// A whole property line, continuations joined.
void CCardParser::ReadProperty(Kind kind, const char* b, const char* e) {
  const char* name;
  ReadValue(kind, NameEnd(b, e, &name), e);
}

// [q, e): the property line from the end of its name.
void CCardParser::ReadValue(Kind kind, const char* q, const char* e) {
  const char* colon = q < e && *q == ':' ? q : q < e ? ValueColon(q, e) : nullptr;
  if (!colon) return;
  const Params params = *q == ';' ? ParseParams(std::string_view(q + 1, static_cast<size_t>(colon - q - 1)))
                                  : Params();
  std::string_view value(colon + 1, static_cast<size_t>(e - colon - 1));
  if (params.qp) {
    DecodeQuotedPrintable(value, &decoded_);
    value = decoded_;
  }
  // A NUL ends the value (a name or address is a C string from here on).
  if (kind == kEmail) {
    ReadEmail(params, CutAtNul(value));
  } else {
    ReadName(kind, params, value);
  }
}

// The value in UTF-16, in [*b, *e) (in units_ or wide_), cut at a NUL.
CCardParser::Origin CCardParser::ToWide(std::string_view bytes, std::string_view charset,
                                       const char16_t** b, const char16_t** e) {
  if (units_.size() < bytes.size()) units_.resize(bytes.size() * 2);
  char16_t* w = units_.data();
  unsigned high = 0;
  bool backslash = false;
  size_t n = 0;
  // Four bytes at a time while they are ASCII and not NUL; the bytes loop
  // below takes the rest.
  constexpr uint32_t kOnes = 0x01010101u, kHighs = 0x80808080u;
  for (; n + 4 <= bytes.size(); n += 4) {
    uint32_t a;
    std::memcpy(&a, bytes.data() + n, sizeof a);
    if ((a & kHighs) | ((a - kOnes) & ~a & kHighs)) break;
    const uint32_t x = a ^ (kOnes * '\\');
    backslash |= ((x - kOnes) & ~x & kHighs) != 0;
    w[n] = static_cast<char16_t>(a & 0xFF);
    w[n + 1] = static_cast<char16_t>(a >> 8 & 0xFF);
    w[n + 2] = static_cast<char16_t>(a >> 16 & 0xFF);
    w[n + 3] = static_cast<char16_t>(a >> 24);
  }
  for (; n < bytes.size(); ++n) {
    const unsigned char c = static_cast<unsigned char>(bytes[n]);
    if (c == 0) break;
    high |= c;
    backslash |= c == '\\';
    w[n] = c;
  }
  bytes = bytes.substr(0, n);
  // In a double-byte code page a second byte may be 0x5C: only UTF-16 says.
  escapes_ = backslash;
  if (high < 0x80) {
    *b = w;
    *e = w + n;
    return kFromAscii;
  }
  Origin origin;
  if (charset.empty()) {
    origin = codec_.AnsiToWide(bytes, &wide_) ? kFromAnsi : kInvalid;
  } else if (IsUtf8(charset)) {
    origin = Utf8ToWide(bytes, &wide_) ? kFromCharset : kInvalid;
  } else {
    origin = codec_.CharsetToWide(charset, bytes, &wide_) ? kFromCharset : kInvalid;
  }
  *b = wide_.data();
  *e = *b + wide_.size();
  escapes_ = std::char_traits<char16_t>::find(*b, wide_.size(), u'\\') != nullptr;
  return origin;
}

// Most values with a CHARSET say UTF-8, and most books name it one way
// throughout: the last name looked up is remembered, and UTF-8 is decoded
// here as the system codec decodes it, without a look-up per value.
bool CCardParser::IsUtf8(std::string_view charset) {
  if (charset != last_charset_) {
    last_charset_.assign(charset.data(), charset.size());
    last_is_utf8_ = CodePageOfCharset(charset) == kUtf8CodePage;
  }
  return last_is_utf8_;
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
    Narrow(wide.data(), wide.data() + wide.size(), out);
    return true;
  }
  return codec_.WideToAnsi(wide, out);
}

void CCardParser::ReadEmail(const Params& params, std::string_view value) {
  value = Trim(value);
  if (value.empty()) return;
  const std::string_view charset = params.charset;
  if (!charset.empty() && !IsAscii(value)) {
    if (!codec_.CharsetToWide(charset, value, &wide_) || !ToAnsi(wide_, &ansi_)) return;
    value = Trim(ansi_);
    if (value.empty()) return;
  }
  emails_.append(value.data(), value.size());
  email_ends_.push_back(emails_.size());
}

// Keeps the name or reading in [b, e) (escapes undone, blanks trimmed) if it
// is not empty, the system code page holds it and the card's budget has
// room; with `want_ansi` its code page form is then in ansi_. A name read
// from ASCII or from the system code page needs no test: undoing escapes
// only changes ASCII characters.
bool CCardParser::KeepName(const char16_t* b, const char16_t* e, bool reading, Origin origin,
                           bool want_ansi) {
  while (b < e && IsBlank16(*b)) ++b;
  while (e > b && IsBlank16(e[-1])) --e;
  if (b == e) return false;
  if (names_ + readings_ >= kMaxNames) return false;
  // Built in place, in the next free slot of the card's names or readings.
  std::vector<std::u16string>& list = reading ? row_.readings : row_.names;
  size_t& count = reading ? readings_ : names_;
  if (count == list.size()) {
    // A string kept from an earlier card brings its room along.
    if (spare_.empty()) {
      list.emplace_back();
    } else {
      list.push_back(std::move(spare_.back()));
      spare_.pop_back();
    }
  }
  std::u16string& name = list[count];
  if (!escapes_) {
    name.assign(b, static_cast<size_t>(e - b));
  } else {
    name.clear();
    AppendUnescaped(b, e, &name);
    // An escaped line break at either end is a blank there.
    while (!name.empty() && name.back() == u' ') name.pop_back();
    size_t lead = 0;
    while (lead < name.size() && name[lead] == u' ') ++lead;
    if (lead) name.erase(0, lead);
  }
  if (name.empty() || name_units_ + name.size() > kMaxNameUnits) return false;
  if (origin == kFromAscii) {
    if (want_ansi) Narrow(name.data(), name.data() + name.size(), &ansi_);
  } else if (want_ansi || origin != kFromAnsi) {
    if (!AnsiHolds(name, want_ansi)) return false;
  }
  name_units_ += name.size();
  ++count;
  return true;
}

void CCardParser::ReadName(Kind kind, const Params& params, std::string_view value) {
  if (kind == kSound && params.data) return;
  const char16_t* b;
  const char16_t* e;
  const Origin origin = ToWide(value, params.charset, &b, &e);
  if (origin == kInvalid) return;
  switch (kind) {
    case kFn: {
      // An FN in ASCII or the system code page that needs neither trimming
      // nor escapes undone is its own display form: no conversion back.
      const bool plain = origin == kFromAnsi || origin == kFromAscii;
      if (plain) value = CutAtNul(value);  // as the name was
      const bool as_is = plain && !escapes_ && !value.empty() &&
                         !IsBlank(value.front()) && !IsBlank(value.back());
      if (KeepName(b, e, false, origin, !have_fn_ && !as_is) && !have_fn_) {
        have_fn_ = true;
        if (as_is) {
          fn_.assign(value.data(), value.size());
        } else {
          fn_ = ansi_;
        }
      }
      break;
    }
    case kN: {
      int index[5] = {-1, -1, -1, -1, -1};
      bool whole = true;  // every part that is there was kept
      for (size_t i = 0;; ++i) {
        const char16_t* t = FindUnescaped(b, e, u';');
        const size_t before = names_;
        if (KeepName(b, t, false, origin, false)) {
          if (i < 5) index[i] = static_cast<int>(before);
        } else {
          for (const char16_t* p = b; p < t; ++p) {
            if (!IsBlank16(*p)) whole = false;
          }
        }
        if (t == e) break;
        b = t + 1;
      }
      if (!have_n_) {
        have_n_ = true;
        n_whole_ = whole;
        std::copy(index, index + 5, n_index_);
      }
      break;
    }
    case kNickname:
    case kSound:
      for (;;) {
        const char16_t* t = FindUnescaped(b, e, kind == kNickname ? u',' : u';');
        KeepName(b, t, kind == kSound, origin, false);
        if (t == e) break;
        b = t + 1;
      }
      break;
    case kPhonetic:
      KeepName(b, e, true, origin, false);
      break;
    default:
      break;
  }
}

// True if the system code page holds `name` exactly (with `want_bytes`, its
// bytes are then in ansi_). What the code page holds is learnt one UTF-16
// unit at a time: a unit once refused refuses every later name without a
// call, and a name of units all held before needs none.
bool CCardParser::AnsiHolds(const std::u16string& name, bool want_bytes) {
  if (held_.empty()) held_.assign(0x10000 / 4, 0);
  auto state = [this](char16_t c) { return (held_[c >> 2] >> ((c & 3) * 2)) & 3; };
  auto learn = [this](char16_t c, unsigned st) {
    held_[c >> 2] = static_cast<unsigned char>(held_[c >> 2] | st << ((c & 3) * 2));
  };
  constexpr unsigned kHeld = 1, kRefused = 2;
  // Surrogates are never learnt: half a pair converts on its own nowhere.
  auto learnable = [](char16_t c) { return c >= 0x80 && (c < 0xD800 || c > 0xDFFF); };
  bool unknown = false;
  for (char16_t c : name) {
    if (c < 0x80) continue;
    if (!learnable(c)) {
      unknown = true;
      continue;
    }
    const unsigned st = state(c);
    if (st == kRefused) return false;
    if (st != kHeld) unknown = true;
  }
  if (!unknown && !want_bytes) return true;
  if (codec_.WideToAnsi(name, &ansi_)) {
    for (char16_t c : name) {
      if (learnable(c)) learn(c, kHeld);
    }
    return true;
  }
  std::string bytes;
  for (char16_t c : name) {
    if (learnable(c) && state(c) == 0) {
      learn(c, codec_.WideToAnsi(std::u16string_view(&c, 1), &bytes) ? kHeld : kRefused);
    }
  }
  return false;
}

// The first N's parts as the display name, when every part of it was kept
// (half a name would look like someone else's): given, additional and
// family (prefix first, suffix last) with blanks for Latin names; family,
// given and additional run together for Han, kana and Hangul names.
void CCardParser::NDisplay(std::string* out) const {
  out->clear();
  if (!have_n_ || !n_whole_) return;
  auto part = [this](int i) {
    return n_index_[i] < 0 ? std::u16string() : row_.names[static_cast<size_t>(n_index_[i])];
  };
  const bool east = IsEastAsian(part(0)) || IsEastAsian(part(1));
  static const int kLatin[] = {3, 1, 2, 0, 4};
  static const int kEast[] = {0, 1, 2};
  std::u16string joined;
  for (size_t k = 0; k < (east ? 3u : 5u); ++k) {
    const std::u16string p = part(east ? kEast[k] : kLatin[k]);
    if (p.empty()) continue;
    if (!east && !joined.empty()) joined += u' ';
    joined += p;
  }
  if (!ToAnsi(joined, out)) out->clear();
}

void CCardParser::Shrink(std::vector<std::u16string>* list, size_t size) {
  // Only strings with room of their own are worth keeping: a short one
  // lives inside the string object, and moving it costs more than making
  // it again.
  while (list->size() > size) {
    if (list->back().capacity() > kInlineUnits) spare_.push_back(std::move(list->back()));
    list->pop_back();
  }
}

void CCardParser::EndCard() {
  FlushProperty();
  in_card_ = false;
  if (!email_ends_.empty()) {
    // A card without a name kept (and so without a display name) goes out
    // as a bare row, and the name slots stay for the next card.
    const bool bare = names_ == 0 && readings_ == 0;
    if (!bare) {
      if (have_fn_) {
        row_.display_name.assign(fn_);
      } else {
        NDisplay(&row_.display_name);
      }
      // Slots beyond the card's names leave the row, their strings kept for
      // later cards.
      Shrink(&row_.names, names_);
      Shrink(&row_.readings, readings_);
    }
    NamedAddress& row = bare ? bare_ : row_;
    size_t begin = 0;
    for (size_t end : email_ends_) {
      row.address.assign(emails_, begin, end - begin);
      sink_.Take(row);
      begin = end;
    }
  }
  emails_.clear();
  email_ends_.clear();
  names_ = readings_ = 0;
  name_units_ = 0;
  have_fn_ = have_n_ = n_whole_ = false;
}

}  // namespace vantrel

// The card reader fed in chunks against the same bytes fed whole: the chunk
// sizes come from the input's first bytes, and the rows must be the same.
// The rest of the input is the file, some bytes standing for card pieces.
// The codec reads the system code page as Latin-1 and knows UTF-8, so that
// conversions (and their failures) are exercised too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "addrbook/card_parser.h"

namespace {

class Latin1Codec final : public vantrel::TextCodec {
 public:
  bool AnsiToWide(std::string_view ansi, std::u16string* out) const override {
    out->assign(ansi.begin(), ansi.end());
    for (char16_t& c : *out) c &= 0xFF;
    return true;
  }
  bool WideToAnsi(std::u16string_view wide, std::string* out) const override {
    out->clear();
    for (char16_t c : wide) {
      if (c > 0xFF) return false;
      *out += static_cast<char>(c);
    }
    return true;
  }
  bool CharsetToWide(std::string_view charset, std::string_view bytes,
                     std::u16string* out) const override {
    if (charset != "UTF-8") return false;
    out->clear();
    for (size_t i = 0; i < bytes.size();) {
      const unsigned char c = static_cast<unsigned char>(bytes[i]);
      size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : 0;
      if (n == 0 || i + n > bytes.size()) return false;
      char32_t u = n == 1 ? c : n == 2 ? c & 0x1F : c & 0x0F;
      for (size_t k = 1; k < n; ++k) {
        const unsigned char t = static_cast<unsigned char>(bytes[i + k]);
        if ((t >> 6) != 2) return false;
        u = u << 6 | (t & 0x3F);
      }
      *out += static_cast<char16_t>(u);
      i += n;
    }
    return true;
  }
};

std::vector<vantrel::NamedAddress> Read(const std::string& file, const uint8_t* sizes) {
  static const Latin1Codec codec;
  std::vector<vantrel::NamedAddress> rows;
  vantrel::CCardParser parser(rows, codec);
  size_t pos = 0;
  for (size_t i = 0; pos < file.size(); ++i) {
    const size_t n =
        sizes ? std::min<size_t>(sizes[i % 4] + 1u, file.size() - pos) : file.size() - pos;
    if (!parser.Feed(file.data() + pos, n)) break;
    pos += n;
  }
  parser.Finish();
  return rows;
}

// Bytes 0xF0 to 0xFF stand for the pieces of a card, so that short inputs
// make cards; every other byte stands for itself.
std::string Expand(const uint8_t* data, size_t size) {
  static const char* const kPieces[16] = {
      "BEGIN:VCARD\n", "END:VCARD\r\n", "EMAIL;PREF;INTERNET:", "EMAIL:", "FN:", "N:",
      ";CHARSET=UTF-8", ";ENCODING=QUOTED-PRINTABLE", "NICKNAME", "SOUND;X-IRMC-N:",
      "X-PHONETIC-FIRST-NAME:", "item1.", "=\n", "\n ", "\\", "=C3=A9"};
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] >= 0xF0) {
      out += kPieces[data[i] - 0xF0];
    } else {
      out += static_cast<char>(data[i]);
    }
  }
  return out;
}

bool Same(const vantrel::NamedAddress& a, const vantrel::NamedAddress& b) {
  return a.address == b.address && a.display_name == b.display_name && a.names == b.names &&
         a.readings == b.readings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  // Four bytes of chunk sizes (1..256, repeating), the rest is the file.
  const std::string file = Expand(data + 4, size - 4);
  const std::vector<vantrel::NamedAddress> whole = Read(file, nullptr);
  const std::vector<vantrel::NamedAddress> chunked = Read(file, data);
  if (whole.size() != chunked.size()) std::abort();
  for (size_t i = 0; i < whole.size(); ++i) {
    if (!Same(whole[i], chunked[i])) std::abort();
    // Rows carry addresses, trimmed, and never empty.
    const std::string& a = whole[i].address;
    if (a.empty() || a.front() == ' ' || a.back() == ' ') std::abort();
    if (whole[i].names.size() + whole[i].readings.size() > vantrel::kMaxNames) std::abort();
  }
  return 0;
}

// The cost of the first reading of the address books (ScanAddressBooks and
// ParseAddressBooks) on 200 files holding 100,000 addresses (about 14 MB of
// vCard text), against the least any reader must do: open each file, ask
// its size, read it whole with one ReadFile, close it. Both run in the same
// process on the same files, several passes each, interleaved; the goal is
// at most twice the baseline (exit code 3 if missed, 1 if the addresses read
// are not the addresses written).
//
// Further figures: the folder walk alone, and the parser alone beside memchr
// over the same bytes in memory (the parser's floor: every byte must be
// looked at once; what it costs beyond that is mostly the 100,000 string
// allocations of the address array).
//
// The name mode: the same reading with the cards' rows on against off, in
// the same passes (goal: on at most 1.5 times off, exit code 4 if missed),
// and the card reader alone in memory. A third of the cards carry Han names in UTF-8, some with
// readings, some nicknames. Two sets of books: lean cards (names and
// addresses only, the hardest case for the ratio) and typical cards (with
// telephone numbers, a postal address, an organisation, a note, now and
// then a photo), each with its own baseline. The rows go to a sink that
// looks at every row and copies nothing, as the name index's builder takes
// them; the copy of every row into an array is shown beside it.
#include <windows.h>

#include "bench_clock.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "addrbook/address_books.h"
#include "addrbook/address_parser.h"
#include "addrbook/card_parser.h"
#include "platform/handles.h"
#include "platform/text_codec.h"

using namespace vantrel;

namespace {

constexpr int kFiles = 200;
constexpr int kAddresses = 100000;
constexpr int kPasses = 9;


// Takes every row and looks at it; what a consumer keeps is its own cost.
class CountingSink final : public NamedAddressSink {
 public:
  void Take(const NamedAddress& row) override {
    ++rows;
    units += row.address.size() + row.display_name.size();
    for (const auto& n : row.names) units += n.size();
    for (const auto& n : row.readings) units += n.size();
  }
  size_t rows = 0;
  size_t units = 0;
};

struct Times {
  std::vector<double> ms;
  double Best() const { return *std::min_element(ms.begin(), ms.end()); }
  double Median() const {
    std::vector<double> v = ms;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
};

std::string Card(std::mt19937& rng, int i) {
  static const char* const kFirst[] = {"Anna", "Andrew", "Alice", "Alan", "Ben", "Beatriz",
                                       "Carla", "David", "Emma", "Hiro", "Ingrid", "Jamal",
                                       "Kofi", "Lena", "Mateo", "Nadia", "Olga", "Pavel",
                                       "Quinn", "Rosa", "Sven", "Tariq", "Uma", "Wei"};
  static const char* const kLast[] = {"Lindqvist", "Kim", "Moreau", "Fischer", "Okafor",
                                      "Santos", "Jensen", "Cohen", "Novak", "Tanaka", "Berg",
                                      "Holm", "Ferri", "Weber", "Diaz", "Nguyen", "Schulz"};
  static const char* const kDomain[] = {"example.com", "mailbox.org", "posteo.de",
                                        "vantrel-labs.example", "uni-example.edu", "gmx.example"};
  const std::string first = kFirst[rng() % (sizeof kFirst / sizeof *kFirst)];
  const std::string last = kLast[rng() % (sizeof kLast / sizeof *kLast)];
  const std::string domain = kDomain[rng() % (sizeof kDomain / sizeof *kDomain)];
  std::string lower = first + "." + last + std::to_string(i);
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  static const char* const kHanFamily[] = {"\xe5\xbc\xa0", "\xe7\x8e\x8b", "\xe6\x9d\x8e",
                                           "\xe5\x88\x98", "\xe9\x99\x88", "\xe5\xb1\xb1\xe7\x94\xb0"};
  static const char* const kHanGiven[] = {"\xe4\xbc\x9f", "\xe8\x8a\xb3", "\xe5\xa8\x9c",
                                          "\xe6\x95\x8f", "\xe5\xa4\xaa\xe9\x83\x8e"};
  std::string c = "BEGIN:VCARD\nVERSION:3.0\n";
  if (i % 3 == 0) {
    const std::string family = kHanFamily[rng() % 6];
    const std::string given = kHanGiven[rng() % 5];
    c += "FN;CHARSET=UTF-8:" + family + given + "\nN;CHARSET=UTF-8:" + family + ";" + given +
         ";;;\n";
    if (i % 2 == 0) {
      c += "X-PHONETIC-LAST-NAME;CHARSET=UTF-8:\xe3\x82\x84\xe3\x81\xbe\xe3\x81\xa0\n"
           "X-PHONETIC-FIRST-NAME:taro\n";
    }
  } else {
    c += "FN:" + first + " " + last + "\nN:" + last + ";" + first + ";;;\n";
    if (i % 7 == 0) c += "NICKNAME:" + first.substr(0, 3) + "," + last.substr(0, 2) + "\n";
  }
  c += "EMAIL;PREF;INTERNET:" + lower + "@" + domain + "\n";
  if (rng() % 5 == 0) c += "EMAIL;INTERNET:" + lower + "@private.example\n";
  if (rng() % 4 == 0) c += "TEL;TYPE=CELL:+46 70 " + std::to_string(1000000 + rng() % 8999999) + "\n";
  c += "END:VCARD\n";
  return c;
}

// A card as address books typically hold them: the lean card's names and
// addresses among telephone numbers, a postal address, an organisation, a
// note, and now and then a photo (base64, folded at 75 columns).
std::string TypicalCard(std::mt19937& rng, int i) {
  std::string c = Card(rng, i);
  c.resize(c.size() - 10);  // "END:VCARD\n"
  c += "TEL;TYPE=WORK,VOICE:+49 30 " + std::to_string(1000000 + rng() % 8999999) + "\n";
  if (rng() % 2) c += "TEL;TYPE=HOME:+49 40 " + std::to_string(1000000 + rng() % 8999999) + "\n";
  c += "ADR;TYPE=WORK:;;Hauptstrasse " + std::to_string(1 + rng() % 200) +
       ";Berlin;;10115;Germany\n"
       "ORG:Vantrel Labs;Engineering\nTITLE:Engineer\n"
       "NOTE:Met at the conference\\, talked about the shipping plan\\; call back in "
       "spring.\n"
       "URL:https://example.com/people/" + std::to_string(i) + "\n"
       "BDAY:1980-0" + std::to_string(1 + rng() % 9) + "-1" + std::to_string(rng() % 10) + "\n";
  if (i % 10 == 0) {
    static const char kBase64[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string photo = "PHOTO;ENCODING=b;TYPE=JPEG:";
    for (int k = 0; k < 3000; ++k) {
      if (photo.size() % 76 == 75) photo += "\n ";
      photo += kBase64[rng() % 64];
    }
    c += photo + "\n";
  }
  c += "REV:2024-05-01T10:00:00Z\nEND:VCARD\n";
  return c;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
  UniqueHandle h(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return h && ::WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                          nullptr) &&
         written == bytes.size();
}

// The baseline: every file read whole, nothing looked at.
size_t ReadAllWhole(const std::vector<std::string>& files, std::vector<char>& buffer) {
  size_t total = 0;
  for (const std::string& path : files) {
    UniqueHandle h(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
    if (!h) continue;
    const DWORD size = ::GetFileSize(h.get(), nullptr);
    if (buffer.size() < size) buffer.resize(size);
    DWORD got = 0;
    if (::ReadFile(h.get(), buffer.data(), size, &got, nullptr)) total += got;
  }
  return total;
}

using CardMaker = std::string (*)(std::mt19937&, int);

// Writes one set of books, reads it off and on, prints the figures; returns
// the exit code (0, 1, 3 or 4).
int RunBooks(const char* title, CardMaker make, const std::string& folder) {
  const std::string sub = folder + "\\Groups";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  ::CreateDirectoryA(sub.c_str(), nullptr);

  // 200 files, a quarter of them in a subfolder, half with CR LF line ends.
  std::mt19937 rng(2024);
  std::vector<std::string> files;
  std::vector<std::string> contents;
  size_t bytes = 0;
  for (int f = 0, next = 0; f < kFiles; ++f) {
    std::string text;
    const int count = kAddresses / kFiles;
    for (int i = 0; i < count; ++i) text += make(rng, next++);
    if (f % 2) {
      std::string crlf;
      crlf.reserve(text.size() * 11 / 10);
      for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
      }
      text.swap(crlf);
    }
    const std::string path =
        (f % 4 == 3 ? sub : folder) + "\\book" + std::to_string(f) + ".bab";
    if (!WriteWhole(path, text)) {
      std::printf("cannot write %s\n", path.c_str());
      return 1;
    }
    files.push_back(path);
    bytes += text.size();
    contents.push_back(std::move(text));
  }
  std::printf("\n=== %s: %d files, %.1f MB, %d cards written\n", title, kFiles,
              static_cast<double>(bytes) / 1e6, kAddresses);

  Times whole, read, read_rows, read_array, scan, parse_mem, cards_mem, memchr_mem;
  size_t row_count = 0;
  std::vector<char> buffer;
  size_t count = 0;
  size_t whole_bytes = 0;
  size_t lines = 0;
  // One pass of each before timing: the file cache and the heap warm up.
  for (int pass = -1; pass < kPasses; ++pass) {
    double t0 = Now();
    whole_bytes = ReadAllWhole(files, buffer);
    double t1 = Now();

    PathList paths;
    std::vector<std::string> addresses;
    ScanAddressBooks(folder, paths);
    ParseAddressBooks(paths, addresses);
    double t2 = Now();
    count = addresses.size();

    PathList scanned;
    ScanAddressBooks(folder, scanned);
    double t2b = Now();

    // The name mode on: the same reading, with the rows.
    PathList paths_on;
    std::vector<std::string> addresses_on;
    CountingSink sink;
    ScanAddressBooks(folder, paths_on);
    ParseAddressBooks(paths_on, addresses_on, sink);
    const double t2c = Now();
    row_count = sink.rows;
    if (addresses_on != addresses) {
      std::printf("FAIL: the addresses differ with the rows on\n");
      return 1;
    }
    CountingSink sink_mem;
    for (const std::string& text : contents) {
      CCardParser cards(sink_mem, SystemTextCodec());
      cards.Feed(text.data(), text.size());
      cards.Finish();
    }
    const double t2d = Now();
    {
      PathList paths_array;
      std::vector<std::string> addresses_array;
      std::vector<NamedAddress> rows;
      const double t = Now();
      ScanAddressBooks(folder, paths_array);
      ParseAddressBooks(paths_array, addresses_array, &rows);
      if (pass >= 0) read_array.ms.push_back(Now() - t);
      if (rows.size() != row_count) {
        std::printf("FAIL: %zu rows in the array, %zu through the sink\n", rows.size(), row_count);
        return 1;
      }
    }

    const double t2e = Now();
    std::vector<std::string> in_memory;
    for (const std::string& text : contents) {
      CAddressParser parser(in_memory);
      parser.Feed(text.data(), text.size());
      parser.Finish();
    }
    double t3 = Now();
    lines = 0;
    for (const std::string& text : contents) {
      const char* p = text.data();
      const char* end = p + text.size();
      while (const void* nl = std::memchr(p, '\n', static_cast<size_t>(end - p))) {
        p = static_cast<const char*>(nl) + 1;
        ++lines;
      }
    }
    double t4 = Now();
    if (pass < 0) continue;
    whole.ms.push_back(t1 - t0);
    read.ms.push_back(t2 - t1);
    scan.ms.push_back(t2b - t2);
    read_rows.ms.push_back(t2c - t2b);
    cards_mem.ms.push_back(t2d - t2c);
    parse_mem.ms.push_back(t3 - t2e);
    memchr_mem.ms.push_back(t4 - t3);
  }

  std::printf("\nfiles and addresses (%d passes)           best ms   median ms\n", kPasses);
  std::printf("  baseline: ReadFile of each whole file   %8.2f  %8.2f   (%zu bytes)\n",
              whole.Best(), whole.Median(), whole_bytes);
  std::printf("  ScanAddressBooks + ParseAddressBooks    %8.2f  %8.2f   (%zu addresses)\n",
              read.Best(), read.Median(), count);
  const double ratio = read.Median() / whole.Median();
  std::printf("  ratio                                   %8.2fx %8.2fx   goal <= 2.00x (median): %s\n",
              read.Best() / whole.Best(), ratio, ratio <= 2.0 ? "PASS" : "FAIL");
  std::printf("  of which ScanAddressBooks alone          %8.2f  %8.2f\n", scan.Best(),
              scan.Median());
  std::printf("\nin memory, the same bytes\n");
  std::printf("  memchr for every line end               %8.2f  %8.2f   (%zu lines)\n",
              memchr_mem.Best(), memchr_mem.Median(), lines);
  std::printf("  CAddressParser                          %8.2f  %8.2f\n", parse_mem.Best(),
              parse_mem.Median());
  std::printf("  CCardParser                             %8.2f  %8.2f   (%zu rows)\n",
              cards_mem.Best(), cards_mem.Median(), row_count);

  std::printf("\nname mode, the same reading (code page %u)\n", ::GetACP());
  std::printf("  rows off: Scan + Parse (as above)       %8.2f  %8.2f\n", read.Best(),
              read.Median());
  std::printf("  rows on:  Scan + Parse with rows        %8.2f  %8.2f   (%zu rows)\n",
              read_rows.Best(), read_rows.Median(), row_count);
  std::printf("  rows on, each copied into an array      %8.2f  %8.2f\n", read_array.Best(),
              read_array.Median());
  const double rows_ratio = read_rows.Median() / read.Median();
  std::printf("  ratio                                   %8.2fx %8.2fx   goal <= 1.50x (median): %s\n",
              read_rows.Best() / read.Best(), rows_ratio, rows_ratio <= 1.5 ? "PASS" : "FAIL");

  for (const std::string& path : files) ::DeleteFileA(path.c_str());
  ::RemoveDirectoryA(sub.c_str());
  ::RemoveDirectoryA(folder.c_str());
  if (count != static_cast<size_t>(kAddresses)) {
    std::printf("FAIL: %zu addresses read, %d written\n", count, kAddresses);
    return 1;
  }
  if (ratio > 2.0) return 3;
  return rows_ratio <= 1.5 ? 0 : 4;
}

}  // namespace

int main() {
  char tmp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, tmp);
  const std::string folder =
      std::string(tmp) + "vantrel-addrbook-bench-" + std::to_string(::GetCurrentProcessId());
  std::printf("addrbook_bench\n");
  const int lean = RunBooks("lean cards (names and addresses)", Card, folder + "-lean");
  const int typical =
      RunBooks("typical cards (TEL, ADR, ORG, NOTE, some PHOTO)", TypicalCard, folder + "-typical");
  // The worst of the two: a wrong count first, then a missed goal.
  if (lean == 1 || typical == 1) return 1;
  return lean != 0 ? lean : typical;
}

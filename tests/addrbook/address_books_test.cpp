// The address-book walk and file reading against real folders and files
// under Wine, the console tool, and double-byte folder and file names (in the
// runs of this program in code pages 936 and 932).
#include "addrbook/address_books.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "addrbook/address_parser.h"
#include "platform/ansi.h"
#include "platform/handles.h"

using namespace vantrel;
using Strings = std::vector<std::string>;

namespace {

std::wstring Widen(const std::string& s) {
  if (s.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

// "\\?\" paths: the tests build trees deeper than the ANSI functions reach.
std::wstring LongPath(const std::string& path) { return L"\\\\?\\" + Widen(path); }

bool MakeDir(const std::string& path) {
  return ::CreateDirectoryW(LongPath(path).c_str(), nullptr) != 0;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  UniqueHandle h(::CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return false;
  DWORD written = 0;
  return ::WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

void RemoveTree(const std::wstring& dir) {
  WIN32_FIND_DATAW fd;
  UniqueFindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &fd));
  if (find) {
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = dir + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(full.c_str());
      }
    } while (::FindNextFileW(find.get(), &fd));
  }
  ::RemoveDirectoryW(dir.c_str());
}

// A fresh folder under the temp folder, removed with everything below it.
class TempTree {
 public:
  explicit TempTree(const std::string& tag) {
    char tmp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, tmp);
    static int counter = 0;
    root_ = std::string(tmp) + "vab-" + tag + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    RemoveTree(LongPath(root_));
    EXPECT_TRUE(MakeDir(root_)) << root_ << " error " << ::GetLastError();
  }
  ~TempTree() { RemoveTree(LongPath(root_)); }
  const std::string& root() const { return root_; }
  std::string operator/(const std::string& rel) const { return root_ + "\\" + rel; }
  void Dir(const std::string& rel) const { EXPECT_TRUE(MakeDir(*this / rel)) << rel; }
  void File(const std::string& rel, const std::string& bytes) const {
    EXPECT_TRUE(WriteBytes(*this / rel, bytes)) << rel << " error " << ::GetLastError();
  }

 private:
  std::string root_;
};

std::string Card(const std::string& address) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:x\r\nEMAIL;PREF;INTERNET:" + address +
         "\r\nEMAIL;INTERNET:other-" + address + "\r\nEND:VCARD\r\n";
}

Strings Scan(const std::string& folder) {
  PathList paths;
  ScanAddressBooks(folder, paths);
  return paths;
}

Strings ScanAndParse(const std::string& folder) {
  PathList paths;
  ScanAddressBooks(folder, paths);
  Strings addresses;
  ParseAddressBooks(paths, addresses);
  return addresses;
}

std::string Join(const Strings& v) {
  std::string s;
  for (const auto& x : v) s += "\n  " + x;
  return s;
}

// The names in `folder`, in the platform's enumeration order.
Strings ListNames(const std::string& folder) {
  Strings names;
  WIN32_FIND_DATAA fd;
  UniqueFindHandle find(::FindFirstFileA((folder + "\\*.*").c_str(), &fd));
  if (!find) return names;
  do {
    const std::string name = fd.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(find.get(), &fd));
  return names;
}

// Runs a command line with stdout and stderr in a temp file; returns the
// exit code (or -1) and the output.
DWORD RunCaptured(std::string command_line, std::string* output) {
  char tmp[MAX_PATH];
  char name[MAX_PATH];
  ::GetTempPathA(MAX_PATH, tmp);
  ::GetTempFileNameA(tmp, "vab", 0, name);
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  DWORD code = static_cast<DWORD>(-1);
  {
    UniqueHandle out(::CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out) return code;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = out.get();
    si.hStdError = out.get();
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0,
                          nullptr, nullptr, &si, &pi)) {
      return code;
    }
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    // A generous bound: a child under Wine can take seconds to start.
    if (::WaitForSingleObject(process.get(), 120000) == WAIT_OBJECT_0)
      ::GetExitCodeProcess(process.get(), &code);
    else
      ::TerminateProcess(process.get(), 99);
  }
  output->clear();
  UniqueHandle in(::CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  char buf[65536];
  DWORD got = 0;
  while (in && ::ReadFile(in.get(), buf, sizeof buf, &got, nullptr) && got) output->append(buf, got);
  in.reset();
  ::DeleteFileA(name);
  return code;
}

std::string ModuleDir() {
  char path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.rfind('\\') + 1);
}

}  // namespace

// The tree from the address-book reader's documentation: a.bab, c.babx,
// notes.txt, sub\B.BAB, old.bab\readme.txt (plus more in sub, to see that a
// subfolder's files stay together at its place).
TEST(ScanAddressBooks, PreOrderWalkOfLowerCasedQualifyingPaths) {
  TempTree t("walk");
  t.File("a.bab", "");
  t.File("c.babx", "");
  t.File("notes.txt", "");
  t.Dir("sub");
  t.File("sub\\B.BAB", "");
  t.File("sub\\z.bab", "");
  t.Dir("sub\\deeper");
  t.File("sub\\deeper\\x.bab", "");
  t.File("sub\\deeper\\x.txt", "");
  t.Dir("old.bab");
  t.File("old.bab\\readme.txt", "");
  t.Dir("empty");
  // Hidden and system files are address books too.
  ::SetFileAttributesA((t / "c.babx").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

  const std::string root = LowerAnsi(t.root()) + "\\";
  const Strings got = Scan(t.root());
  const std::set<std::string> want = {root + "a.bab", root + "c.babx", root + "sub\\b.bab",
                                      root + "sub\\z.bab", root + "sub\\deeper\\x.bab",
                                      root + "old.bab\\readme.txt"};
  EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), want) << "got" << Join(got);
  EXPECT_EQ(got.size(), want.size()) << "got" << Join(got);

  // Pre-order: the top-level entry of each path, in the order of the
  // platform's enumeration, and every subfolder's files together.
  const Strings top = ListNames(t.root());
  std::vector<size_t> rank;
  for (const std::string& p : got) {
    std::string rest = p.substr(root.size());
    rest = rest.substr(0, rest.find('\\'));
    size_t i = 0;
    while (i < top.size() && LowerAnsi(top[i]) != rest) ++i;
    rank.push_back(i);
  }
  EXPECT_TRUE(std::is_sorted(rank.begin(), rank.end())) << "enumeration order" << Join(top)
                                                        << "\ngot" << Join(got);
  // Inside sub, x.bab of sub\deeper stands where deeper was met.
  const Strings in_sub = ListNames(t / "sub");
  Strings want_sub;
  for (const std::string& name : in_sub) {
    if (name == "deeper") want_sub.push_back(root + "sub\\deeper\\x.bab");
    else if (name != "x.txt") want_sub.push_back(root + "sub\\" + LowerAnsi(name));
  }
  Strings got_sub;
  for (const std::string& p : got)
    if (p.compare(0, root.size() + 4, root + "sub\\") == 0) got_sub.push_back(p);
  EXPECT_EQ(got_sub, want_sub) << "enumeration of sub" << Join(in_sub);

  // A trailing backslash on the folder changes nothing.
  EXPECT_EQ(Scan(t.root() + "\\"), got);
  // Scanning appends to what the list holds.
  PathList appended = {"kept"};
  ScanAddressBooks(t.root(), appended);
  EXPECT_EQ(appended.size(), got.size() + 1);
  EXPECT_EQ(appended.front(), "kept");
}

TEST(ScanAddressBooks, EveryFileBelowAFolderNamedBabQualifies) {
  TempTree t("tag");
  t.Dir("My.BAB");
  t.File("My.BAB\\notes.txt", "");
  t.File("My.BAB\\readme", "");
  t.Dir("My.BAB\\inner");
  t.File("My.BAB\\inner\\x.doc", "");
  const Strings got = Scan(t / "My.BAB");
  EXPECT_EQ(got.size(), 3u) << Join(got);
  for (const std::string& p : got) EXPECT_NE(p.find("\\my.bab\\"), std::string::npos) << p;
}

TEST(ScanAddressBooks, MissingOrUnusableFoldersYieldNothing) {
  TempTree t("missing");
  t.File("file.bab", "EMAIL;PREF:a@x\n");
  EXPECT_TRUE(Scan(t / "nope").empty());
  EXPECT_TRUE(Scan(t / "nope\\deeper.bab").empty());
  // A file named as the folder is no folder.
  EXPECT_TRUE(Scan(t / "file.bab").empty()) << Join(Scan(t / "file.bab"));
  EXPECT_TRUE(ScanAndParse(t / "nope").empty());
  // Invalid names make FindFirstFileA fail, nothing more.
  EXPECT_TRUE(Scan(t / "bad<|>name").empty());
}

TEST(ScanAddressBooks, ADeepTreeIsWalkedToTheBottom) {
  TempTree t("deep");
  std::string rel;
  Strings want;
  for (int level = 0; level < 60; ++level) {
    rel += (rel.empty() ? "" : "\\") + std::string("d");
    t.Dir(rel);
    t.File(rel + "\\level.bab", Card("level" + std::to_string(level) + "@x"));
    want.push_back("level" + std::to_string(level) + "@x");
  }
  Strings got = ScanAndParse(t.root());
  // Within a level the file and the next folder come in enumeration order;
  // the set and the count are what must hold.
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
}

// Folders whose search pattern does not fit in MAX_PATH are not searched and
// files whose path does not fit cannot be opened; neither disturbs the rest.
TEST(ScanAddressBooks, PathsLongerThanMaxPathAreLeftOutWithoutHarm) {
  TempTree t("long");
  const size_t root_len = t.root().size();
  ASSERT_LT(root_len, 120u) << t.root();
  const std::string seg1(100, 'p');
  // seg2 chosen so that its search pattern "...\seg2\*.*" is 255 characters.
  const std::string seg2(149 - root_len, 'q');
  const std::string seg3(30, 'r');
  const std::string d1 = seg1, d2 = seg1 + "\\" + seg2, d3 = d2 + "\\" + seg3;
  t.Dir(d1);
  t.Dir(d2);
  t.Dir(d3);
  t.File("top.bab", Card("top@x"));
  t.File(d1 + "\\one.bab", Card("one@x"));
  t.File(d2 + "\\two.bab", Card("two@x"));                        // 259 characters
  t.File(d2 + "\\" + std::string(20, 'n') + ".bab", Card("n@x"));  // 276: cannot be opened
  t.File(d3 + "\\three.bab", Card("three@x"));                    // folder not searched
  ASSERT_EQ((t / d2).size() + 4, 255u);

  const Strings paths = Scan(t.root());
  for (const std::string& p : paths) EXPECT_EQ(p.find("three.bab"), std::string::npos) << p;
  Strings got = ScanAndParse(t.root());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, Strings({"one@x", "top@x", "two@x"})) << "paths" << Join(paths);
}

TEST(ParseAddressBooks, FilesInListOrderLinesInFileOrder) {
  TempTree t("order");
  t.File("1.bab", Card("a@x") + Card("b@x"));
  t.File("2.bab", "EMAIL;PREF:c@x\nEMAIL;PREF:a@x");  // no final LF
  t.File("3.bab", "");
  Strings got;
  ParseAddressBooks({t / "2.bab", t / "3.bab", t / "1.bab", t / "2.bab"}, got);
  EXPECT_EQ(got, Strings({"c@x", "a@x", "a@x", "b@x", "c@x", "a@x"})) << Join(got);
  // Appends to what the array holds.
  Strings appended = {"kept"};
  ParseAddressBooks({t / "1.bab"}, appended);
  EXPECT_EQ(appended, Strings({"kept", "a@x", "b@x"}));
}

TEST(ParseAddressBooks, UnreadableFilesAreSkippedAndTheOthersRead) {
  TempTree t("locked");
  t.File("a.bab", Card("a@x"));
  t.File("b.bab", Card("b@x"));
  t.File("c.bab", Card("c@x"));
  t.Dir("d.bab");  // a folder in the list cannot be opened as a file
  {
    // Held open with no sharing at all: the open fails.
    UniqueHandle lock(::CreateFileA((t / "b.bab").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.valid());
    Strings got;
    ParseAddressBooks({t / "a.bab", t / "b.bab", t / "missing.bab", t / "d.bab", t / "c.bab"},
                      got);
    EXPECT_EQ(got, Strings({"a@x", "c@x"})) << Join(got);
  }
  {
    // The host writing the file (sharing reads) does not keep us out.
    UniqueHandle writer(::CreateFileA((t / "b.bab").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.valid());
    Strings got;
    ParseAddressBooks({t / "b.bab"}, got);
    EXPECT_EQ(got, Strings({"b@x"}));
  }
  {
    // Nor does a reader of ours keep the host from saving, renaming or
    // deleting the file.
    UniqueHandle ours(::CreateFileA((t / "a.bab").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(ours.valid());
    EXPECT_TRUE(WriteBytes(t / "c.bab", Card("new@x")));
  }
}

// What another program holds open without sharing is counted, for the
// reading to be repeated; what cannot be read for good is not. (A locked
// range counts too; Wine lets this process read a range that it locked
// through another handle, so that is not shown here.)
TEST(ParseAddressBooks, CountsTheBooksAnotherProgramHolds) {
  TempTree t("held");
  t.File("a.bab", Card("a@x"));
  t.File("b.bab", Card("b@x"));
  t.Dir("d.bab");
  UniqueHandle open_alone(::CreateFileA((t / "b.bab").c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(open_alone.valid());
  Strings got;
  EXPECT_EQ(1u, ParseAddressBooks({t / "a.bab", t / "b.bab", t / "missing.bab", t / "d.bab"}, got));
  EXPECT_EQ(got, Strings({"a@x"})) << Join(got);
  open_alone.reset();
  got.clear();
  EXPECT_EQ(0u, ParseAddressBooks({t / "a.bab", t / "b.bab", t / "d.bab"}, got));
  EXPECT_EQ(got, Strings({"a@x", "b@x"})) << Join(got);
}

// A read that fails in the middle of a file, made with a named pipe whose
// writer goes away (ReadFile then fails with ERROR_BROKEN_PIPE): the lines
// read so far keep their addresses, the unfinished last one included as the
// C runtime's line reading would give it, and the next file is read.
TEST(ParseAddressBooks, AReadErrorKeepsWhatWasReadAndGoesOn) {
  TempTree t("pipe");
  t.File("next.bab", Card("next@x"));
  const std::string pipe =
      "\\\\.\\pipe\\vantrel-addrbook-" + std::to_string(::GetCurrentProcessId());
  UniqueHandle server(::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr));
  ASSERT_TRUE(server.valid()) << ::GetLastError();
  // The writer runs on its own thread because ConnectNamedPipe waits for
  // ParseAddressBooks to open the pipe on this one; it owns the server end
  // until it has written, then closes it, which is the read error. Joined
  // below, so it never outlives the handle's scope.
  std::thread writer([&server] {
    ::ConnectNamedPipe(server.get(), nullptr);
    const std::string text = Card("before@x") + "EMAIL;PREF:unfinished";
    DWORD written = 0;
    ::WriteFile(server.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::FlushFileBuffers(server.get());  // waits until the reader has it all
    server.reset();
  });
  Strings got;
  ParseAddressBooks({pipe, t / "next.bab"}, got);
  writer.join();
  EXPECT_EQ(got, Strings({"before@x", "unfinished", "next@x"})) << Join(got);
}

TEST(ParseAddressBooks, BinaryFilesAndLongLinesReadAsInMemory) {
  TempTree t("binary");
  std::mt19937 rng(7);
  std::string binary;
  for (int i = 0; i < 3 << 20; ++i) {
    // Every byte value but 0x1A, which would end the data; line ends and
    // markers often enough that there are many addresses.
    const unsigned r = rng() % 4096;
    const unsigned byte = rng() & 0xff;
    if (r == 0)
      binary += "EMAIL;PREF:";
    else if (r < 20)
      binary += r % 2 ? '\n' : '\r';
    else
      binary += static_cast<char>(byte == 0x1a ? 0 : byte);
  }
  binary += '\x1a';
  binary += "EMAIL;PREF:after-the-end\n";
  t.File("bin.bab", binary);
  Strings want;
  {
    CAddressParser whole(want);
    whole.Feed(binary.data(), binary.size());
    whole.Finish();
  }
  ASSERT_GT(want.size(), 100u);
  Strings got;
  ParseAddressBooks({t / "bin.bab"}, got);
  EXPECT_TRUE(got == want) << "got " << got.size() << " addresses, want " << want.size();

  // A 10 MB address on one line, between two ordinary ones.
  const std::string big(10 << 20, 'w');
  t.File("big.bab", Card("first@x") + "EMAIL;PREF:" + big + "\r\n" + Card("last@x"));
  got.clear();
  ParseAddressBooks({t / "big.bab"}, got);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], "first@x");
  EXPECT_EQ(got[1].size(), big.size());
  EXPECT_TRUE(got[1] == big);
  EXPECT_EQ(got[2], "last@x");
}

TEST(ParseAddressBooks, AnUnchangedFolderReadsTheSameTwice) {
  TempTree t("twice");
  t.Dir("Work");
  t.File("p.bab", Card("anna@x") + Card("anna@x") + "EMAIL;PREF:\r\n");
  t.File("Work\\w.bab", Card("bob@x") + "EMAIL;PREF;INTERNET:  spaced  \n");
  const Strings first = ScanAndParse(t.root());
  const Strings second = ScanAndParse(t.root());
  EXPECT_EQ(first.size(), 5u) << Join(first);
  EXPECT_EQ(first, second);
}

// The console tool prints exactly what the plug-in reads.
TEST(VantrelAddresses, PrintsWhatParseAddressBooksReads) {
  const std::string exe = ModuleDir() + "VantrelAddresses.exe";
  ASSERT_NE(::GetFileAttributesA(exe.c_str()), INVALID_FILE_ATTRIBUTES) << exe;
  const std::string sample = VANTREL_SAMPLE_ADDRBOOK;
  ASSERT_NE(::GetFileAttributesA(sample.c_str()), INVALID_FILE_ATTRIBUTES) << sample;

  PathList paths;
  ScanAddressBooks(sample, paths);
  Strings addresses;
  ParseAddressBooks(paths, addresses);
  ASSERT_GE(addresses.size(), 20u);
  std::string want_addresses, want_paths;
  for (const auto& a : addresses) want_addresses += a + "\n";
  for (const auto& p : paths) want_paths += p + "\n";
  // The sample has CR LF files; no CR may survive, and notes.txt is not read.
  EXPECT_EQ(want_addresses.find('\r'), std::string::npos);
  EXPECT_EQ(want_addresses.find("not-read"), std::string::npos);

  std::string out;
  EXPECT_EQ(RunCaptured("\"" + exe + "\" \"" + sample + "\"", &out), 0u) << out;
  EXPECT_EQ(out, want_addresses);
  EXPECT_EQ(RunCaptured("\"" + exe + "\" --paths \"" + sample + "\"", &out), 0u) << out;
  EXPECT_EQ(out, want_paths);

  // Bad arguments: the usage text and exit code 2; a missing folder: 1.
  EXPECT_EQ(RunCaptured("\"" + exe + "\"", &out), 2u) << out;
  EXPECT_NE(out.find("usage"), std::string::npos) << out;
  EXPECT_EQ(RunCaptured("\"" + exe + "\" --bogus \"" + sample + "\"", &out), 2u) << out;
  EXPECT_EQ(RunCaptured("\"" + exe + "\" \"" + sample + "\" extra", &out), 2u) << out;
  EXPECT_EQ(RunCaptured("\"" + exe + "\" \"" + sample + "\\nope\"", &out), 1u) << out;
}

// ---- Double-byte code pages ------------------------------------------------
// The program runs again in code pages 936 and 932, also with the user's
// locale in code page 1252 (tests/run_in_code_page.sh): a process's code
// pages are fixed when it starts. These cases need a double-byte code page.

namespace {
struct DoubleByteNames {
  const char* backslash_trail;  // one character whose second byte is '\'
  const char* folder;           // characters with ASCII letters as second bytes
  const char* letter_trail;     // one character whose second byte is 'A'
  const char* address;
};

const DoubleByteNames* NamesOfThisCodePage() {
  static const DoubleByteNames gbk = {"\x95\x5c", "\xcd\xa8\xd1\xb6\xc2\xbc",  // 通讯录
                                      "\x81\x41", "\xd5\xc5\xc8\xfd <zhang@x.cn>"};  // 张三
  static const DoubleByteNames sjis = {"\x83\x5c",                                // ソ
                                       "\x83\x41\x83\x68\x83\x8c\x83\x58",         // アドレス
                                       "\x83\x41", "\x8e\x52\x93\x63 <yamada@x.jp>"};  // 山田
  switch (::GetACP()) {
    case 936: return &gbk;
    case 932: return &sjis;
    default: return nullptr;
  }
}

// What lower-casing must make of the ASCII temp path: the reference for the
// part of the path that is not under test.
std::string AsciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}
}  // namespace

// A folder whose name ends in a double-byte character with 0x5C as second
// byte: taken for a separator, the walk would search the parent for names
// beginning with that character, find the folder itself and recurse until
// the stack ran out.
TEST(DoubleByte, TrailByteBackslashIsNoSeparator) {
  const DoubleByteNames* names = NamesOfThisCodePage();
  if (!names) GTEST_SKIP() << "needs a double-byte code page, not " << ::GetACP();
  TempTree t("dbcs-a");
  const std::string odd = names->backslash_trail;
  t.Dir(odd);
  t.File(odd + "\\in.bab", Card("in@x"));
  t.Dir(odd + "\\" + odd);
  t.File(odd + "\\" + odd + "\\" + odd + ".bab", Card("deep@x"));
  t.File("top.bab", Card("top@x"));

  Strings got = ScanAndParse(t.root());
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, Strings({"deep@x", "in@x", "top@x"}));
  // Given directly, with no trailing backslash.
  got = ScanAndParse(t / odd);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, Strings({"deep@x", "in@x"}));
  const Strings paths = Scan(t / odd);
  ASSERT_EQ(paths.size(), 2u) << Join(paths);
}

// A book under a double-byte folder name: lower-casing the path reads it in
// the system's code page, so no half of a character is taken for a letter,
// also when the user's locale has another code page. Read in that other code
// page, the path would name another folder, and the book would silently not
// be read. The addresses pass byte for byte.
TEST(DoubleByte, BookUnderADoubleByteFolderIsRead) {
  const DoubleByteNames* names = NamesOfThisCodePage();
  if (!names) GTEST_SKIP() << "needs a double-byte code page, not " << ::GetACP();
  TempTree t("dbcs-b");
  const std::string folder = names->folder;
  const std::string name = std::string(names->letter_trail) + "A.BAB";
  t.Dir(folder);
  const std::string tricky = std::string(names->letter_trail) + names->backslash_trail + "@" +
                             names->folder + ".example";
  t.File(folder + "\\" + name, Card(names->address) + "EMAIL;PREF:" + tricky + "\r\n");

  const Strings paths = Scan(t.root());
  ASSERT_EQ(paths.size(), 1u) << Join(paths);
  EXPECT_EQ(paths[0], AsciiLower(t.root()) + "\\" + folder + "\\" + names->letter_trail + "a.bab");
  Strings got;
  ParseAddressBooks(paths, got);
  EXPECT_EQ(got, Strings({names->address, tricky}));
}

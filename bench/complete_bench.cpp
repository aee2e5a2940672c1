// Per-keystroke cost of the completion field with large search lists.
//
// 1. Matching and sorting: what FindString does before it places the
//    pop-up, against the literal algorithm (an upper-cased copy of every
//    entry through the code page, a prefix test, qsort with _stricmp) run
//    side by side on the same entries and tokens. The results are compared
//    for every token: the same entries, in the same order up to entries that
//    compare equal; once more, untimed, for entries and tokens with letters
//    of the running code page beyond A-Z (double-byte ones in 936 and 932).
// 2. A whole keystroke: a character sent with SendInput to the focused field
//    until the pop-up is placed and painted, with 100,000 entries. Then the
//    two halves of it on their own, for two-letter tokens: the field's
//    handling of the change (EN_CHANGE delivered as the compose window
//    delivers it, after the edit control has done its own work) and the
//    painting of the pop-up, each with the USER32/GDI32 calls it makes
//    (counted through the import table, window_calls.h).
// 3. Memory held by one field, and the cost of giving three fields the same
//    100,000 entries.
#include <windows.h>

#include "bench_clock.h"
#include "window_calls.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "complete/completion_edit.h"
#include "complete/name_index.h"
#include "complete/search_index.h"
#include "complete/suggest_list.h"
#include "platform/ansi.h"

using namespace vantrel;

namespace {



std::vector<std::string> MakeAddresses(size_t n, unsigned seed) {
  static const char* first[] = {"anna", "Bob", "carol", "Dave", "eve", "Frank", "grace", "Heidi",
                                "ivan", "Judy", "mallory", "Oscar", "peggy", "Trent", "victor",
                                "Walter", "xu", "Yang", "zhao", "_list", "li", "wang", "Chen"};
  static const char* domain[] = {"example.com", "mail.cn", "corp.example", "uni.edu"};
  std::mt19937 rng(seed);
  std::vector<std::string> out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    std::string s = first[rng() % (sizeof first / sizeof *first)];
    s += static_cast<char>('a' + rng() % 26);
    s += static_cast<char>((rng() % 2 ? 'a' : 'A') + rng() % 26);
    s += std::to_string(rng() % 10000);
    s += "@";
    s += domain[rng() % 4];
    // Shuffle the first letter too, so one-letter tokens spread evenly.
    if (rng() % 3 == 0) s[0] = static_cast<char>((rng() % 2 ? 'a' : 'A') + rng() % 26);
    out.push_back(s);
  }
  return out;
}

// Windows' _stricmp compares the bytes as unsigned values, so 0xE9 sorts
// after 'z'. Wine's msvcrt compares them as signed chars, and bytes above
// 0x7F sort before every letter there. Where the runtime's _stricmp does
// that, the literal sort uses the comparison as Windows makes it, spelled
// out (A-Z folded to a-z, unsigned bytes), and the figures say so.
const bool g_runtime_stricmp_unsigned = _stricmp("\xE9", "z") > 0;

int StricmpAsOnWindows(const char* a, const char* b) {
  for (;; ++a, ++b) {
    int ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
    if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
    if (ca != cb || ca == 0) return ca - cb;
  }
}

int CompareStricmp(const void* a, const void* b) {
  const char* x = *static_cast<const char* const*>(a);
  const char* y = *static_cast<const char* const*>(b);
  return g_runtime_stricmp_unsigned ? _stricmp(x, y) : StricmpAsOnWindows(x, y);
}

// The system's own upper-casing, called as the literal algorithm calls it.
std::string UpperLiteral(const std::string& s) {
  if (s.empty()) return s;
  const int n = static_cast<int>(s.size());
  const DWORD flags = LCMAP_UPPERCASE | LOCALE_USE_CP_ACP;
  const int need = ::LCMapStringA(LOCALE_USER_DEFAULT, flags, s.data(), n, nullptr, 0);
  std::string out(static_cast<size_t>(need > 0 ? need : 0), '\0');
  int got = 0;
  if (need > 0) got = ::LCMapStringA(LOCALE_USER_DEFAULT, flags, s.data(), n, &out[0], need);
  out.resize(static_cast<size_t>(got > 0 ? got : 0));
  return out;
}

// The literal per-keystroke algorithm.
void Baseline(const std::vector<std::string>& entries, const std::string& token,
              std::vector<const char*>* out) {
  out->clear();
  std::string t = UpperLiteral(token);
  for (const std::string& e : entries) {
    std::string up = UpperLiteral(e);
    if (up.compare(0, t.size(), t) == 0 && up.size() >= t.size()) out->push_back(e.c_str());
  }
  if (out->size() >= 2) std::qsort(out->data(), out->size(), sizeof(const char*), CompareStricmp);
}

bool SameResult(const std::vector<const char*>& base, const SearchIndex& index,
                const std::vector<uint32_t>& fast, std::string* why) {
  if (base.size() != fast.size()) {
    *why = "count " + std::to_string(base.size()) + " vs " + std::to_string(fast.size());
    return false;
  }
  std::vector<std::string> a, b;
  for (size_t i = 0; i < base.size(); ++i) {
    std::string f(index.entry(fast[i]));
    if (_stricmp(base[i], f.c_str()) != 0) {
      *why = "order at " + std::to_string(i) + ": " + base[i] + " vs " + f;
      return false;
    }
    a.push_back(base[i]);
    b.push_back(f);
  }
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  if (a != b) {
    *why = "different entries";
    return false;
  }
  return true;
}

std::vector<std::string> Tokens(const std::vector<std::string>& entries, size_t len, size_t count,
                                unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> out;
  for (size_t i = 0; i < count; ++i) {
    std::string t = entries[rng() % entries.size()].substr(0, len);
    // Type it in another letter case than the entry has.
    for (char& c : t)
      if (rng() % 2) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    out.push_back(t);
  }
  return out;
}

// Letters of the running code page beyond A-Z, in pairs of lower and upper
// case where the code page has them: 1252 accented letters (and ß, ÿ, µ,
// whose upper case is not one byte of the code page); 936 and 932 double-byte
// characters, full-width letters and characters whose second byte is an
// ASCII letter.
struct CodePageLetter {
  const char* lower;
  const char* upper;
};
std::vector<CodePageLetter> CodePageLetters() {
  switch (::GetACP()) {
    case 936:
      return {{"\xD5\xC5", "\xD5\xC5"}, {"\xC0\xEE", "\xC0\xEE"}, {"\xA3\xE1", "\xA3\xC1"},
              {"\xA3\xE2", "\xA3\xC2"}, {"\x81\x61", "\x81\x61"}, {"\x81\x41", "\x81\x41"}};
    case 932:
      return {{"\x82\xA0", "\x82\xA0"}, {"\x8E\x52", "\x8E\x52"}, {"\x82\x81", "\x82\x60"},
              {"\x82\x82", "\x82\x61"}, {"\x81\x61", "\x81\x61"}, {"\x81\x41", "\x81\x41"},
              {"\xB1", "\xB1"}};
    default:
      return {{"\xE9", "\xC9"}, {"\xF6", "\xD6"}, {"\xE5", "\xC5"}, {"\xDF", "\xDF"},
              {"\xFF", "\xFF"}, {"\xB5", "\xB5"}};
  }
}

// Addresses that begin with up to three characters mixing those letters, in
// either case, with ASCII ones.
std::vector<std::string> CodePageAddresses(size_t n, unsigned seed) {
  const std::vector<CodePageLetter> letters = CodePageLetters();
  std::vector<std::string> out = MakeAddresses(n, seed);
  std::mt19937 rng(seed);
  for (std::string& s : out) {
    std::string head;
    for (unsigned i = rng() % 4; i > 0; --i) {
      if (rng() % 3 == 0) {
        head += static_cast<char>((rng() % 2 ? 'a' : 'A') + rng() % 3);
      } else {
        const CodePageLetter& l = letters[rng() % letters.size()];
        head += rng() % 2 ? l.lower : l.upper;
      }
    }
    s = head + s;
  }
  return out;
}

// Tokens of one to three characters cut from the entries, each letter typed
// in either case: double-byte characters stay whole.
std::vector<std::string> CodePageTokens(const std::vector<std::string>& entries, size_t count,
                                        unsigned seed) {
  const std::vector<CodePageLetter> letters = CodePageLetters();
  std::mt19937 rng(seed);
  std::vector<std::string> out;
  for (size_t k = 0; k < count; ++k) {
    const std::string& e = entries[rng() % entries.size()];
    std::string t;
    size_t i = 0;
    for (unsigned chars = 1 + rng() % 3; chars > 0 && i < e.size(); --chars) {
      const size_t len = ::IsDBCSLeadByte(static_cast<BYTE>(e[i])) && i + 1 < e.size() ? 2 : 1;
      std::string c = e.substr(i, len);
      i += len;
      if (rng() % 2) {
        if (len == 1 && c[0] >= 'a' && c[0] <= 'z') c[0] = static_cast<char>(c[0] - 32);
        for (const CodePageLetter& l : letters) {
          if (c == l.lower) c = l.upper;
          else if (c == l.upper) c = l.lower;
        }
      }
      t += c;
    }
    out.push_back(t);
  }
  return out;
}

bool g_ok = true;
void Goal(const char* what, bool pass) {
  std::printf("%s: %s\n", pass ? "PASS" : "FAIL", what);
  g_ok &= pass;
}

// ---- 2. a whole keystroke --------------------------------------------

CCompletionEdit* g_field = nullptr;
bool g_route = true;  // false: the field's notifications are not handed back
LRESULT CALLBACK ComposeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && g_field && reinterpret_cast<HWND>(lp) == g_field->hwnd()) {
    if (g_route) ::SendMessageA(g_field->hwnd(), WM_COMMAND, wp, lp);
    return 0;
  }
  // Nothing of the host's own work in the counted calls.
  if (msg == WM_COMPLETION_NOTIFY) return 0;
  return ::DefWindowProcA(hwnd, msg, wp, lp);
}

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(q * static_cast<double>(v.size()));
  return v[std::min(i, v.size() - 1)];
}

// Puts `text` into the field with the caret at its end, without the change
// handling, as the edit control leaves it before it notifies its parent.
void SetTextQuietly(const std::string& text) {
  g_route = false;
  ::SetWindowTextA(g_field->hwnd(), text.c_str());
  ::SendMessageA(g_field->hwnd(), EM_SETSEL, text.size(), text.size());
  g_route = true;
}

// Repaints of the pop-up's scroll bar: its WM_PAINT, and the scroll-bar
// calls that ask for an immediate redraw. The real functions are reached
// through pointers of their own, so that none of this is counted as the
// plug-in's calls.
int g_bar_paints = 0;
WNDPROC g_bar_proc = nullptr;
decltype(&::CallWindowProcA) g_call_window_proc = nullptr;
decltype(&::SetScrollPos) g_set_scroll_pos = nullptr;
decltype(&::SetScrollRange) g_set_scroll_range = nullptr;
decltype(&::SetScrollInfo) g_set_scroll_info = nullptr;
LRESULT CALLBACK CountingBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) ++g_bar_paints;
  return g_call_window_proc(g_bar_proc, hwnd, msg, wp, lp);
}
int WINAPI CountingSetScrollPos(HWND h, int bar, int pos, BOOL redraw) {
  g_bar_paints += redraw != FALSE;
  return g_set_scroll_pos(h, bar, pos, redraw);
}
BOOL WINAPI CountingSetScrollRange(HWND h, int bar, int lo, int hi, BOOL redraw) {
  g_bar_paints += redraw != FALSE;
  return g_set_scroll_range(h, bar, lo, hi, redraw);
}
int WINAPI CountingSetScrollInfo(HWND h, int bar, LPCSCROLLINFO si, BOOL redraw) {
  g_bar_paints += redraw != FALSE;
  return g_set_scroll_info(h, bar, si, redraw);
}
void CountBarPaints(bench::WindowCallCounter* calls, HWND bar) {
  HMODULE user32 = ::GetModuleHandleA("user32.dll");
  g_call_window_proc = reinterpret_cast<decltype(&::CallWindowProcA)>(
      reinterpret_cast<void*>(::GetProcAddress(user32, "CallWindowProcA")));
  auto redirect = [&](const char* name, auto replacement, auto* real) {
    void* r = calls->Redirect(name, reinterpret_cast<void*>(replacement));
    *real = reinterpret_cast<std::remove_pointer_t<decltype(real)>>(
        r ? r : reinterpret_cast<void*>(::GetProcAddress(user32, name)));
  };
  redirect("SetScrollPos", &CountingSetScrollPos, &g_set_scroll_pos);
  redirect("SetScrollRange", &CountingSetScrollRange, &g_set_scroll_range);
  redirect("SetScrollInfo", &CountingSetScrollInfo, &g_set_scroll_info);
  g_bar_proc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
      bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingBarProc)));
}

// The change handling alone: EN_CHANGE as the compose window hands it back.
void DeliverChange() {
  ::SendMessageA(g_field->hwnd(), WM_COMMAND,
                 MAKEWPARAM(::GetDlgCtrlID(g_field->hwnd()), EN_CHANGE),
                 reinterpret_cast<LPARAM>(g_field->hwnd()));
}

void PumpAll() {
  MSG msg;
  while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
}

// Sends one letter and waits until the field holds it and the pop-up has
// painted (or hidden). Returns milliseconds, or -1 on a time-out.
double Keystroke(char letter, size_t expect_len) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = static_cast<WORD>(letter >= 'a' && letter <= 'z' ? letter - 32 : letter);
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  double t0 = Now();
  ::SendInput(2, in, sizeof(INPUT));
  HWND list = g_field->list().hwnd();
  for (;;) {
    PumpAll();
    bool typed = static_cast<size_t>(::GetWindowTextLengthA(g_field->hwnd())) >= expect_len;
    bool painted = !::IsWindowVisible(list) || !::GetUpdateRect(list, nullptr, FALSE);
    if (typed && painted) return Now() - t0;
    if (Now() - t0 > 2000) return -1;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}

}  // namespace

int main() {
  std::printf("Completion field benchmark (code page %u)\n\n", ::GetACP());
  if (!g_runtime_stricmp_unsigned) {
    std::printf("(This runtime's _stricmp compares bytes above 0x7F as signed chars; the literal\n"
                " sort uses _stricmp as Windows' runtime makes it: unsigned bytes, A-Z folded.)\n\n");
  }
  bench::WindowCallCounter calls;
  const bool counting = calls.Install();

  // ---- 1. matching and sorting ----------------------------------------
  std::printf("Matching and sorting per keystroke (median ms over the tokens)\n");
  std::printf("%9s %7s %7s %12s %12s %9s %10s\n", "entries", "token", "tokens", "literal", "index",
              "speed-up", "matches");
  const size_t sizes[] = {1000, 10000, 100000};
  double two_letter_speedup_100k = 0, worst_fast_100k = 0;
  bool all_identical = true;
  std::vector<std::string> entries100k;
  for (size_t n : sizes) {
    std::vector<std::string> entries = MakeAddresses(n, 7);
    double b0 = Now();
    auto index = BuildSearchIndex(entries);
    double build_ms = Now() - b0;
    PrefixMatcher matcher;
    std::vector<uint32_t> fast;
    std::vector<const char*> base;
    for (size_t len = 1; len <= 3; ++len) {
      std::vector<std::string> tokens = Tokens(entries, len, n >= 100000 ? 15 : 30, 99 + len);
      std::vector<double> tb, tf;
      size_t total = 0;
      for (const std::string& t : tokens) {
        double a = Now();
        Baseline(entries, t, &base);
        tb.push_back(Now() - a);
        // The fast version is timed over repeats, for a steady figure.
        const int reps = 20;
        double c = Now();
        for (int r = 0; r < reps; ++r) MatchToken(&matcher, *index, -1, t, &fast);
        tf.push_back((Now() - c) / reps);
        std::string why;
        if (!SameResult(base, *index, fast, &why)) {
          std::printf("  MISMATCH for token '%s' at %u entries: %s\n", t.c_str(),
                      static_cast<unsigned>(n), why.c_str());
          all_identical = false;
        }
        total += fast.size();
      }
      double mb = Median(tb), mf = Median(tf);
      std::printf("%9u %7u %7u %12.3f %12.4f %8.0fx %10.0f\n", static_cast<unsigned>(n),
                  static_cast<unsigned>(len), static_cast<unsigned>(tokens.size()), mb, mf,
                  mf > 0 ? mb / mf : 0.0, static_cast<double>(total) / tokens.size());
      if (n == 100000) {
        worst_fast_100k = std::max(worst_fast_100k, mf);
        if (len == 2) two_letter_speedup_100k = mf > 0 ? mb / mf : 0;
      }
    }
    std::printf("%9u   index built once in %.1f ms (%u bytes)\n", static_cast<unsigned>(n),
                build_ms, static_cast<unsigned>(index->MemoryBytes()));
    if (n == 100000) entries100k = entries;
  }
  {
    // The same comparison over entries and tokens with letters beyond A-Z.
    const std::vector<std::string> entries = CodePageAddresses(10000, 11);
    auto index = BuildSearchIndex(entries);
    PrefixMatcher matcher;
    std::vector<uint32_t> fast;
    std::vector<const char*> base;
    size_t total = 0;
    const std::vector<std::string> tokens = CodePageTokens(entries, 90, 5);
    for (const std::string& t : tokens) {
      Baseline(entries, t, &base);
      MatchToken(&matcher, *index, -1, t, &fast);
      std::string why;
      if (!SameResult(base, *index, fast, &why)) {
        std::printf("  MISMATCH for code-page token '%s': %s\n", t.c_str(), why.c_str());
        all_identical = false;
      }
      total += fast.size();
    }
    std::printf("%9u   code-page letters: %u tokens of 1-3 characters, %.0f matches each, "
                "compared\n",
                static_cast<unsigned>(entries.size()), static_cast<unsigned>(tokens.size()),
                static_cast<double>(total) / tokens.size());
  }
  std::printf("\n");
  Goal("identical matches and order for every token", all_identical);
  char line[160];
  std::snprintf(line, sizeof line, "two-letter tokens at 100,000 entries: %.0fx faster (goal 50x)",
                two_letter_speedup_100k);
  Goal(line, two_letter_speedup_100k >= 50);
  std::snprintf(line, sizeof line,
                "median matching at 100,000 entries: worst token length %.4f ms (goal 1 ms)",
                worst_fast_100k);
  Goal(line, worst_fast_100k <= 1.0);

  // ---- 2. a whole keystroke -------------------------------------------
  std::printf("\nA typed keystroke with 100,000 entries (SendInput to pop-up painted)\n");
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ComposeProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "VantrelBenchCompose";
  ::RegisterClassA(&wc);
  HWND parent = ::CreateWindowExA(0, wc.lpszClassName, "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  50, 50, 500, 200, nullptr, nullptr, wc.hInstance, nullptr);
  auto* field = new CCompletionEdit;
  g_field = field;
  field->CreateSubclassed(WS_EX_CLIENTEDGE, "Edit", nullptr, WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL,
                          60, 4, 400, 24, parent, 0);
  field->Init();
  field->SetSeparator(",");
  field->SetMode(CCompletionEdit::CM_SEPARATED);
  double a0 = Now();
  for (const std::string& e : entries100k) field->AddSearchString(e);
  double add_ms = Now() - a0;
  ::SetForegroundWindow(parent);
  ::SetFocus(field->hwnd());
  PumpAll();

  std::vector<std::string> typed = Tokens(entries100k, 3, 40, 4242);
  std::vector<double> times, showing, changing;
  double first_ms = -1;
  size_t mem_after_first = 0;
  int timeouts = 0;
  // Two passes over the same words: the first warms the match list up to
  // the largest match set among them, the second must not add a byte.
  for (size_t round = 0; round < 2 * typed.size(); ++round) {
    if (round == typed.size()) mem_after_first = field->list().OwnMemoryBytes();
    ::SetWindowTextA(field->hwnd(), "");
    PumpAll();
    const std::string& t = typed[round % typed.size()];
    for (size_t i = 0; i < t.size(); ++i) {
      char c = t[i];
      if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) break;
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
      double ms = Keystroke(c, i + 1);
      if (ms < 0) {
        ++timeouts;
        break;
      }
      if (first_ms < 0) {
        first_ms = ms;  // includes sorting the freshly added entries once
        continue;
      }
      times.push_back(ms);
      (i == 0 ? showing : changing).push_back(ms);
    }
  }
  const size_t own = field->list().OwnMemoryBytes(), index_bytes = field->list().IndexMemoryBytes();
  std::printf("  100,000 AddSearchString calls: %.1f ms; first keystroke after them (one sort): "
              "%.1f ms\n",
              add_ms, first_ms);
  std::printf("  keystrokes measured: %u, time-outs: %d, median %.2f ms, slowest 5%% from %.2f ms, "
              "slowest %.2f ms\n",
              static_cast<unsigned>(times.size()), timeouts, Median(times), Percentile(times, 0.95),
              times.empty() ? 0.0 : *std::max_element(times.begin(), times.end()));
  std::printf("    the first letter of a word, which shows the pop-up: median %.2f ms, slowest 5%% "
              "from %.2f ms (%u); the others: median %.2f ms, slowest 5%% from %.2f ms (%u)\n",
              Median(showing), Percentile(showing, 0.95), static_cast<unsigned>(showing.size()),
              Median(changing), Percentile(changing, 0.95), static_cast<unsigned>(changing.size()));
  std::snprintf(line, sizeof line, "median keystroke at 100,000 entries %.2f ms (goal 4 ms)",
                Median(times));
  Goal(line, !times.empty() && timeouts == 0 && Median(times) <= 4.0);
  std::snprintf(line, sizeof line,
                "slowest 5%% of keystrokes at 100,000 entries from %.2f ms (goal under 16 ms)",
                Percentile(times, 0.95));
  Goal(line, !times.empty() && timeouts == 0 && Percentile(times, 0.95) < 16.0);

  // The two halves of a keystroke, for two-letter tokens typed after their
  // first letter: the pop-up already shows that letter's matches, as it does
  // while the user types.
  std::printf("\nA change to a two-letter token with 100,000 entries, in two halves\n");
  std::vector<std::string> pairs = Tokens(entries100k, 2, 150, 2024);
  std::vector<double> handling, painting;
  bench::CallTally handling_calls, painting_calls;
  HWND popup = field->list().hwnd();
  if (counting) CountBarPaints(&calls, field->list().scrollBar());
  int bar_paints = 0;
  for (const std::string& t : pairs) {
    SetTextQuietly(t.substr(0, 1));
    DeliverChange();
    ::UpdateWindow(popup);
    PumpAll();
    SetTextQuietly(t);
    calls.Reset();
    g_bar_paints = 0;
    double h0 = Now();
    DeliverChange();
    double h1 = Now();
    std::vector<uint32_t> counted = calls.Snapshot();
    calls.Discount(&counted, "SendMessageA", 1);  // the delivery itself
    calls.Discount(&counted, "GetDlgCtrlID", 1);
    handling_calls.Add(counted);
    calls.Reset();
    double p0 = Now();
    ::UpdateWindow(popup);  // the pop-up and, when it changed, its scroll bar
    double p1 = Now();
    counted = calls.Snapshot();
    calls.Discount(&counted, "UpdateWindow", 1);
    painting_calls.Add(counted);
    handling.push_back(h1 - h0);
    painting.push_back(p1 - p0);
    PumpAll();
    bar_paints += g_bar_paints;
  }
  const auto& names = calls.Names();
  std::printf("  handling of the change (EN_CHANGE to the field, painting excluded): median %.3f ms, "
              "slowest 5%% from %.3f ms\n",
              Median(handling), Percentile(handling, 0.95));
  std::printf("  painting the pop-up (UpdateWindow): median %.3f ms, slowest 5%% from %.3f ms\n",
              Median(painting), Percentile(painting, 0.95));
  if (counting) {
    auto scroll_calls = [&](const bench::CallTally& t) {
      return t.Of(names, "SetScrollPos") + t.Of(names, "SetScrollRange") +
             t.Of(names, "SetScrollInfo");
    };
    std::printf("  window calls per change (USER32 and GDI32, the plug-in's own): handling %.1f "
                "(scroll bar %.1f, SetWindowPos %.1f, MoveWindow %.1f, ShowWindow %.1f), "
                "painting %.1f (GDI objects created %.1f)\n",
                handling_calls.Total(), scroll_calls(handling_calls),
                handling_calls.Of(names, "SetWindowPos"), handling_calls.Of(names, "MoveWindow"),
                handling_calls.Of(names, "ShowWindow"), painting_calls.Total(),
                painting_calls.Of(names, "CreateCompatibleDC") +
                    painting_calls.Of(names, "CreateCompatibleBitmap") +
                    painting_calls.Of(names, "CreatePen"));
    std::printf("  scroll-bar repaints per change: %.2f (its WM_PAINT and the calls that redraw "
                "it at once)\n",
                pairs.empty() ? 0.0 : static_cast<double>(bar_paints) / pairs.size());
    std::printf("    handling: %s\n", handling_calls.Breakdown(names).c_str());
    std::printf("    painting: %s\n", painting_calls.Breakdown(names).c_str());
  } else {
    std::printf("  (window calls not counted: the import table could not be patched)\n");
  }
  std::snprintf(line, sizeof line,
                "median handling of a two-letter change %.3f ms (goal 1.5 ms)", Median(handling));
  Goal(line, Median(handling) <= 1.5);
  std::snprintf(line, sizeof line, "median painting of the pop-up %.3f ms (goal 1.5 ms)",
                Median(painting));
  Goal(line, Median(painting) <= 1.5);

  // ---- 2b. keystrokes that match nothing ------------------------------
  // The change handling when the token matches nothing, with the pop-up
  // already hidden and with it showing (the change hides it), beside what
  // the system takes to hide the same pop-up when asked directly: the
  // difference between the first two is the hide itself, not our work.
  // Then the same in the name mode, over a name index of the same
  // addresses.
  std::printf("\nA change to a token that matches nothing, 100,000 entries (median ms)\n");
  auto nothing = [&](const char* mode) {
    std::vector<double> hidden, hiding, bare;
    for (int i = 0; i < 150; ++i) {
      const std::string letter(1, static_cast<char>('a' + i % 26));
      SetTextQuietly(letter);
      DeliverChange();  // shows the letter's matches
      ::UpdateWindow(popup);
      PumpAll();
      SetTextQuietly(letter + "#");
      double t0 = Now();
      DeliverChange();  // nothing: the showing pop-up hides
      hiding.push_back(Now() - t0);
      PumpAll();
      SetTextQuietly(letter + "##");
      t0 = Now();
      DeliverChange();  // nothing again: it stays hidden
      hidden.push_back(Now() - t0);
      PumpAll();
      SetTextQuietly(letter);
      DeliverChange();
      ::UpdateWindow(popup);
      PumpAll();
      t0 = Now();
      ::ShowWindow(popup, SW_HIDE);  // the system's part alone
      bare.push_back(Now() - t0);
      PumpAll();
    }
    std::printf("  %-6s pop-up hidden already %.3f, pop-up showing %.3f; ShowWindow(SW_HIDE) "
                "alone %.3f\n",
                mode, Median(hidden), Median(hiding), Median(bare));
    return Median(hidden);
  };
  const double plain_nothing = nothing("plain");
  {
    NameIndexBuilder builder;
    NamedAddress row;
    const AnsiUpperFolder folder;
    std::string key;
    for (const std::string& e : entries100k) {
      row.address = e;
      folder.Fold(e, &key);
      builder.Add(row, key);
    }
    field->SetNameIndex(builder.Build());
  }
  const double names_nothing = nothing("names");
  field->SetSearchList(BuildSearchIndex(entries100k));
  std::snprintf(line, sizeof line,
                "a change that matches nothing with the pop-up hidden: plain %.3f ms, names %.3f "
                "ms (goal 0.25 ms)",
                plain_nothing, names_nothing);
  Goal(line, plain_nothing <= 0.25 && names_nothing <= 0.25);

  // ---- 3. memory and sharing -------------------------------------------
  std::printf("\nMemory of one field with 100,000 entries\n");
  std::printf("  search index (shareable): %u bytes\n", static_cast<unsigned>(index_bytes));
  std::printf("  the field's own (match list, scratch): %u bytes after %u words, %u after "
              "typing them all again\n",
              static_cast<unsigned>(mem_after_first), static_cast<unsigned>(typed.size()),
              static_cast<unsigned>(own));
  Goal("field's own memory does not grow with keystrokes", own == mem_after_first);
  std::snprintf(line, sizeof line, "field's own memory with a shared index %u bytes (goal 2 MB)",
                static_cast<unsigned>(own));
  Goal(line, own <= 2u * 1024 * 1024);

  std::printf("\nRefilling three open fields with 100,000 entries\n");
  CCompletionEdit extra[2];
  for (int i = 0; i < 2; ++i) {
    extra[i].CreateSubclassed(0, "Edit", nullptr, WS_CHILD | WS_VISIBLE, 60, 40 + 30 * i, 400, 24,
                              parent, 0);
    extra[i].Init();
    extra[i].SetSeparator(",");
    extra[i].SetMode(2);
  }
  CCompletionEdit* fields[3] = {field, &extra[0], &extra[1]};
  double r0 = Now();
  for (CCompletionEdit* f : fields) {
    f->RemoveSearchAll();
    for (const std::string& e : entries100k) f->AddSearchString(e);
  }
  double one_by_one = Now() - r0;
  double s0 = Now();
  auto shared = BuildSearchIndex(entries100k);
  double build = Now() - s0;
  double h0 = Now();
  for (CCompletionEdit* f : fields) f->SetSearchList(shared);
  double handover = Now() - h0;
  std::printf("  RemoveSearchAll + AddSearchString per field: %.1f ms for three fields (plus one "
              "sort each at the next keystroke)\n",
              one_by_one);
  std::printf("  one shared index: built in %.1f ms, handed to three fields in %.4f ms\n", build,
              handover);

  g_field = nullptr;
  delete field;
  ::DestroyWindow(parent);
  std::printf("\n%s\n", g_ok ? "ALL GOALS PASS" : "SOME GOALS FAIL");
  return g_ok ? 0 : 1;
}

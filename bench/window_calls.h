// Counts the calls that this program's own code (or one loaded module's)
// makes into USER32 and GDI32.
//
// How this works: Install() walks the program's import table and points every
// USER32 and GDI32 slot at a 12-byte stub of its own that increments one
// counter and jumps on to the real function (inc dword [counter]; jmp dword
// [target]). The stub touches neither the stack nor an argument register, so
// it serves every calling convention and argument count. Only calls made
// through the import table are seen: the completion code linked into this
// program, not the calls that USER32 makes inside itself. 32-bit x86 only;
// a benchmark tool, never linked into the plug-in.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace bench {

class WindowCallCounter {
 public:
  // False when the table cannot be patched (the counts then stay at 0).
  // `module`: whose import table; the program's own by default (a loaded
  // plug-in's calls go through the plug-in's table).
  bool Install(HMODULE module = nullptr) {
#if defined(_M_IX86) || defined(__i386__)
    BYTE* base = reinterpret_cast<BYTE*>(module ? module : ::GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return false;
    std::vector<std::pair<std::string, void**>> slots;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name; ++imp) {
      const char* dll = reinterpret_cast<const char*>(base + imp->Name);
      if (_stricmp(dll, "user32.dll") != 0 && _stricmp(dll, "gdi32.dll") != 0) continue;
      DWORD names_rva = imp->OriginalFirstThunk ? imp->OriginalFirstThunk : imp->FirstThunk;
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + names_rva);
      auto* iat = reinterpret_cast<void**>(base + imp->FirstThunk);
      for (size_t i = 0; names[i].u1.AddressOfData; ++i) {
        std::string name;
        if (IMAGE_SNAP_BY_ORDINAL(names[i].u1.Ordinal)) {
          name = "#" + std::to_string(IMAGE_ORDINAL(names[i].u1.Ordinal));
        } else {
          name = reinterpret_cast<const char*>(
              reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData)->Name);
        }
        slots.emplace_back(name, &iat[i]);
      }
    }
    if (slots.empty()) return false;
    names_.clear();
    counts_.assign(slots.size(), 0);
    targets_.assign(slots.size(), nullptr);
    const size_t kStub = 12;
    BYTE* code = static_cast<BYTE*>(::VirtualAlloc(nullptr, slots.size() * kStub,
                                                   MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (!code) return false;
    for (size_t i = 0; i < slots.size(); ++i) {
      names_.push_back(slots[i].first);
      targets_[i] = *slots[i].second;
      BYTE* stub = code + i * kStub;
      const uint32_t counter = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&counts_[i]));
      const uint32_t target = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&targets_[i]));
      stub[0] = 0xFF;  // inc dword ptr [counter]
      stub[1] = 0x05;
      std::memcpy(stub + 2, &counter, 4);
      stub[6] = 0xFF;  // jmp dword ptr [target]
      stub[7] = 0x25;
      std::memcpy(stub + 8, &target, 4);
      DWORD old = 0;
      if (!::VirtualProtect(slots[i].second, sizeof(void*), PAGE_READWRITE, &old)) return false;
      *slots[i].second = stub;
      ::VirtualProtect(slots[i].second, sizeof(void*), old, &old);
    }
    ::FlushInstructionCache(::GetCurrentProcess(), code, slots.size() * kStub);
    return true;
#else
    (void)module;
    return false;
#endif
  }

  void Reset() { std::fill(counts_.begin(), counts_.end(), 0u); }

  // Sends the calls to `name` on to `replacement` (still counted) and
  // returns the real function, for the replacement to call; null when the
  // program does not import `name`.
  void* Redirect(const char* name, void* replacement) {
    for (size_t i = 0; i < names_.size(); ++i) {
      if (names_[i] != name) continue;
      void* real = targets_[i];
      targets_[i] = replacement;
      return real;
    }
    return nullptr;
  }

  // Counts since the last Reset, by function (in the order of Names()).
  std::vector<uint32_t> Snapshot() const { return counts_; }
  const std::vector<std::string>& Names() const { return names_; }
  // Takes the caller's own calls (the one that delivers a message, say) off
  // a snapshot, so that what remains is the code under measurement.
  void Discount(std::vector<uint32_t>* counts, const char* name, uint32_t n) const {
    for (size_t i = 0; i < names_.size() && i < counts->size(); ++i)
      if (names_[i] == name) (*counts)[i] -= std::min((*counts)[i], n);
  }

 private:
  // Sized once by Install and never resized: the stubs hold their addresses.
  std::vector<std::string> names_;
  std::vector<uint32_t> counts_;
  std::vector<void*> targets_;
};

// Per-function sums over many samples, for a per-keystroke average.
struct CallTally {
  std::vector<double> sums;
  size_t samples = 0;
  void Add(const std::vector<uint32_t>& counts) {
    if (sums.size() < counts.size()) sums.resize(counts.size(), 0);
    for (size_t i = 0; i < counts.size(); ++i) sums[i] += counts[i];
    ++samples;
  }
  double Total() const {
    double t = 0;
    for (double s : sums) t += s;
    return samples ? t / samples : 0;
  }
  double Of(const std::vector<std::string>& names, const char* name) const {
    for (size_t i = 0; i < names.size() && i < sums.size(); ++i)
      if (names[i] == name) return samples ? sums[i] / samples : 0;
    return 0;
  }
  // "Name x" for every function called, most frequent first.
  std::string Breakdown(const std::vector<std::string>& names) const {
    std::vector<std::pair<double, std::string>> v;
    for (size_t i = 0; i < names.size() && i < sums.size(); ++i)
      if (sums[i] > 0) v.emplace_back(sums[i] / samples, names[i]);
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) {
      return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::string out;
    char buf[96];
    for (const auto& e : v) {
      std::snprintf(buf, sizeof buf, "%s%s %.1f", out.empty() ? "" : ", ", e.second.c_str(), e.first);
      out += buf;
    }
    return out.empty() ? "none" : out;
  }
};

}  // namespace bench

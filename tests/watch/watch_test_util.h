// Helpers for the Wine tests of the watcher: scratch folders, a recording
// handler and a message-pumping poll.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "watch/change_dispatch.h"

namespace watchtest {

// Pumps this thread's messages until `done` holds or `ms` have passed.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 5000) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    if (done()) return true;
    if (::GetTickCount() - start > ms) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// Ends the program when the scope takes longer than `ms`: a deadlock in the
// code under test fails the run at once instead of stalling it until the
// runner's time-out.
class HangGuard {
 public:
  explicit HangGuard(std::string what, DWORD ms = 30000)
      : done_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    const HANDLE done = done_;
    thread_ = std::thread([done, what, ms] {
      if (::WaitForSingleObject(done, ms) == WAIT_OBJECT_0) return;
      std::fprintf(stderr, "HANG: %s did not return within %lu ms\n", what.c_str(), ms);
      std::fflush(stderr);
      ::ExitProcess(3);
    });
  }
  ~HangGuard() {
    ::SetEvent(done_);
    thread_.join();
    ::CloseHandle(done_);
  }
  HangGuard(const HangGuard&) = delete;
  HangGuard& operator=(const HangGuard&) = delete;

 private:
  HANDLE done_;
  std::thread thread_;
};

inline LRESULT CALLBACK ActionWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_APP) return ::DefWindowProcA(hwnd, msg, wp, lp);
  auto* run = reinterpret_cast<std::function<void()>*>(lp);
  (*run)();
  delete run;
  return 0;
}

// Host code run from this thread's message queue: the action runs when the
// queue is next pumped, for example inside the message-pumping wait of a stop.
inline void PostAction(std::function<void()> action) {
  static const HWND window = [] {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = &ActionWindowProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "VantrelTestActions";
    ::RegisterClassA(&wc);
    return ::CreateWindowExA(0, wc.lpszClassName, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             wc.hInstance, nullptr);
  }();
  ::PostMessageA(window, WM_APP, 0,
                 reinterpret_cast<LPARAM>(new std::function<void()>(std::move(action))));
}

// A fresh folder under the temp folder, removed with everything in it.
class ScratchDir {
 public:
  explicit ScratchDir(const char* tag) {
    char tmp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, tmp);
    static LONG counter = 0;
    path_ = std::string(tmp) + "vantrel-" + tag + "-" + std::to_string(::GetCurrentProcessId()) +
            "-" + std::to_string(::InterlockedIncrement(&counter));
    RemoveTree(path_);
    ::CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchDir() { RemoveTree(path_); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  static void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string full = dir + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveTree(full);
        else
          ::DeleteFileA(full.c_str());
      } while (::FindNextFileA(h, &fd));
      ::FindClose(h);
    }
    ::RemoveDirectoryA(dir.c_str());
  }

 private:
  std::string path_;
};

inline bool WriteText(const std::string& path, const std::string& text, bool append = false) {
  HANDLE h = ::CreateFileA(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(h);
  return ok && written == text.size();
}

// Records every notification as a line, with the thread it ran on.
class Recorder : public vantrel::CDirChangeHandler {
 public:
  std::vector<std::string> lines;
  std::vector<DWORD> threads;
  std::vector<std::string> accept_asked;
  std::string reject_path;  // AcceptChange refuses this path
  std::function<void(const std::string&)> on_stopped;

  void NotifyAdded(const std::string& p) override { Add("add " + p); }
  void NotifyRemoved(const std::string& p) override { Add("del " + p); }
  void NotifyRenamed(const std::string& o, const std::string& n) override {
    Add("ren " + o + " -> " + n);
  }
  void NotifyModified(const std::string& p) override { Add("mod " + p); }
  void NotifyReadError(DWORD e, const std::string& d) override {
    Add("readerror " + std::to_string(e) + " " + d);
  }
  void NotifyWatchStarted(DWORD e, const std::string& d) override {
    Add("started " + std::to_string(e) + " " + d);
  }
  void NotifyWatchStopped(const std::string& d) override {
    Add("stopped " + d);
    if (on_stopped) on_stopped(d);
  }
  bool AcceptChange(DWORD kind, const char* path, const char* new_path) override {
    accept_asked.push_back(std::to_string(kind) + " " + path);
    return reject_path != path;
  }

  bool Saw(const std::string& line) const {
    for (const auto& l : lines)
      if (l == line) return true;
    return false;
  }
  bool SawContaining(const std::string& part) const {
    for (const auto& l : lines)
      if (l.find(part) != std::string::npos) return true;
    return false;
  }
  std::string Dump() const {
    std::string s;
    for (const auto& l : lines) s += "  " + l + "\n";
    return s;
  }

 private:
  void Add(const std::string& line) {
    lines.push_back(line);
    threads.push_back(::GetCurrentThreadId());
  }
};

}  // namespace watchtest

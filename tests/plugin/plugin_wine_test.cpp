// The plug-in shell under Wine: the real loader loading Vantrel.dll into a
// host (this program exports the host's functions, like the stand-in host),
// the information record, the About box, the version gate of the host
// variants, the menu set-up with the first reading, and the AutoParse command
// watching a real folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "addrbook/address_books.h"
#include "complete/usage_store.h"
#include "compose_window.h"
#include "host_state.h"
#include "platform/settings.h"
#include "plugin/autoparse.h"
#include "plugin/globals.h"
#include "plugin/match_names.h"
#include "plugin/shell.h"
#include "plugin/usage.h"
#include "plugin_host.h"
#include "watch/change_dispatch.h"
#include "watch/change_stamp.h"
#include "watch/watch_test_util.h"

namespace {

using watchtest::HangGuard;
using watchtest::PumpUntil;
using watchtest::ScratchDir;

void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string Card(const std::string& name, const std::string& address) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name + "\r\nEMAIL;PREF;INTERNET:" + address +
         "\r\nEMAIL;INTERNET:other-" + address + "\r\nEND:VCARD\r\n";
}

// A data folder with AddrBook\a.bab and AddrBook\sub\b.bab.
struct DataFolder {
  ScratchDir root{"plugin"};
  DataFolder() {
    CreateDirectoryA((root / "AddrBook").c_str(), nullptr);
    CreateDirectoryA((root / "AddrBook\\sub").c_str(), nullptr);
    WriteBytes(root / "AddrBook\\a.bab", Card("Ann", "ann@example.org") + Card("Al", "al@example.org"));
    WriteBytes(root / "AddrBook\\sub\\b.bab", Card("Bo", "bo@example.net"));
    standin::Host().dataFolder = root.path() + "\\";
  }
  std::string Book(const std::string& name) const { return root / ("AddrBook\\" + name); }
};

std::string PluginPath() { return standin::ExeFolder() + "Vantrel.dll"; }

// Runs a program to its end; its standard output goes to *output if given.
DWORD RunProgram(const std::string& command_line, std::string* output = nullptr) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string line = command_line;
  char out_path[MAX_PATH] = {};
  HANDLE out = INVALID_HANDLE_VALUE;
  if (output) {
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    GetTempFileNameA(tmp, "vto", 0, out_path);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    out = CreateFileA(out_path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  const BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, output != nullptr, 0,
                                      nullptr, nullptr, &startup, &process);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (!started) return 0xFFFFFFFF;
  DWORD code = 0xFFFFFFFE;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 99);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  if (output) {
    output->clear();
    HANDLE in = CreateFileA(out_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    char buffer[4096];
    DWORD got = 0;
    while (in != INVALID_HANDLE_VALUE && ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got)
      output->append(buffer, got);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    DeleteFileA(out_path);
  }
  return code;
}

// The About text's line on the name mode, in the system's language.
const char* AboutNamesLine() {
  switch (GetACP()) {
    case 936:  // 按姓名和拼音查找地址：输入姓名、昵称、拼音或读音也能找到地址
      return "\xB0\xB4\xD0\xD5\xC3\xFB\xBA\xCD\xC6\xB4\xD2\xF4\xB2\xE9\xD5\xD2\xB5\xD8\xD6\xB7"
             "\xA3\xBA\xCA\xE4\xC8\xEB\xD0\xD5\xC3\xFB\xA1\xA2\xEA\xC7\xB3\xC6\xA1\xA2\xC6\xB4"
             "\xD2\xF4\xBB\xF2\xB6\xC1\xD2\xF4\xD2\xB2\xC4\xDC\xD5\xD2\xB5\xBD\xB5\xD8\xD6\xB7";
    case 932:  // 名前と読みでも検索：名前、ニックネーム、読み（かな・ローマ字）でもアドレスを探します
      return "\x96\xBC\x91\x4F\x82\xC6\x93\xC7\x82\xDD\x82\xC5\x82\xE0\x8C\x9F\x8D\xF5\x81\x46"
             "\x96\xBC\x91\x4F\x81\x41\x83\x6A\x83\x62\x83\x4E\x83\x6C\x81\x5B\x83\x80\x81\x41"
             "\x93\xC7\x82\xDD\x81\x69\x82\xA9\x82\xC8\x81\x45\x83\x8D\x81\x5B\x83\x7D\x8E\x9A"
             "\x81\x6A\x82\xC5\x82\xE0\x83\x41\x83\x68\x83\x8C\x83\x58\x82\xF0\x92\x54\x82\xB5"
             "\x82\xDC\x82\xB7";
    default:
      return "Find addresses by name too: a name, nickname, pinyin or reading finds the address";
  }
}

// The About text's line on the record of use, in the system's language.
std::string AboutUsageLine(const std::string& app) {
  const std::string file = app + ".usage";
  switch (GetACP()) {
    case 936:  // 此模式下常用的地址排在前面，按 Delete 键可隐藏建议；记录保存在数据文件夹的 <file> 中，删除该文件即可清除
      return std::string("\xB4\xCB\xC4\xA3\xCA\xBD\xCF\xC2\xB3\xA3\xD3\xC3\xB5\xC4\xB5\xD8\xD6\xB7\xC5\xC5"
             "\xD4\xDA\xC7\xB0\xC3\xE6\xA3\xAC\xB0\xB4\x20\x44\x65\x6C\x65\x74\x65\x20\xBC\xFC"
             "\xBF\xC9\xD2\xFE\xB2\xD8\xBD\xA8\xD2\xE9\xA3\xBB\xBC\xC7\xC2\xBC\xB1\xA3\xB4\xE6"
             "\xD4\xDA\xCA\xFD\xBE\xDD\xCE\xC4\xBC\xFE\xBC\xD0\xB5\xC4\x20") +
             file +
             "\x20\xD6\xD0\xA3\xAC\xC9\xBE\xB3\xFD\xB8\xC3\xCE\xC4\xBC\xFE\xBC\xB4\xBF\xC9\xC7"
             "\xE5\xB3\xFD";
    case 932:  // このモードではよく使うアドレスが先に出ます。Delete キーで候補を隠せます。記録はデータフォルダーの <file> にあり、削除すると消えます
      return std::string("\x82\xB1\x82\xCC\x83\x82\x81\x5B\x83\x68\x82\xC5\x82\xCD\x82\xE6\x82\xAD\x8E\x67"
             "\x82\xA4\x83\x41\x83\x68\x83\x8C\x83\x58\x82\xAA\x90\xE6\x82\xC9\x8F\x6F\x82\xDC"
             "\x82\xB7\x81\x42\x44\x65\x6C\x65\x74\x65\x20\x83\x4C\x81\x5B\x82\xC5\x8C\xF3\x95"
             "\xE2\x82\xF0\x89\x42\x82\xB9\x82\xDC\x82\xB7\x81\x42\x8B\x4C\x98\x5E\x82\xCD\x83"
             "\x66\x81\x5B\x83\x5E\x83\x74\x83\x48\x83\x8B\x83\x5F\x81\x5B\x82\xCC\x20") +
             file +
             "\x20\x82\xC9\x82\xA0\x82\xE8\x81\x41\x8D\xED\x8F\x9C\x82\xB7\x82\xE9\x82\xC6\x8F"
             "\xC1\x82\xA6\x82\xDC\x82\xB7";
    default:
      return "In that mode the addresses you send to most come first, and Delete hides a "
             "suggestion; the record is " + file + " in the data folder: delete it to clear it";
  }
}

// Runs inside the About box's modal loop: reads the box and presses OK.
std::string about_caption, about_text;
HWND about_owner = nullptr;
bool about_owner_enabled = true;
void CALLBACK CloseAboutBox(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = FindWindowA("#32770", nullptr);
  if (!box || !IsWindowVisible(box)) return;
  char buffer[512] = {};
  GetWindowTextA(box, buffer, sizeof buffer);
  about_caption = buffer;
  GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
  about_text = buffer;
  about_owner = GetWindow(box, GW_OWNER);
  about_owner_enabled = about_owner && IsWindowEnabled(about_owner);
  EXPECT_TRUE(GetDlgItem(box, IDOK) != nullptr);
  EXPECT_TRUE(GetDlgItem(box, IDCANCEL) == nullptr) << "MB_OK only";
  PostMessageA(box, WM_COMMAND, IDOK, 0);
}

void DeleteSettings(const std::string& app) {
  RegDeleteKeyA(HKEY_CURRENT_USER, ("software\\" + app + "\\Setup").c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, ("software\\" + app).c_str());
}

// The names a loaded module exports and the DLLs it imports, read from its
// mapped image.
struct ModuleTables {
  std::vector<std::string> exports, imports;
};
ModuleTables ReadModuleTables(HMODULE module) {
  ModuleTables tables;
  auto* base = reinterpret_cast<const unsigned char*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& exp = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (exp.VirtualAddress) {
    auto* dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exp.VirtualAddress);
    auto* names = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
    for (DWORD i = 0; i < dir->NumberOfNames; ++i)
      tables.exports.push_back(reinterpret_cast<const char*>(base + names[i]));
    EXPECT_EQ(dir->NumberOfFunctions, dir->NumberOfNames) << "no exports by ordinal only";
  }
  const IMAGE_DATA_DIRECTORY& imp = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imp.VirtualAddress) {
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imp.VirtualAddress);
         d->Name; ++d) {
      std::string name = reinterpret_cast<const char*>(base + d->Name);
      for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
      tables.imports.push_back(name);
    }
  }
  return tables;
}

TEST(PluginLoad, ExportsExactlyTheCallbacksAndNeedsSystemDllsOnly) {
  standin::PluginModule plugin;
  ASSERT_EQ(plugin.Load(PluginPath()), 0u);
  ModuleTables tables = ReadModuleTables(plugin.module);
  std::vector<std::string> expected = {
      "BKC_OnEveryMinute", "BKC_OnExit",       "BKC_OnFinishRetrieve", "BKC_OnKeyDispatch",
      "BKC_OnMenuInit",    "BKC_OnOpenCompose", "BKC_OnOpenFolder",     "BKC_OnOpenMail",
      "BKC_OnOutgoing",    "BKC_OnPlugInInfo",  "BKC_OnPlugInSetup",    "BKC_OnRetrieve",
      "BKC_OnSend",        "BKC_OnStart"};
  std::sort(tables.exports.begin(), tables.exports.end());
  EXPECT_EQ(tables.exports, expected);
  const std::vector<std::string> system = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL",
                                           "ADVAPI32.DLL", "MSVCRT.DLL"};
  for (const std::string& name : tables.imports) {
    EXPECT_NE(std::find(system.begin(), system.end(), name), system.end())
        << "Vantrel.dll needs " << name;
  }

  // The version resource: file and product version 1.1.
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(PluginPath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(PluginPath().c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 1));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1, 1));
  plugin.Unload();
}

TEST(PluginLoad, RecordAboutBoxAndBinding) {
  DataFolder data;
  standin::Host().versionCalls = 0;
  standin::PluginModule plugin;
  ASSERT_EQ(plugin.Load(PluginPath()), 0u) << PluginPath();
  EXPECT_EQ(standin::Host().versionCalls, 1) << "the version gate asks once";

  // Exactly the four strings with their terminators; every other byte is the
  // host's.
  unsigned char record[400];
  std::memset(record, 0xCC, sizeof record);
  EXPECT_EQ(plugin.OnPlugInInfo(reinterpret_cast<char*>(record)), 0);
  const struct {
    int offset;
    const char* text;
  } fields[] = {{0, "Vantrel Plugin"},
                {80, nullptr},
                {160, "1.1"},
                {240, "enhance address bar function for Becky!"}};
  for (const auto& field : fields) {
    const char* at = reinterpret_cast<const char*>(record + field.offset);
    const size_t length = strnlen(at, 80);
    ASSERT_LT(length, 80u) << "field at " << field.offset << " is not terminated";
    if (field.text) {
      EXPECT_STREQ(at, field.text);
    }
    const int end = field.offset + static_cast<int>(length) + 1;
    const int next = field.offset == 240 ? 400 : field.offset + 80;
    for (int i = end; i < next; ++i) {
      ASSERT_EQ(record[i], 0xCC) << "byte " << i << " after the field at " << field.offset;
    }
  }

  // The About box: caption after the module name, the exact text, OK only,
  // and modal to the host's active window, as a framework's message box is:
  // it cannot fall behind the host, nor the host's menu be used behind it.
  HWND main = standin::CreateMainWindow(nullptr);
  ShowWindow(main, SW_SHOW);
  SetForegroundWindow(main);
  SetActiveWindow(main);
  ASSERT_EQ(main, GetActiveWindow());
  about_caption.clear();
  about_text.clear();
  about_owner = nullptr;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, CloseAboutBox);
  EXPECT_EQ(plugin.OnPlugInSetup(nullptr), 1);
  KillTimer(nullptr, timer);
  EXPECT_EQ(about_owner, main);
  EXPECT_FALSE(about_owner_enabled) << "the owner is disabled while the box is up";
  EXPECT_TRUE(IsWindowEnabled(main));
  DestroyWindow(main);
  const std::string caption = about_caption, text = about_text;
  EXPECT_EQ(caption, "Vantrel");
  EXPECT_EQ(text,
            "Vantrel 1.1 for Becky!\n\nWritten by the Vantrel developers\n"
            "Homepage: https://vantrel.example/\nE-mail: developers@vantrel.example\n\n" +
                std::string(AboutNamesLine()) + "\n" + AboutUsageLine("Vantrel") +
                "\nWarning:Auto Parse will only take effect on NT Platform!");

  // The callbacks without effect answer 0.
  EXPECT_EQ(plugin.OnStart(), 0);
  EXPECT_EQ(plugin.OnEveryMinute(), 0);
  EXPECT_EQ(plugin.OnOpenFolder("x"), 0);
  EXPECT_EQ(plugin.OnOpenMail("x"), 0);
  EXPECT_EQ(plugin.OnSend("x"), 0);
  EXPECT_EQ(plugin.OnFinishRetrieve(3), 0);
  EXPECT_EQ(plugin.OnRetrieve("x", "y"), 0);
  EXPECT_EQ(plugin.OnKeyDispatch(nullptr, VK_RETURN, 0), 0);
  EXPECT_EQ(plugin.OnOutgoing(nullptr, 0), 0);
  EXPECT_EQ(plugin.OnExit(), 0);
  plugin.Unload();
}

// The application name is the module's file name: a renamed copy shows its
// own name in the About box and keeps its setting under a key of that name.
// In the double-byte code pages the name holds a character whose second byte
// is the byte of '\'.
TEST(PluginLoad, RenamedModuleUsesItsOwnName) {
  const std::string name = GetACP() == 932   ? "Van\x83\x5ctrel"
                           : GetACP() == 936 ? "Van\x95\x5ctrel"
                                             : "Mailhelper";
  DataFolder data;
  const std::string copy = data.root / (name + ".dll");
  ASSERT_TRUE(CopyFileA(PluginPath().c_str(), copy.c_str(), FALSE));
  DeleteSettings(name);
  DeleteSettings("Vantrel");
  standin::PluginModule plugin;
  ASSERT_EQ(plugin.Load(copy), 0u);
  about_caption.clear();
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, CloseAboutBox);
  EXPECT_EQ(plugin.OnPlugInSetup(nullptr), 1);
  KillTimer(nullptr, timer);
  EXPECT_EQ(about_caption, name);

  HWND main = standin::CreateMainWindow(nullptr);
  standin::Host().commands.clear();
  EXPECT_EQ(plugin.OnMenuInit(main, standin::MainMenu(main), 0), 0);
  ASSERT_EQ(standin::Host().commands.size(), 2u);  // AutoParse, then the name mode
  standin::Host().commands[0].callback(main, 0);  // AutoParse off: writes 0
  EXPECT_EQ(vantrel::SettingsStore("", name).GetInt("Setup", "AutoParse", -1), 0);
  EXPECT_EQ(vantrel::SettingsStore("", "Vantrel").GetInt("Setup", "AutoParse", -1), -1);
  EXPECT_EQ(plugin.OnExit(), 0);
  DestroyWindow(main);
  // A borrowed main window does not end this thread's message loop.
  MSG quit;
  EXPECT_FALSE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  plugin.Unload();
  DeleteSettings(name);
  DeleteFileA(copy.c_str());
}

vantrel_host::PluginCallbacks ComposeCallbacks(const standin::PluginModule& plugin) {
  vantrel_host::PluginCallbacks callbacks;
  callbacks.onOpenCompose = plugin.OnOpenCompose;
  callbacks.onKeyDispatch = plugin.OnKeyDispatch;
  callbacks.onOutgoing = plugin.OnOutgoing;
  return callbacks;
}

// The host unloads the plug-in while a compose window is open: the window
// gets its own recipient field back, shown and holding what the user had
// typed into ours, and no window or class of the module is left for a
// message to reach.
TEST(PluginLoad, UnloadingWithAComposeWindowOpenGivesTheHostItsFieldBack) {
  DataFolder data;
  DeleteSettings("Vantrel");
  standin::PluginModule plugin;
  ASSERT_EQ(plugin.Load(PluginPath()), 0u);
  HWND main = standin::CreateMainWindow(nullptr);
  ASSERT_EQ(plugin.OnMenuInit(main, standin::MainMenu(main), 0), 0);  // watching
  HWND compose = vantrel_host::OpenHostComposeWindow(ComposeCallbacks(plugin), "ann@example.org");
  HWND host = vantrel_host::HostRecipientField(compose);
  HWND ours = FindWindowExA(vantrel_host::HostAddressContainer(compose), host, "Edit", nullptr);
  ASSERT_TRUE(ours && IsWindowVisible(ours) && !IsWindowVisible(host));
  SetWindowTextA(ours, "ann@example.org,bo@example.net");  // typed
  const HMODULE module = plugin.module;
  EXPECT_EQ(plugin.OnExit(), 0);
  plugin.Unload();
  ASSERT_EQ(nullptr, GetModuleHandleA("Vantrel.dll")) << "still loaded";
  EXPECT_TRUE(IsWindowVisible(host));
  EXPECT_FALSE(IsWindow(ours));
  WNDCLASSA wc = {};
  ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), vantrel_host::kComposeClassName, &wc));
  EXPECT_EQ(reinterpret_cast<LONG>(wc.lpfnWndProc), GetWindowLongA(compose, GWL_WNDPROC));
  for (const char* cls : {"Delayed_Message_Sender", "VantrelSuggestList"}) {
    EXPECT_FALSE(GetClassInfoA(module, cls, &wc)) << cls << " outlived the module";
  }
  char text[64] = {};
  GetWindowTextA(host, text, sizeof text);
  EXPECT_STREQ(text, "ann@example.org,bo@example.net");
  // Not sent: the stand-in window would still call the unloaded callbacks.
  DestroyWindow(compose);
  DestroyWindow(main);
}

// Children of the tests below, run before GoogleTest starts:
//  - the process ends with a compose window open: the fields go with the
//    process, and the plug-in must not destroy them (running window code)
//    on its way out; the child reports any field destroyed;
//  - another plug-in subclasses the compose window on top of ours, then the
//    host unloads the plug-in: that subclass still calls our procedure, so
//    the module must stay mapped (exit code 4 when it went, a crash when the
//    window is used after it went).
const char kExitWithComposeSwitch[] = "--vantrel-exit-with-compose";
const char kUnloadUnderSubclassSwitch[] = "--vantrel-unload-under-subclass";
WNDPROC child_container_proc = nullptr;
WNDPROC child_other_prev = nullptr;
LRESULT CALLBACK OtherPluginProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  return CallWindowProcA(child_other_prev, hwnd, msg, wp, lp);
}
LRESULT CALLBACK ReportingContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PARENTNOTIFY && LOWORD(wp) == WM_DESTROY) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "field destroyed\n", 16, &written, nullptr);
  }
  return CallWindowProcA(child_container_proc, hwnd, msg, wp, lp);
}
struct ComposeChild {
  ComposeChild() {
    const bool exit_child = strstr(GetCommandLineA(), kExitWithComposeSwitch) != nullptr;
    const bool unload_child = strstr(GetCommandLineA(), kUnloadUnderSubclassSwitch) != nullptr;
    if (!exit_child && !unload_child) return;
    standin::Host().dataFolder = standin::ExeFolder() + "Data\\";
    static standin::PluginModule plugin;
    if (plugin.Load(PluginPath()) != 0) ExitProcess(2);
    HWND compose = vantrel_host::OpenHostComposeWindow(ComposeCallbacks(plugin), "ann@example.org");
    if (!compose) ExitProcess(3);
    if (exit_child) {
      HWND container = vantrel_host::HostAddressContainer(compose);
      child_container_proc = reinterpret_cast<WNDPROC>(
          SetWindowLongA(container, GWL_WNDPROC, reinterpret_cast<LONG>(&ReportingContainerProc)));
      ExitProcess(7);
    }
    child_other_prev = reinterpret_cast<WNDPROC>(
        SetWindowLongA(compose, GWL_WNDPROC, reinterpret_cast<LONG>(&OtherPluginProc)));
    SendMessageA(compose, WM_SIZE, 0, MAKELPARAM(500, 300));
    plugin.OnExit();
    FreeLibrary(plugin.module);
    if (!GetModuleHandleA("Vantrel.dll")) ExitProcess(4);
    SendMessageA(compose, WM_SIZE, 0, MAKELPARAM(520, 300));
    SetWindowLongA(compose, GWL_WNDPROC, reinterpret_cast<LONG>(child_other_prev));
    SendMessageA(compose, WM_SIZE, 0, MAKELPARAM(540, 300));
    ExitProcess(7);
  }
} compose_child;

TEST(PluginLoad, ProcessExitAndUnloadUnderAnotherSubclassLeaveTheWindowsWhole) {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string output;
  EXPECT_EQ(RunProgram(std::string("\"") + self + "\" " + kExitWithComposeSwitch, &output), 7u)
      << "2: not loaded, 3: no compose window, else a crash\n" << output;
  EXPECT_EQ(output.find("field destroyed"), std::string::npos) << output;
  EXPECT_EQ(RunProgram(std::string("\"") + self + "\" " + kUnloadUnderSubclassSwitch, &output), 7u)
      << "2: not loaded, 3: no compose window, 4: unloaded, else a crash\n" << output;
}

// The child of the test below, run before GoogleTest starts: the host
// handles its shutting down (BKC_OnExit, then FreeLibrary) inside the
// message-pumping wait of the stop that the AutoParse command began, so the
// stop ends after the host let go of the module. Exit code 7 when the
// command returned; a hang or a crash otherwise.
const char kStopAfterFreeLibrarySwitch[] = "--vantrel-stop-after-free-library";
struct StopAfterFreeLibraryChild {
  StopAfterFreeLibraryChild() {
    if (!strstr(GetCommandLineA(), kStopAfterFreeLibrarySwitch)) return;
    standin::Host().dataFolder = standin::ExeFolder() + "Data\\";
    static standin::PluginModule plugin;
    if (plugin.Load(PluginPath()) != 0) ExitProcess(2);
    HWND main = standin::CreateMainWindow(nullptr);
    plugin.OnMenuInit(main, standin::MainMenu(main), 0);
    if (standin::Host().commands.empty()) ExitProcess(3);
    watchtest::PostAction([] {
      plugin.OnExit();
      FreeLibrary(plugin.module);
    });
    standin::Host().commands.back().callback(main, 0);  // switched off: a stop
    ExitProcess(7);
  }
} stop_after_free_library_child;

TEST(PluginLoad, AStopThatEndsAfterTheHostFreedTheModuleReturns) {
  DeleteSettings("Vantrel");  // AutoParse on: the menu set-up starts a watch
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string output;
  EXPECT_EQ(RunProgram(std::string("\"") + self + "\" " + kStopAfterFreeLibrarySwitch, &output),
            7u)
      << "2: not loaded, 3: no command, 99: hung, else a crash\n" << output;
}

// The host variants are separate programs: a process's executable is what
// the plug-in binds against.
TEST(PluginLoad, VersionGateRefusesOrAcceptsTheLoad) {
  const std::string folder = standin::ExeFolder();
  const struct {
    const char* program;
    const char* version;
    DWORD expected;
  } cases[] = {
      {"StandinHost.exe", "2.00.06", 0},
      {"StandinHost-NoConnect.exe", "2.75.02", 3},
      {"StandinHost-NoSetStatus.exe", "2.00.06", 3},
      {"StandinHost-NoSetStatus.exe", "2.01.00", 3},
      {"StandinHost-NoSetStatus.exe", "2.00.06a", 3},
      {"StandinHost-NoSetStatus.exe", "2.00.05", 0},
      {"StandinHost-NoSetStatus.exe", "10.0.0", 0},
  };
  // With AutoParse on, the first host quits with a watch running and without
  // BKC_OnExit (--skip-exit): the process must still end.
  DeleteSettings("Vantrel");
  for (const auto& c : cases) {
    const std::string command = "\"" + folder + c.program + "\" --info --skip-exit --version " +
                                c.version + " --data \"" + folder + "Data\"";
    EXPECT_EQ(RunProgram(command), c.expected) << c.program << " reporting " << c.version;
  }
}

// The whole product in the stand-in host: the real DLL, a compose window,
// keys typed with SendInput. The host prints what the list offered (walking
// it with Down) and what it finally sent.
TEST(HostSession, TypingOffersTheSortedMatchesAndANewAddressAfterASave) {
  DataFolder data;
  WriteBytes(data.Book("c.bab"), Card("Al", "Alma@example.org") + Card("Bo", "bob@example.org") +
                                     Card("Al2", "al_x@example.org"));
  DeleteSettings("Vantrel");  // AutoParse on
  const std::string folder = standin::ExeFolder();
  std::string output;
  const DWORD code = RunProgram("\"" + folder + "StandinHost.exe\" --demo --token al --data \"" +
                                    data.root.path() + "\" --live-add alan@example.org --live-book \"" +
                                    data.Book("a.bab") + "\"",
                                &output);
  EXPECT_EQ(code, 0u) << output;
  // Sorted without regard to case, "_" before letters; bob and ann are not
  // offered for "al".
  EXPECT_NE(output.find("offered 3 addresses:\r\n  al@example.org\r\n  al_x@example.org\r\n"
                        "  Alma@example.org\r\n"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("offered 4 addresses:\r\n  al@example.org\r\n  al_x@example.org\r\n"
                        "  alan@example.org\r\n  Alma@example.org\r\n"),
            std::string::npos)
      << output;
  // Walking the list wraps round to its first address, which stays in the
  // field; Enter closes the list and the host sends exactly that.
  EXPECT_NE(output.find("sent to: al@example.org\r\n"), std::string::npos) << output;
}

// The menu set-up and AutoParse run in-process here, against this program's
// own copy of the plug-in's objects: their state (the address list, the
// watcher) can be looked at directly. The settings key is named after this
// program.
class ShellTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(vantrel::TheApp.InitInstance(GetModuleHandleA(nullptr)), TRUE);
  }
  void SetUp() override {
    DeleteSettings(vantrel::TheApp.name());
    vantrel::AddressList.Clear();
    standin::Host().commands.clear();
    menu_ = standin::MainMenu(main_ = standin::CreateMainWindow(nullptr));
  }
  void TearDown() override {
    vantrel::SetRebuildReadHook(nullptr);
    vantrel::Exit();
    DestroyWindow(main_);
  }
  HMENU Tools() const { return GetSubMenu(menu_, 4); }
  int Setting() const {
    return vantrel::TheApp.settings().GetInt("Setup", "AutoParse", -1);
  }
  bool Checked() const {
    return (GetMenuState(Tools(), static_cast<UINT>(vantrel::AutoParseCommandId()), MF_BYCOMMAND) &
            MF_CHECKED) != 0;
  }
  bool Holds(const std::string& address) const {
    for (const std::string& a : vantrel::AddressList.items())
      if (a == address) return true;
    return false;
  }

  HWND main_ = nullptr;
  HMENU menu_ = nullptr;
};

TEST_F(ShellTest, MenuInitReadsTheBooksAndAddsTheCommand) {
  DataFolder data;
  EXPECT_EQ(vantrel::TheApp.name(), "plugin_wine_tests");
  const int items_before = GetMenuItemCount(Tools());

  EXPECT_EQ(vantrel::MenuInit(menu_, 1), 0);
  EXPECT_TRUE(vantrel::AddressList.items().empty());
  EXPECT_EQ(GetMenuItemCount(Tools()), items_before);
  EXPECT_TRUE(standin::Host().commands.empty());
  EXPECT_EQ(vantrel::DirWatcher.WatchCount(), 0u);

  EXPECT_EQ(vantrel::MenuInit(menu_, 0), 0);
  const std::vector<std::string> first = {"ann@example.org", "al@example.org", "bo@example.net"};
  EXPECT_EQ(vantrel::AddressList.items(), first);
  // A separator, the AutoParse command and the name mode's command.
  ASSERT_EQ(GetMenuItemCount(Tools()), items_before + 3);
  EXPECT_EQ(GetMenuState(Tools(), static_cast<UINT>(items_before), MF_BYPOSITION) & MF_SEPARATOR,
            static_cast<UINT>(MF_SEPARATOR));
  char text[64] = {};
  GetMenuStringA(Tools(), static_cast<UINT>(items_before + 1), text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ(text, "\xB8\xFA\xD7\xD9\xB5\xD8\xD6\xB7\xB2\xBE\xD0\xC5\xCF\xA2\xB1\xE4\xBB\xAF");
  ASSERT_EQ(standin::Host().commands.size(), 2u);
  EXPECT_EQ(standin::Host().commands[0].text, text);
  EXPECT_EQ(standin::Host().commands[0].type, 0);
  EXPECT_EQ(vantrel::AutoParseCommandId(), standin::Host().commands[0].id);
  EXPECT_EQ(GetMenuItemID(Tools(), items_before + 1),
            static_cast<UINT>(standin::Host().commands[0].id));
  // The name mode's command, registered and appended right after it, in the
  // system's language; a missing setting is off: no check mark.
  const char* const names_text = GetACP() == 936
      ? "\xB0\xB4\xD0\xD5\xC3\xFB\xBA\xCD\xC6\xB4\xD2\xF4\xB2\xE9\xD5\xD2\xB5\xD8\xD6\xB7"
      : GetACP() == 932 ? "\x96\xBC\x91\x4F\x82\xC6\x93\xC7\x82\xDD\x82\xC5\x82\xE0\x8C\x9F\x8D\xF5"
                        : "Find addresses by name too";
  GetMenuStringA(Tools(), static_cast<UINT>(items_before + 2), text, sizeof text, MF_BYPOSITION);
  EXPECT_STREQ(text, names_text);
  EXPECT_EQ(standin::Host().commands[1].text, names_text);
  EXPECT_EQ(standin::Host().commands[1].type, 0);
  EXPECT_EQ(vantrel::MatchNamesCommandId(), standin::Host().commands[1].id);
  EXPECT_EQ(GetMenuItemID(Tools(), items_before + 2),
            static_cast<UINT>(standin::Host().commands[1].id));
  EXPECT_EQ(GetMenuState(Tools(), static_cast<UINT>(items_before + 2), MF_BYPOSITION) & MF_CHECKED,
            0u);
  // A missing setting counts as 1: checked and watching. Reading created the
  // keys but wrote no value.
  EXPECT_TRUE(Checked());
  EXPECT_EQ(vantrel::DirWatcher.WatchCount(), 1u);
  EXPECT_EQ(Setting(), -1);
  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\plugin_wine_tests\\Setup", 0, KEY_READ,
                          &key),
            ERROR_SUCCESS);
  if (key) RegCloseKey(key);

  // A second set-up repeats everything: the books are read again onto the
  // end of the list and a second command is registered.
  EXPECT_EQ(vantrel::MenuInit(menu_, 0), 0);
  std::vector<std::string> twice = first;
  twice.insert(twice.end(), first.begin(), first.end());
  EXPECT_EQ(vantrel::AddressList.items(), twice);
  EXPECT_EQ(GetMenuItemCount(Tools()), items_before + 6);
  ASSERT_EQ(standin::Host().commands.size(), 4u);
  EXPECT_EQ(vantrel::AutoParseCommandId(), standin::Host().commands[2].id);
  EXPECT_EQ(vantrel::MatchNamesCommandId(), standin::Host().commands[3].id);

  EXPECT_EQ(vantrel::Exit(), 0);
  EXPECT_EQ(vantrel::DirWatcher.WatchCount(), 0u);
}

TEST_F(ShellTest, FieldFontIsNinePointSongTi) {
  ASSERT_TRUE(vantrel::FieldFont.get() != nullptr);
  LOGFONTA font = {};
  ASSERT_EQ(GetObjectA(vantrel::FieldFont.get(), sizeof font, &font), static_cast<int>(sizeof font));
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(font.lfHeight, -(dpi * 90 / 720)) << "at " << dpi << " pixels per inch";
  EXPECT_EQ(font.lfWeight, FW_NORMAL);
  // The face is the GBK bytes of SimSun, read in the system's code page as
  // every ANSI function reads them; only in code pages 936 and 1252 do they
  // come back from the font as the same bytes (in 932 the last byte is a
  // lead byte without a trail).
  const char face[] = "\xCB\xCE\xCC\xE5";
  wchar_t want[LF_FACESIZE] = {};
  MultiByteToWideChar(CP_ACP, 0, face, -1, want, LF_FACESIZE);
  LOGFONTW wide = {};
  ASSERT_EQ(GetObjectW(vantrel::FieldFont.get(), sizeof wide, &wide),
            static_cast<int>(sizeof wide));
  EXPECT_EQ(std::wstring(wide.lfFaceName), std::wstring(want));
  if (GetACP() == 936) {
    EXPECT_EQ(std::wstring(wide.lfFaceName), std::wstring(L"\x5B8B\x4F53"));
  }
  if (GetACP() == 936 || GetACP() == 1252) {
    EXPECT_STREQ(font.lfFaceName, face);
  }
  EXPECT_EQ(font.lfWidth, 0);
  EXPECT_EQ(font.lfItalic, 0);
}

TEST_F(ShellTest, MissingFolderReadsNothing) {
  standin::Host().dataFolder = "C:\\no\\such\\folder\\";
  EXPECT_EQ(vantrel::MenuInit(menu_, 0), 0);
  EXPECT_TRUE(vantrel::AddressList.items().empty());
}

int WINAPI OpenHook(HWND compose, LPARAM) { return vantrel::OpenCompose(compose); }
int WINAPI KeyHook(HWND window, int key, LPARAM) { return vantrel::KeyDispatch(window, key); }
int WINAPI OutgoingHook(HWND compose, LPARAM) { return vantrel::Outgoing(compose); }

// Every open completion field offers exactly what was read last: as many
// entries, and for each first letter the very addresses that begin with it.
::testing::AssertionResult FieldsHoldTheList(size_t fields) {
  const std::vector<std::string>& items = vantrel::AddressList.items();
  if (vantrel::ComposeSlots.size() != fields)
    return ::testing::AssertionFailure() << vantrel::ComposeSlots.size() << " slots";
  auto first = [](const std::string& a) { return static_cast<char>(tolower(a[0])); };
  std::set<char> letters;
  for (const std::string& a : items)
    if (!a.empty()) letters.insert(first(a));
  for (vantrel::ComposeSlot& slot : vantrel::ComposeSlots) {
    vantrel::CSuggestList& list = slot.edit->list();
    if (list.SearchCount() != items.size())
      return ::testing::AssertionFailure() << "a field holds " << list.SearchCount() << " of "
                                           << items.size();
    for (char letter : letters) {
      std::vector<std::string> want, got;
      for (const std::string& a : items)
        if (!a.empty() && first(a) == letter) want.push_back(a);
      list.FindString(-1, std::string(1, letter), false);
      for (size_t i = 0; i < list.MatchCount(); ++i) got.push_back(list.MatchAt(i));
      std::sort(want.begin(), want.end());
      std::sort(got.begin(), got.end());
      if (got != want) {
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << "for '" << letter << "' a field offers:";
        for (const std::string& a : got) failure << " " << a;
        return failure << " (" << want.size() << " expected)";
      }
    }
    list.FindString(-1, "\x01", false);  // no match: the list hides again
  }
  return ::testing::AssertionSuccess();
}

TEST_F(ShellTest, AutoParseRereadsOnChangesAndTheCommandSwitchesIt) {
  DataFolder data;
  ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
  ASSERT_EQ(vantrel::DirWatcher.WatchCount(), 1u);
  // Two compose windows open while the books change.
  vantrel_host::PluginCallbacks hooks;
  hooks.onOpenCompose = OpenHook;
  hooks.onKeyDispatch = KeyHook;
  hooks.onOutgoing = OutgoingHook;
  HWND first = vantrel_host::OpenHostComposeWindow(hooks, nullptr);
  HWND second = vantrel_host::OpenHostComposeWindow(hooks, "bo@example.net");
  EXPECT_TRUE(FieldsHoldTheList(2));

  WriteBytes(data.Book("a.bab"), Card("Cy", "cy@example.org"));
  EXPECT_TRUE(PumpUntil([&] { return Holds("cy@example.org"); }));
  EXPECT_FALSE(Holds("ann@example.org")) << "the list is replaced, not appended to";
  EXPECT_TRUE(FieldsHoldTheList(2));
  // The new address completes in an open field.
  {
    vantrel::CSuggestList& list = vantrel::ComposeSlots[1].edit->list();
    EXPECT_EQ(list.FindString(-1, "c", false), 1);
    ASSERT_EQ(list.MatchCount(), 1u);
    EXPECT_EQ(list.MatchAt(0), "cy@example.org");
  }

  // Neither a name in capitals nor another extension is an address-book
  // change. X.BAB is still read by the next rebuild (the reader lower-cases
  // paths), which makes a missed rebuild visible.
  WriteBytes(data.Book("X.BAB"), Card("Xa", "xa@example.org"));
  WriteBytes(data.Book("notes.txt"), Card("Nt", "nt@example.org"));
  PumpUntil([] { return false; }, 1500);
  EXPECT_FALSE(Holds("xa@example.org"));

  ASSERT_TRUE(MoveFileA(data.Book("notes.txt").c_str(), data.Book("notes.bab").c_str()));
  EXPECT_TRUE(PumpUntil([&] { return Holds("nt@example.org"); }));
  EXPECT_TRUE(Holds("xa@example.org"));
  ASSERT_TRUE(MoveFileA(data.Book("notes.bab").c_str(), data.Book("notes.txt").c_str()));
  EXPECT_TRUE(PumpUntil([&] { return !Holds("nt@example.org"); }));

  // A subfolder. Wine reports changes only in subfolders made after the
  // watch started, so this one is new.
  CreateDirectoryA(data.Book("new").c_str(), nullptr);
  WriteBytes(data.Book("new\\n.bab"), Card("Su", "su@example.org"));
  EXPECT_TRUE(PumpUntil([&] { return Holds("su@example.org"); }));

  // Off: setting 0, no check mark, no watch, changes ignored.
  ASSERT_EQ(standin::Host().commands.size(), 2u);
  const standin::CommandCallback toggle = standin::Host().commands[0].callback;
  toggle(main_, 0);
  EXPECT_EQ(Setting(), 0);
  EXPECT_FALSE(Checked());
  EXPECT_EQ(vantrel::DirWatcher.WatchCount(), 0u);
  WriteBytes(data.Book("a.bab"), Card("Dee", "dee@example.org"));
  PumpUntil([] { return false; }, 1500);
  EXPECT_FALSE(Holds("dee@example.org"));

  // On: setting 1, checked, watching, and nothing read until a change.
  toggle(main_, 0);
  EXPECT_EQ(Setting(), 1);
  EXPECT_TRUE(Checked());
  EXPECT_EQ(vantrel::DirWatcher.WatchCount(), 1u);
  PumpUntil([] { return false; }, 500);
  EXPECT_FALSE(Holds("dee@example.org"));
  WriteBytes(data.Book("a.bab"), Card("Eve", "eve@example.org"));
  EXPECT_TRUE(PumpUntil([&] { return Holds("eve@example.org"); }));
  EXPECT_TRUE(FieldsHoldTheList(2));
  EXPECT_EQ(vantrel_host::HostSendMail(second), "bo@example.net");
  vantrel_host::HostSendMail(first);
}

// What a reading of the books gives now.
std::vector<std::string> FreshReading() {
  vantrel::PathList paths;
  std::vector<std::string> addresses;
  vantrel::ScanAddressBooks(vantrel::AddressBookFolder(), paths);
  vantrel::ParseAddressBooks(paths, addresses);
  return addresses;
}

// AddressList equals a fresh reading, and every open field holds it and
// offers `address`.
::testing::AssertionResult ListAndFieldsAreFresh(size_t fields, const std::string& address) {
  if (vantrel::AddressList.items() != FreshReading())
    return ::testing::AssertionFailure() << "AddressList differs from a fresh reading";
  ::testing::AssertionResult held = FieldsHoldTheList(fields);
  if (!held) return held;
  for (const vantrel::ComposeSlot& slot : vantrel::ComposeSlots) {
    vantrel::CSuggestList& list = slot.edit->list();
    const bool offered = list.FindString(-1, address, false) == 1 && list.MatchCount() == 1 &&
                         list.MatchAt(0) == address;
    ShowWindow(list.hwnd(), SW_HIDE);
    if (!offered) return ::testing::AssertionFailure() << "a field does not offer " << address;
  }
  return ::testing::AssertionSuccess();
}

// Run once by the next rebuild, after it read the books (SetRebuildReadHook).
std::function<void()> duringRebuild;
void RunDuringRebuild() {
  std::function<void()> f = std::move(duringRebuild);
  duringRebuild = nullptr;
  if (f) f();
}

// Waits, without pumping, until the watcher has stamped no notification for
// 300 ms: every change made so far has then been posted.
void WaitUntilStampsSettle() {
  vantrel::ChangeStamp seen = vantrel::LatestChangeStamp();
  for (int quiet = 0, rounds = 0; quiet < 3 && rounds < 100; ++rounds) {
    Sleep(100);
    const vantrel::ChangeStamp now = vantrel::LatestChangeStamp();
    quiet = now == seen ? quiet + 1 : 0;
    seen = now;
  }
}

// Notifications through a dispatcher of the handler, posted on this thread:
// which of them read the books is then exact.
TEST_F(ShellTest, AReadingCoversWhatWasPostedBeforeItAndNothingAfter) {
  DataFolder data;
  vantrel::RebuildAddressList();
  const vantrel_host::PluginCallbacks hooks = {OpenHook, KeyHook, OutgoingHook};
  HWND compose = vantrel_host::OpenHostComposeWindow(hooks, nullptr);
  const std::string folder = data.root / "AddrBook\\";
  auto* d = new vantrel::CChangeDispatcher(&vantrel::TheAddrBookHandler, "*.bab",
                                           vantrel::FF_NAME_ONLY);

  // Queued before this thread looks: one reading takes all of them in.
  WriteBytes(data.Book("a.bab"), Card("Cy", "cy@example.org"));
  for (int i = 0; i < 5; ++i) d->NotifyModified(data.Book("a.bab"));
  d->NotifyChangesLost(folder);
  d->NotifyRenamed(data.Book("a.tmp"), data.Book("a.bab"));
  d->NotifyModified(data.Book("notes.txt"));  // filtered out
  unsigned long before = vantrel::RebuildCount();
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(vantrel::RebuildCount() - before, 1u);
  EXPECT_TRUE(ListAndFieldsAreFresh(1, "cy@example.org"));

  // Posted while a rebuild is under way, after it read the books: whatever
  // the kind, one more reading, which sees the change.
  const struct {
    const char* kind;
    std::function<void()> post;
  } cases[] = {
      {"modified", [&] { d->NotifyModified(data.Book("a.bab")); }},
      {"added", [&] { d->NotifyAdded(data.Book("a.bab")); }},
      {"renamed", [&] { d->NotifyRenamed(data.Book("a.bab"), data.Book("z.tmp")); }},
      {"changes lost", [&] { d->NotifyChangesLost(folder); }},
  };
  vantrel::SetRebuildReadHook(&RunDuringRebuild);
  int n = 0;
  for (const auto& c : cases) {
    const std::string address = "during" + std::to_string(++n) + "@example.org";
    duringRebuild = [&] {
      WriteBytes(data.Book("a.bab"), Card("Du", address));
      c.post();
    };
    d->NotifyModified(data.Book("a.bab"));
    before = vantrel::RebuildCount();
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(vantrel::RebuildCount() - before, 2u) << c.kind;
    EXPECT_TRUE(ListAndFieldsAreFresh(1, address)) << c.kind;
  }
  vantrel::SetRebuildReadHook(nullptr);
  d->DetachTarget();
  d->Release();
  vantrel_host::HostSendMail(compose);
}

// The same with a real watched folder: many writes made before this thread
// looks cost at most two readings (the first may begin before the worker
// has posted the last of them), and a book written while a rebuild is under
// way is read.
TEST_F(ShellTest, ABurstInTheWatchedFolderIsReadOnceAndAWriteDuringARebuildIsNotLost) {
  DataFolder data;
  ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
  const vantrel_host::PluginCallbacks hooks = {OpenHook, KeyHook, OutgoingHook};
  HWND first = vantrel_host::OpenHostComposeWindow(hooks, nullptr);
  HWND second = vantrel_host::OpenHostComposeWindow(hooks, nullptr);
  PumpUntil([] { return false; }, 300);

  for (int i = 0; i < 40; ++i) {
    WriteBytes(data.Book("q" + std::to_string(i % 8) + ".bab"),
               Card("Q", "q" + std::to_string(i) + "@burst.example"));
  }
  WaitUntilStampsSettle();
  unsigned long before = vantrel::RebuildCount();
  EXPECT_TRUE(PumpUntil([&] { return Holds("q39@burst.example"); }));
  PumpUntil([] { return false; }, 500);
  const unsigned long rebuilds = vantrel::RebuildCount() - before;
  EXPECT_GE(rebuilds, 1u);
  EXPECT_LE(rebuilds, 2u) << "40 writes";
  EXPECT_TRUE(ListAndFieldsAreFresh(2, "q39@burst.example"));
  EXPECT_FALSE(Holds("q31@burst.example")) << "q7.bab was rewritten after it";

  // The hook writes a new book after the rebuild has read the folder and
  // waits until the worker has posted its change, so that the notice is
  // queued before the rebuild ends.
  vantrel::SetRebuildReadHook(&RunDuringRebuild);
  duringRebuild = [&] {
    WaitUntilStampsSettle();
    const vantrel::ChangeStamp stamp = vantrel::LatestChangeStamp();
    WriteBytes(data.Book("during.bab"), Card("Du", "during@burst.example"));
    for (int i = 0; i < 100 && vantrel::LatestChangeStamp() == stamp; ++i) Sleep(50);
    EXPECT_NE(vantrel::LatestChangeStamp(), stamp) << "the write was not reported";
    WaitUntilStampsSettle();
  };
  WriteBytes(data.Book("q0.bab"), Card("Tr", "trigger@burst.example"));
  before = vantrel::RebuildCount();
  EXPECT_TRUE(PumpUntil([&] { return Holds("during@burst.example"); }))
      << "the book written during the rebuild was never read";
  PumpUntil([] { return false; }, 500);
  EXPECT_EQ(vantrel::RebuildCount() - before, 2u);
  EXPECT_TRUE(ListAndFieldsAreFresh(2, "during@burst.example"));
  EXPECT_TRUE(Holds("trigger@burst.example"));
  vantrel::SetRebuildReadHook(nullptr);
  vantrel_host::HostSendMail(first);
  vantrel_host::HostSendMail(second);
}

TEST_F(ShellTest, SettingTwoStartsOffAndTheCommandWritesZero) {
  DataFolder data;
  vantrel::TheApp.settings().SetInt("Setup", "AutoParse", 2);
  ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
  EXPECT_FALSE(Checked());
  EXPECT_EQ(vantrel::DirWatcher.WatchCount(), 0u);
  standin::Host().commands[0].callback(main_, 0);
  EXPECT_EQ(Setting(), 0);
  EXPECT_FALSE(Checked());
  EXPECT_EQ(vantrel::DirWatcher.WatchCount(), 0u);
}

// Changes still queued when the host exits are handled inside the stop, the
// rebuilds finding every file written, and nothing is left over afterwards.
TEST_F(ShellTest, ExitHandlesTheChangesQueuedBeforeIt) {
  DataFolder data;
  ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
  for (int i = 0; i < 40; ++i) {
    WriteBytes(data.Book("q" + std::to_string(i) + ".bab"), Card("Q", "q" + std::to_string(i) + "@x"));
  }
  // Not pumped: the notifications stay queued until the stop delivers them.
  MSG queued;
  const DWORD start = GetTickCount();
  while (!PeekMessageA(&queued, vantrel::CWindowPoster::Window(), vantrel::WM_WATCH_NOTIFICATION,
                       vantrel::WM_WATCH_NOTIFICATION, PM_NOREMOVE) &&
         GetTickCount() - start < 5000) {
    Sleep(10);
  }
  Sleep(200);
  ASSERT_FALSE(Holds("q0@x")) << "nothing may have been delivered yet";
  {
    HangGuard guard("BKC_OnExit with changes queued");
    EXPECT_EQ(vantrel::Exit(), 0);
  }
  for (int i = 0; i < 40; ++i) EXPECT_TRUE(Holds("q" + std::to_string(i) + "@x")) << i;
  EXPECT_EQ(vantrel::DirWatcher.WatchCount(), 0u);
  EXPECT_EQ(vantrel::DirWatcher.WorkerThreadId(), 0u);
  EXPECT_EQ(vantrel::CWindowPoster::Users(), 0) << "a record was left undelivered";
  const std::vector<std::string> after_exit = vantrel::AddressList.items();
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(vantrel::AddressList.items(), after_exit) << "a rebuild after the stop";
}

int WINAPI ExitHook() { return vantrel::Exit(); }

// The command chosen again, or the host shutting down, while the command (or
// the exit) stops the watch: the host dispatches these inside the stop's
// wait. Nothing may hang, and afterwards the setting, the check mark and the
// watch agree with the user's last choice; an exit ends the watching for good
// but leaves the setting and the check mark as the user chose.
TEST_F(ShellTest, CommandAndExitInsideAStopLeaveTheLastChoice) {
  DataFolder data;
  standin::PluginModule exiting;  // a host window whose closing calls BKC_OnExit
  exiting.OnExit = &ExitHook;
  const struct {
    const char* outer;
    std::vector<const char*> nested;
    int setting;
    bool checked, watching;
  } cases[] = {
      {"command", {"command"}, 1, true, true},  // chosen twice in quick succession
      {"command", {"command", "command"}, 0, false, false},
      {"command", {"command", "exit"}, 1, true, false},
      {"exit", {"command", "command"}, 1, true, false},
  };
  for (const auto& c : cases) {
    std::string what = c.outer;
    for (const char* n : c.nested) what += std::string(", ") + n;
    SCOPED_TRACE(what);
    vantrel::Exit();
    DeleteSettings(vantrel::TheApp.name());
    ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
    ASSERT_EQ(vantrel::DirWatcher.WatchCount(), 1u);
    for (const char* n : c.nested) {
      if (std::string(n) == "command") {
        PostMessageA(main_, WM_COMMAND, static_cast<WPARAM>(vantrel::AutoParseCommandId()), 0);
      } else {
        PostMessageA(standin::CreateMainWindow(&exiting), WM_COMMAND, standin::IDM_EXIT, 0);
      }
    }
    {
      HangGuard guard(what);
      if (std::string(c.outer) == "command")
        standin::FindCommand(vantrel::AutoParseCommandId())->callback(main_, 0);
      else
        vantrel::Exit();
    }
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(Setting(), c.setting);
    EXPECT_EQ(Checked(), c.checked);
    EXPECT_EQ(vantrel::DirWatcher.WatchCount(), c.watching ? 1u : 0u);
    EXPECT_EQ(vantrel::DirWatcher.WorkerThreadId() != 0, c.watching);
  }
}

// Runs a shell command of the system under Wine (which starts Unix programs
// as it starts Windows ones); Windows paths go in as Unix paths. True when
// it ran and succeeded.
std::string UnixPath(const std::string& windows_path) {
  using Fn = char*(CDECL*)(LPCWSTR);
  const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!fn) return std::string();
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, windows_path.c_str(), -1, wide, MAX_PATH);
  char* unix_path = fn(wide);
  if (!unix_path) return std::string();
  std::string result = unix_path;
  HeapFree(GetProcessHeap(), 0, unix_path);
  return result;
}
bool Shell(const std::string& command) {
  // Wine gives no handle to wait on for a Unix process: it reports its end
  // through a file.
  char tmp[MAX_PATH], done[MAX_PATH];
  GetTempPathA(MAX_PATH, tmp);
  GetTempFileNameA(tmp, "vsh", 0, done);
  DeleteFileA(done);
  std::string line = "/bin/sh -c \"(" + command + ") && echo ok > '" + UnixPath(done) + "'\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const bool ok = PumpUntil([&] { return GetFileAttributesA(done) != INVALID_FILE_ATTRIBUTES; });
  Sleep(50);  // the shell may still be writing the file
  DeleteFileA(done);
  return ok;
}

// Folder links that lead back up the tree (junctions on Windows; under Wine
// Unix symbolic links, which it lists as folders): every book is read once,
// at once, and a link to a folder outside the tree is followed once.
TEST_F(ShellTest, FolderLinksBackUpTheTreeAreFollowedOnce) {
  DataFolder data;
  ScratchDir outside("outside");
  WriteBytes(outside / "far.bab", Card("Far", "far@example.com"));
  const std::string book = UnixPath(data.Book(""));
  const std::string outside_path = UnixPath(outside.path());
  if (book.empty()) GTEST_SKIP() << "needs Wine's Unix paths to make the links";
  // Gone before anything walks the folders to delete them, however the
  // test ends.
  struct Unlink {
    std::string book;
    ~Unlink() { Shell("cd '" + book + "' && rm -f self sub/up far sub/far2"); }
  } unlink{book};
  const std::vector<std::string> first = {"ann@example.org", "al@example.org", "bo@example.net"};
  const struct {
    const char* links;  // made under AddrBook
    bool outward;       // the link outside is among them
  } cases[] = {
      {"ln -sfn . self", false},
      {"ln -sfn .. sub/up", false},
      {"ln -sfn . self && ln -sfn .. sub/up", false},
      {"ln -sfn . self && ln -sfn .. sub/up && ln -sfn FAR far && ln -sfn FAR sub/far2", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.links);
    std::string links = c.links;
    for (size_t at; (at = links.find("FAR")) != std::string::npos;) links.replace(at, 3, outside_path);
    ASSERT_TRUE(Shell("cd '" + book + "' && " + links));
    vantrel::AddressList.Clear();
    LARGE_INTEGER t0, t1, hz;
    QueryPerformanceFrequency(&hz);
    QueryPerformanceCounter(&t0);
    {
      HangGuard guard(std::string("BKC_OnMenuInit with ") + c.links, 60000);
      EXPECT_EQ(vantrel::MenuInit(menu_, 0), 0);
    }
    QueryPerformanceCounter(&t1);
    std::printf("[ figure ] BKC_OnMenuInit with %s: %.1f ms\n", c.links,
                1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) /
                    static_cast<double>(hz.QuadPart));
    std::vector<std::string> want = first;
    if (c.outward) want.push_back("far@example.com");
    std::vector<std::string> got = vantrel::AddressList.items();
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    vantrel::Exit();
  }
}

// Any program can post message 0x8400 to the delivery window, or broadcast
// it; only the records the watcher posted are taken as records.
TEST_F(ShellTest, ForgedWatchMessagesAreIgnoredAndTheWatchGoesOn) {
  DataFolder data;
  ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
  const HWND window = vantrel::CWindowPoster::Window();
  ASSERT_TRUE(IsWindow(window));
  static const unsigned char zeros[256] = {};
  static unsigned char garbage[256];
  for (size_t i = 0; i < sizeof garbage; ++i) garbage[i] = static_cast<unsigned char>(0x41 + i);
  const LPARAM forged[] = {0x10, reinterpret_cast<LPARAM>(zeros),
                           reinterpret_cast<LPARAM>(garbage), -1};
  for (LPARAM lparam : forged) {
    PostMessageA(window, vantrel::WM_WATCH_NOTIFICATION, 0, lparam);
    SendMessageA(window, vantrel::WM_WATCH_NOTIFICATION, 0, lparam);
  }
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(HWND_BROADCAST, vantrel::WM_WATCH_NOTIFICATION, 0, 0x10, SMTO_ABORTIFHUNG,
                      1000, &ignored);
  PostMessageA(HWND_BROADCAST, vantrel::WM_WATCH_NOTIFICATION, 0, reinterpret_cast<LPARAM>(zeros));
  PumpUntil([] { return false; }, 300);
  std::printf("[ figure ] forged 0x8400 messages survived: %u\n",
              static_cast<unsigned>(2 * (sizeof forged / sizeof *forged) + 2));
  WriteBytes(data.Book("after.bab"), Card("After", "after@example.org"));
  EXPECT_TRUE(PumpUntil([&] { return Holds("after@example.org"); }, 10000))
      << "the watch stopped working";
}

// Another program holds a book open without sharing while it writes it, and
// a moment after: the readings in that time miss it, and once it is closed
// its addresses are offered all the same, without a further change.
TEST_F(ShellTest, ABookHeldWithoutSharingIsReadOnceItIsReleased) {
  DataFolder data;
  ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
  // The writer runs on a thread of its own so that this thread can take the
  // change while the file is held; joined before the test ends.
  std::atomic<LONGLONG> closed_at{0};
  std::thread writer([&] {
    HANDLE file = CreateFileA(data.Book("held.bab").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string card = Card("Held", "held@example.org");
    DWORD written = 0;
    WriteFile(file, card.data(), static_cast<DWORD>(card.size()), &written, nullptr);
    Sleep(700);
    LARGE_INTEGER now;
    CloseHandle(file);
    QueryPerformanceCounter(&now);
    closed_at = now.QuadPart;
  });
  const bool offered = PumpUntil([&] { return closed_at != 0 && Holds("held@example.org"); }, 15000);
  LARGE_INTEGER now, hz;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&hz);
  writer.join();
  EXPECT_TRUE(offered) << "the book's address never came";
  if (offered) {
    std::printf("[ figure ] close to address offered: %.1f ms\n",
                1000.0 * static_cast<double>(now.QuadPart - closed_at) /
                    static_cast<double>(hz.QuadPart));
  }
  for (const char* a : {"ann@example.org", "al@example.org", "bo@example.net"})
    EXPECT_TRUE(Holds(a)) << a;
}

// A preallocated book of a gigabyte with no line feed: reading it costs
// neither the host its memory nor the other books their addresses.
TEST_F(ShellTest, AGigabyteBookWithoutLineFeedsIsSkipped) {
  DataFolder data;
  HANDLE file = CreateFileA(data.Book("huge.bab").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "EMAIL;PREF:", 11, &written, nullptr);
  LARGE_INTEGER size;
  size.QuadPart = LONGLONG(1) << 30;
  const bool sized = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  if (!sized) GTEST_SKIP() << "no room for a sparse gigabyte here";
  {
    HangGuard guard("BKC_OnMenuInit with a gigabyte book", 120000);
    EXPECT_EQ(vantrel::MenuInit(menu_, 0), 0);
  }
  std::vector<std::string> got = vantrel::AddressList.items();
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, std::vector<std::string>({"al@example.org", "ann@example.org", "bo@example.net"}));
  // Both commands, AutoParse and the name mode.
  EXPECT_EQ(standin::Host().commands.size(), 2u) << "the commands were not set up";
  DeleteFileA(data.Book("huge.bab").c_str());
}

// A reading that fails (here the allocation of its list) leaves the list it
// was to replace, and the next change reads again.
TEST_F(ShellTest, AReadingThatFailsLeavesThePreviousList) {
  DataFolder data;
  ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
  const std::vector<std::string> before = vantrel::AddressList.items();
  ASSERT_EQ(before.size(), 3u);
  vantrel::SetRebuildReadHook([] { throw std::bad_alloc(); });
  const unsigned long rebuilds = vantrel::RebuildCount();
  WriteBytes(data.Book("new.bab"), Card("New", "new@example.org"));
  ASSERT_TRUE(PumpUntil([&] { return vantrel::RebuildCount() > rebuilds; }, 10000));
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(vantrel::AddressList.items(), before);
  vantrel::SetRebuildReadHook(nullptr);
  WriteBytes(data.Book("newer.bab"), Card("Newer", "newer@example.org"));
  EXPECT_TRUE(PumpUntil([&] { return Holds("new@example.org") && Holds("newer@example.org"); },
                        10000));
}

}  // namespace

// The name mode, end to end through the compose hook: cards with names in
// several scripts, written in UTF-8 as phones and other mail clients export
// them.
const char kNameCards[] =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Robert Miller\r\nN:Miller;Robert;;;\r\n"
    "NICKNAME:Bobby,Rob\r\nEMAIL;PREF;INTERNET:rm1970@example.org\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN;CHARSET=UTF-8:\xE5\xBC\xA0\xE4\xB8\x89\r\n"  // 张三
    "N;CHARSET=UTF-8:\xE5\xBC\xA0;\xE4\xB8\x89;;;\r\n"
    "EMAIL;TYPE=INTERNET,PREF:zs1985@example.cn\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\n"
    "FN;CHARSET=UTF-8:\xE6\x9B\xBE\xE5\xB0\x8F\xE6\x98\x8E\r\n"  // 曾小明: zeng / ceng
    "EMAIL;PREF;INTERNET:10001@example.cn\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\n"
    "FN;CHARSET=UTF-8:\xE5\x8D\x95\xE7\x94\xB0\xE8\x8A\xB3\r\n"  // 单田芳: shan / dan / chan
    "EMAIL;PREF;INTERNET:teller@example.cn\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\n"
    "FN;CHARSET=UTF-8:\xE5\xBC\xB5\xE5\x81\x89\r\n"  // 張偉, traditional
    "EMAIL;PREF;INTERNET:88@example.tw\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\n"
    "FN;CHARSET=UTF-8:\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4\xAA\xE9\x83\x8E\r\n"  // 山田太郎
    "X-PHONETIC-LAST-NAME;CHARSET=UTF-8:\xE3\x82\x84\xE3\x81\xBE\xE3\x81\xA0\r\n"  // やまだ
    "X-PHONETIC-FIRST-NAME;CHARSET=UTF-8:\xE3\x81\x9F\xE3\x82\x8D\xE3\x81\x86\r\n"  // たろう
    "EMAIL;PREF;INTERNET:t.y@example.jp\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\n"
    "FN;CHARSET=UTF-8:\xE7\x9F\xB3\xE7\x94\xB0\r\n"  // 石田
    "SOUND;X-IRMC-N;CHARSET=UTF-8:\xE3\x82\xA4\xE3\x82\xB7\xE3\x83\x80;;;;\r\n"  // イシダ
    "EMAIL;PREF;INTERNET:555@example.jp\r\nEND:VCARD\r\n"
    // The same address again, in capitals and with another name: one row,
    // the first card's.
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN;CHARSET=UTF-8:\xE6\x9D\x8E\xE5\x9B\x9B\r\n"  // 李四
    "EMAIL;PREF;INTERNET:ZS1985@EXAMPLE.CN\r\nEND:VCARD\r\n"
    // Every form of EMAIL property; only EMAIL;PREF... is an address when
    // the mode is off.
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Eva Form\r\nitem1.EMAIL;type=pref:eva1@forms.example\r\n"
    "EMAIL;PREF=1:eva2@forms.example\r\nEMAIL:eva3@forms.example\r\n"
    "EMAIL;INTERNET:  eva4@forms.example  \r\nEND:VCARD\r\n";

class NameModeTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    WriteBytes(data_.Book("names.bab"), kNameCards);
  }
  void TearDown() override {
    ShellTest::TearDown();
    vantrel::AddressList.SetMatchNames(false);  // the other tests' reading
  }
  int NamesSetting() const { return vantrel::TheApp.settings().GetInt("Setup", "MatchNames", -1); }
  bool NamesChecked() const {
    return (GetMenuState(Tools(), static_cast<UINT>(vantrel::MatchNamesCommandId()),
                         MF_BYCOMMAND) & MF_CHECKED) != 0;
  }
  HWND OpenCompose() {
    const vantrel_host::PluginCallbacks hooks = {OpenHook, KeyHook, OutgoingHook};
    return vantrel_host::OpenHostComposeWindow(hooks, nullptr);
  }
  // What the field of the i-th open compose window offers for `text`, typed
  // as its whole text (the caret at its start: the token is the whole run),
  // as "address|name" rows in the pop-up's order.
  static std::vector<std::string> Offered(size_t i, const std::string& text) {
    vantrel::CCompletionEdit& field = *vantrel::ComposeSlots[i].edit;
    // The caret this field reads is its own, at the start after the write.
    SetFocus(field.hwnd());
    SetWindowTextA(field.hwnd(), text.c_str());
    std::vector<std::string> rows;
    const vantrel::CSuggestList& list = field.list();
    if (IsWindowVisible(list.hwnd())) {
      for (size_t r = 0; r < list.MatchCount(); ++r)
        rows.push_back(list.MatchAt(r) + "|" + list.MatchNameAt(r));
    }
    ShowWindow(list.hwnd(), SW_HIDE);
    SetWindowTextA(field.hwnd(), "");
    return rows;
  }
  // The name a row shows: its card's FN in the system's code page, or
  // nothing when the code page cannot hold it.
  static std::string Name(const wchar_t* name) {
    char bytes[64] = {};
    BOOL lost = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, bytes, sizeof bytes,
                                      nullptr, &lost);
    return n > 0 && !lost ? std::string(bytes) : std::string();
  }

  DataFolder data_;
};

TEST_F(NameModeTest, TheCommandSwitchesStoresAndReachesEveryOpenField) {
  ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
  ASSERT_EQ(standin::Host().commands.size(), 2u);
  EXPECT_EQ(NamesSetting(), -1) << "nothing written at start";
  EXPECT_FALSE(NamesChecked());
  EXPECT_FALSE(vantrel::AddressList.HasNames()) << "the mode off reads no names";
  HWND first = OpenCompose();
  HWND second = OpenCompose();
  // The mode off: EMAIL;PREF lines only, so of 张三's card nothing, and of
  // the duplicate card its address as written.
  const std::vector<std::string> plain = {"ZS1985@EXAMPLE.CN|"};
  EXPECT_EQ(Offered(0, "zs"), plain);
  EXPECT_TRUE(Offered(0, "bobby").empty());
  EXPECT_EQ(Offered(1, "eva"), std::vector<std::string>{"eva2@forms.example|"})
      << "the mode off reads EMAIL;PREF lines only";

  // On: stored, checked, one reading for the names, both fields at once.
  const standin::CommandCallback toggle = standin::Host().commands[1].callback;
  unsigned long before = vantrel::RebuildCount();
  toggle(main_, 0);
  EXPECT_EQ(NamesSetting(), 1);
  EXPECT_TRUE(NamesChecked());
  EXPECT_EQ(vantrel::RebuildCount() - before, 1u);
  EXPECT_EQ(vantrel::AddressList.items(), FreshReading()) << "the addresses stay as they were";
  const std::vector<std::string> bobby = {"rm1970@example.org|Robert Miller"};
  EXPECT_EQ(Offered(0, "bobby"), bobby);
  EXPECT_EQ(Offered(1, "bobby"), bobby);
  EXPECT_EQ(Offered(1, "zs"), std::vector<std::string>{"zs1985@example.cn|" + Name(L"\x5F20\x4E09")})
      << "one row for both cards, the first card's";

  // Off: stored, unchecked, no reading, both fields plain again.
  before = vantrel::RebuildCount();
  toggle(main_, 0);
  EXPECT_EQ(NamesSetting(), 0);
  EXPECT_FALSE(NamesChecked());
  EXPECT_TRUE(Offered(0, "bobby").empty());
  EXPECT_TRUE(Offered(1, "bobby").empty());
  EXPECT_EQ(Offered(1, "zs"), plain);
  // On again: the names of the last reading are still at hand.
  toggle(main_, 0);
  EXPECT_EQ(NamesSetting(), 1);
  EXPECT_TRUE(NamesChecked());
  EXPECT_EQ(vantrel::RebuildCount() - before, 0u);
  EXPECT_EQ(Offered(1, "bobby"), bobby);
  // A window opened now starts in the mode.
  HWND third = OpenCompose();
  EXPECT_EQ(Offered(2, "bobby"), bobby);
  vantrel_host::HostSendMail(third);
  vantrel_host::HostSendMail(second);
  vantrel_host::HostSendMail(first);
}

TEST_F(NameModeTest, NamesPinyinAndReadingsFindTheirAddresses) {
  // The setting on at start: the first reading takes the names along.
  vantrel::TheApp.settings().SetInt("Setup", "MatchNames", 1);
  const unsigned long before = vantrel::RebuildCount();
  ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
  EXPECT_TRUE(NamesChecked());
  EXPECT_TRUE(vantrel::AddressList.HasNames());
  EXPECT_EQ(vantrel::RebuildCount(), before) << "one reading, at the menu set-up";
  HWND compose = OpenCompose();

  const std::string miller = "rm1970@example.org|Robert Miller";
  const std::string zhang = "zs1985@example.cn|" + Name(L"\x5F20\x4E09");
  const std::string zeng = "10001@example.cn|" + Name(L"\x66FE\x5C0F\x660E");
  const std::string shan = "teller@example.cn|" + Name(L"\x5355\x7530\x82B3");
  const std::string zhangwei = "88@example.tw|" + Name(L"\x5F35\x5049");
  const std::string yamada = "t.y@example.jp|" + Name(L"\x5C71\x7530\x592A\x90CE");
  const std::string ishida = "555@example.jp|" + Name(L"\x77F3\x7530");
  const std::string eva = "|Eva Form";
  // A name that the system's code page cannot hold is dropped by the
  // reader (it could be neither shown nor typed), so its pinyin finds
  // nothing: in 1252 no Han name, in 932 none with simplified-only
  // characters (张, 单). Readings go with their card's kana.
  const bool zhang_kept = !Name(L"\x5F20\x4E09").empty();
  const bool zeng_kept = !Name(L"\x66FE\x5C0F\x660E").empty();
  const bool shan_kept = !Name(L"\x5355\x7530\x82B3").empty();
  const bool zhangwei_kept = !Name(L"\x5F35\x5049").empty();
  const bool kana_kept = !Name(L"\x3084\x307E\x3060").empty();
  using Rows = std::vector<std::string>;
  struct Expected {
    std::string row;
    bool when = true;  // only when the name it is found by was kept
  };
  const struct {
    const char* token;
    std::vector<Expected> rows;
  } cases[] = {
      {"rm", {{miller}}},                          // the address, as ever
      {"miller", {{miller}}},                      // a word of the name
      {"robert m", {{miller}}},                    // the whole name
      {"bobby", {{miller}}},                       // a nickname
      {"rob", {{miller}}},                         // given name and nickname: one row
      {"zs", {{zhang}}},                           // the address (and the initials)
      {"zhangsan", {{zhang, zhang_kept}}},         // pinyin, whole
      {"zhs", {{zhang, zhang_kept}}},              // mixed
      {"zsan", {{zhang, zhang_kept}}},
      {"zhangs", {{zhang, zhang_kept}}},
      {"zhangx", {}},
      {"zh", {{zhangwei, zhangwei_kept}, {zhang, zhang_kept}}},  // sorted by address
      {"zhangwei", {{zhangwei, zhangwei_kept}}},   // traditional characters
      {"zw", {{zhangwei, zhangwei_kept}}},
      {"zengxm", {{zeng, zeng_kept}}},             // polyphones: every reading
      {"cengxiaoming", {{zeng, zeng_kept}}},
      {"cxm", {{zeng, zeng_kept}}},
      {"stf", {{shan, shan_kept}}},
      {"dantianfang", {{shan, shan_kept}}},
      {"chantf", {{shan, shan_kept}}},
      {"yamada", {{yamada, kana_kept}}},           // romaji of a reading
      {"tarou", {{yamada, kana_kept}}},
      {"taroo", {{yamada, kana_kept}}},            // the long vowel as "oo"
      {"taro", {{yamada, kana_kept}}},             // or as "o"
      {"ishida", {{ishida, kana_kept}}},           // Hepburn
      {"isida", {{ishida, kana_kept}}},            // Kunrei
      {"lisi", {}},                                // the duplicate's name is not kept
      {"eva", {{"eva1@forms.example" + eva}, {"eva2@forms.example" + eva},
               {"eva3@forms.example" + eva}, {"eva4@forms.example" + eva}}},
      {"  zs", {{zhang}}},                         // blanks before the token
      {"zhang san", {{zhang, zhang_kept}}},        // syllables set apart
      {"zeng'x m", {{zeng, zeng_kept}}},
      {"zha ngsan", {}},                           // never inside a syllable
  };
  for (const auto& c : cases) {
    Rows want;
    for (const Expected& e : c.rows)
      if (e.when) want.push_back(e.row);
    EXPECT_EQ(Offered(0, c.token), want) << c.token;
  }

  // Tokens in the code page's own characters.
  if (GetACP() == 932) {
    EXPECT_EQ(Offered(0, "\x82\xE2\x82\xDC\x82\xBE"), Rows{yamada}) << "hiragana yamada";
    EXPECT_EQ(Offered(0, "\x83\x84\x83\x7D\x83\x5F"), Rows{yamada}) << "katakana yamada";
    EXPECT_EQ(Offered(0, "\xB2\xBC\xC0\xDE"), Rows{ishida}) << "half-width isida";
    EXPECT_EQ(Offered(0, "\x8E\x52\x93\x63"), Rows{yamada}) << "the name itself";
  }
  if (GetACP() == 936) {
    EXPECT_EQ(Offered(0, "\xD5\xC5"), Rows{zhang}) << "the name itself";
    EXPECT_EQ(Offered(0, "\xA4\xE4\xA4\xDE\xA4\xC0"), Rows{yamada}) << "hiragana yamada";
  }
  vantrel_host::HostSendMail(compose);
}

// Ranking by use and deleting suggestions, in the name mode: the plug-in's
// own code in this program, the stand-in host's compose windows, the store
// in the test's data folder under this program's name.
namespace {
int WINAPI SendHook(HWND compose, LPARAM) { return vantrel::OutgoingMessage(compose); }

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The store's addresses with their counts, rounded (uses a few seconds old
// have barely decayed).
std::map<std::string, std::string> StoreContents(const std::string& path, bool* sound) {
  vantrel::UsageBook book;
  *sound = vantrel::ParseUsageStore(ReadBytes(path), &book) == vantrel::UsageStoreState::kRead;
  std::map<std::string, std::string> out;
  for (const auto& [key, e] : book.entries()) {
    out[key] = std::to_string(static_cast<long>(e.score + 0.5)) + (e.hidden ? " hidden" : "");
  }
  return out;
}
}  // namespace

class UsageTest : public NameModeTest {
 protected:
  void SetUp() override {
    NameModeTest::SetUp();
    vantrel::UsageRecord.Reset();
  }
  void TearDown() override {
    NameModeTest::TearDown();
    vantrel::UsageRecord.Reset();
  }
  void Start(bool names) {
    vantrel::TheApp.settings().SetInt("Setup", "MatchNames", names ? 1 : 0);
    ASSERT_EQ(vantrel::MenuInit(menu_, 0), 0);
    compose_ = OpenWithSendHook(nullptr);
  }
  static HWND OpenWithSendHook(const char* recipients) {
    const vantrel_host::PluginCallbacks hooks = {OpenHook, KeyHook, SendHook};
    return vantrel_host::OpenHostComposeWindow(hooks, recipients);
  }
  // A message to `recipients`, as the host's own field holds them (a reply)
  // and the plug-in's field shows them, sent at once.
  static void Send(const char* recipients) {
    vantrel_host::HostSendMail(OpenWithSendHook(recipients));
  }
  // The addresses the first field offers for `text`.
  static std::vector<std::string> Offers(const std::string& text) {
    std::vector<std::string> rows;
    for (const std::string& row : Offered(0, text)) rows.push_back(row.substr(0, row.find('|')));
    return rows;
  }
  vantrel::CCompletionEdit& Field() { return *vantrel::ComposeSlots[0].edit; }
  // Writes `text` into the first field as its whole text (the caret at its
  // start: the token is the whole run) and leaves the pop-up open.
  void Type(const std::string& text) {
    SetFocus(Field().hwnd());
    SetWindowTextA(Field().hwnd(), text.c_str());
  }
  void Key(int vk) { SendMessageA(Field().hwnd(), WM_KEYDOWN, static_cast<WPARAM>(vk), 0); }
  std::string FieldText() {
    char text[256] = {};
    GetWindowTextA(Field().hwnd(), text, sizeof text);
    return text;
  }
  std::vector<std::string> Shown() {
    std::vector<std::string> rows;
    const vantrel::CSuggestList& list = Field().list();
    if (!IsWindowVisible(list.hwnd())) return rows;
    for (size_t r = 0; r < list.MatchCount(); ++r) rows.push_back(list.MatchAt(r));
    return rows;
  }
  std::string StorePath() const { return data_.root / (vantrel::TheApp.name() + ".usage"); }

  HWND compose_ = nullptr;
};

using Rows = std::vector<std::string>;

TEST_F(UsageTest, SendsChangeTheOrderAndTheStoreKeepsIt) {
  Start(true);
  const Rows plain = {"eva1@forms.example", "eva2@forms.example", "eva3@forms.example",
                      "eva4@forms.example"};
  EXPECT_EQ(Offers("eva"), plain);
  EXPECT_FALSE(FileExists(StorePath())) << "nothing is written before a send";
  const struct {
    const char* recipients;
    Rows want;
  } steps[] = {
      {"Eva <EVA3@forms.example>, eva4@forms.example",
       {"eva3@forms.example", "eva4@forms.example", "eva1@forms.example", "eva2@forms.example"}},
      {"eva4@forms.example",
       {"eva4@forms.example", "eva3@forms.example", "eva1@forms.example", "eva2@forms.example"}},
      // Twice in one message is one use; an address in no book counts but
      // shows nowhere.
      {"eva3@forms.example, eva3@forms.example, nobody@example.org",
       {"eva3@forms.example", "eva4@forms.example", "eva1@forms.example", "eva2@forms.example"}},
  };
  for (const auto& step : steps) {
    Send(step.recipients);
    EXPECT_EQ(Offers("eva"), step.want) << "after sending to " << step.recipients;
  }
  // Ranking applies to every way a row matches: by name too.
  EXPECT_EQ(Offers("eva f"), steps[2].want);
  bool sound = false;
  EXPECT_EQ(StoreContents(StorePath(), &sound),
            (std::map<std::string, std::string>{{"EVA3@FORMS.EXAMPLE", "2"},
                                                {"EVA4@FORMS.EXAMPLE", "2"},
                                                {"NOBODY@EXAMPLE.ORG", "1"}}));
  EXPECT_TRUE(sound);
  // A new session reads the order back from the store.
  vantrel::UsageRecord.Reset();
  EXPECT_EQ(Offers("eva"), steps[2].want);
  vantrel_host::HostSendMail(compose_);
}

TEST_F(UsageTest, DeleteHidesTheHighlightedSuggestionUntilASendToIt) {
  Start(true);
  Send("eva4@forms.example");
  Type("eva");
  EXPECT_EQ(Shown(), (Rows{"eva4@forms.example", "eva1@forms.example", "eva2@forms.example",
                           "eva3@forms.example"}));
  // Down highlights the first row and writes it into the field; Delete takes
  // it out of the list at once and gives the field the typed token back.
  Key(VK_DOWN);
  EXPECT_EQ(FieldText(), "eva4@forms.example");
  Key(VK_DELETE);
  EXPECT_EQ(FieldText(), "eva");
  EXPECT_EQ(Shown(), (Rows{"eva1@forms.example", "eva2@forms.example", "eva3@forms.example"}));
  EXPECT_EQ(Field().list().selectedIndex(), -1) << "no row is highlighted after it";
  // With no row highlighted, Delete is the field's own: it deletes the
  // character after the caret, and nothing is hidden.
  SendMessageA(Field().hwnd(), EM_SETSEL, 0, 0);
  Key(VK_DELETE);
  EXPECT_EQ(FieldText(), "va");
  // Two rows on, then Delete again: a hidden address stays hidden in later
  // matches and new sessions.
  Type("eva");
  EXPECT_EQ(Shown(), (Rows{"eva1@forms.example", "eva2@forms.example", "eva3@forms.example"}));
  Key(VK_DOWN);
  Key(VK_DOWN);
  EXPECT_EQ(FieldText(), "eva2@forms.example");
  Key(VK_DELETE);
  EXPECT_EQ(Shown(), (Rows{"eva1@forms.example", "eva3@forms.example"}));
  EXPECT_EQ(Offers("eva"), (Rows{"eva1@forms.example", "eva3@forms.example"}));
  bool sound = false;
  EXPECT_EQ(StoreContents(StorePath(), &sound),
            (std::map<std::string, std::string>{{"EVA2@FORMS.EXAMPLE", "0 hidden"},
                                                {"EVA4@FORMS.EXAMPLE", "1 hidden"}}))
      << "each deletion is written at once";
  vantrel::UsageRecord.Reset();
  EXPECT_EQ(Offers("eva"), (Rows{"eva1@forms.example", "eva3@forms.example"}));
  // Typed in full and sent: offered again, and first.
  Send("EVA4@forms.example");
  EXPECT_EQ(Offers("eva"), (Rows{"eva4@forms.example", "eva1@forms.example", "eva3@forms.example"}));
  // Shift+Delete does the same (the field's own would cut the text).
  Type("eva");
  Key(VK_DOWN);
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_SHIFT] = 0x80;
  SetKeyboardState(keys);
  Key(VK_DELETE);
  keys[VK_SHIFT] = 0;
  SetKeyboardState(keys);
  EXPECT_EQ(FieldText(), "eva");
  EXPECT_EQ(Shown(), (Rows{"eva1@forms.example", "eva3@forms.example"}));
  vantrel_host::HostSendMail(compose_);
}

TEST_F(UsageTest, WithTheModeOffNothingIsCountedReadOrWritten) {
  // A store from an earlier session in the mode: it must not reorder the
  // plain list, and a send must not touch it.
  vantrel::UsageBook earlier;
  earlier.RecordUse("BO@EXAMPLE.NET", 1700000000);
  const std::string bytes = vantrel::SerializeUsageStore(earlier);
  WriteBytes(StorePath(), bytes);
  Start(false);
  const Rows plain = {"al@example.org", "ann@example.org"};
  EXPECT_EQ(Offers("a"), plain);
  Send("ann@example.org");
  EXPECT_EQ(Offers("a"), plain);
  EXPECT_EQ(ReadBytes(StorePath()), bytes);
  Type("a");
  Key(VK_DOWN);
  EXPECT_EQ(FieldText(), "al@example.org");
  Key(VK_DELETE);
  EXPECT_EQ(FieldText(), "") << "Delete is the field's own: the selected entry goes";
  EXPECT_EQ(vantrel::UsageRecord.file(), nullptr) << "the store was never even read";
  vantrel_host::HostSendMail(compose_);
}

TEST_F(UsageTest, ABadStoreOrACrashedWriteStartsEmptyAndIsReplaced) {
  const std::string leftover = data_.root / (vantrel::TheApp.name() + ".usage.4d2.tmp");
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"garbage", "EMAIL;PREF:not a store\r\n"},
      {"truncated", vantrel::SerializeUsageStore(vantrel::UsageBook()).substr(0, 20)},
      {"hostile", std::string("VTRLUSG\x1A\x01\x00\x20\x00\xFF\xFF\xFF\xFF", 16) + std::string(64, '\xFF')},
  };
  for (const auto& c : cases) {
    WriteBytes(StorePath(), c.bytes);
    WriteBytes(leftover, "VTRLUSG");  // a write cut short, an hour ago
    HANDLE f = CreateFileA(leftover.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    ULARGE_INTEGER t = {{ft.dwLowDateTime, ft.dwHighDateTime}};
    t.QuadPart -= 3600ULL * 10000000ULL;
    ft = {t.LowPart, t.HighPart};
    SetFileTime(f, nullptr, nullptr, &ft);
    CloseHandle(f);
    vantrel::UsageRecord.Reset();
    if (!compose_) Start(true);
    EXPECT_EQ(Offers("eva"), (Rows{"eva1@forms.example", "eva2@forms.example", "eva3@forms.example",
                                 "eva4@forms.example"}))
        << c.what;
    EXPECT_FALSE(FileExists(leftover)) << c.what;
    Send("eva2@forms.example");
    bool sound = false;
    EXPECT_EQ(StoreContents(StorePath(), &sound),
              (std::map<std::string, std::string>{{"EVA2@FORMS.EXAMPLE", "1"}}))
        << c.what;
    EXPECT_TRUE(sound) << c.what;
  }
  vantrel_host::HostSendMail(compose_);
}

// Two hosts on one data folder, each with the real DLL, sending at the same
// time: the store is always one of them's whole file, never a mix. A third
// session then offers the addresses in the order the store gives.
TEST(HostSession, TwoHostsSendingAtOnceLeaveOneWholeStore) {
  DataFolder data;
  DeleteSettings("Vantrel");
  vantrel::SettingsStore("", "Vantrel").SetInt("Setup", "MatchNames", 1);
  const std::string host = "\"" + standin::ExeFolder() + "StandinHost.exe\" --data \"" +
                           data.root.path() + "\" ";
  // Few messages each: every sent message destroys a visible window, which
  // costs Wine a second or two.
  const std::string lines[2] = {host + "--send \"Ann <ann@example.org>\" --repeat 6",
                                host + "--send bo@example.net --send al@example.org --repeat 4"};
  PROCESS_INFORMATION procs[2] = {};
  for (int i = 0; i < 2; ++i) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::string line = lines[i];
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &si, &procs[i]))
        << GetLastError();
  }
  int reads = 0;
  const std::string store = data.root / "Vantrel.usage";
  HANDLE both[2] = {procs[0].hProcess, procs[1].hProcess};
  while (WaitForMultipleObjects(2, both, TRUE, 20) == WAIT_TIMEOUT && reads < 20000) {
    if (!FileExists(store)) continue;
    bool sound = false;
    StoreContents(store, &sound);
    EXPECT_TRUE(sound) << "read " << reads;
    ++reads;
  }
  for (PROCESS_INFORMATION& pi : procs) {
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 120000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  bool sound = false;
  const auto last = StoreContents(store, &sound);
  ASSERT_TRUE(sound);
  // The last writer's whole book: all 6 of the first host's sends, or all
  // 4 + 4 of the second's (with whatever it had read of the other's).
  const bool first_last = last.count("ANN@EXAMPLE.ORG") && last.at("ANN@EXAMPLE.ORG") == "6";
  const bool second_last = last.count("BO@EXAMPLE.NET") && last.at("BO@EXAMPLE.NET") == "4" &&
                           last.count("AL@EXAMPLE.ORG") && last.at("AL@EXAMPLE.ORG") == "4";
  EXPECT_TRUE(first_last || second_last) << ::testing::PrintToString(last);
  std::printf("two hosts: %d reads of the store while they sent\n", reads);

  // The next session offers by use. For "a" the rows are al and ann and the
  // cards' second addresses (found by the names Al and Ann); the ones in the
  // store come first, the more used first, the rest in address order.
  std::vector<std::pair<long, std::string>> used;
  for (const char* a : {"al@example.org", "ann@example.org"}) {
    std::string key = a;
    for (char& ch : key) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    if (last.count(key)) used.emplace_back(-std::stol(last.at(key)), a);
  }
  std::stable_sort(used.begin(), used.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  std::string want = "offered 4 addresses:\r\n";
  for (const auto& u : used) want += "  " + u.second + "\r\n";
  for (const char* a : {"al@example.org", "ann@example.org", "other-al@example.org",
                        "other-ann@example.org"}) {
    bool in_used = false;
    for (const auto& u : used) in_used = in_used || u.second == a;
    if (!in_used) want += std::string("  ") + a + "\r\n";
  }
  std::string output;
  EXPECT_EQ(RunProgram(host + "--demo --token a", &output), 0u) << output;
  EXPECT_NE(output.find(want), std::string::npos) << want << "\n---\n" << output;
  DeleteSettings("Vantrel");
}

// CHostApi: the host mail client's entry points, looked up by name in the
// host's executable once at load.
//
// Binding succeeds as a whole or leaves the record unbound; an unbound record
// makes the plug-in refuse to load. Only three entry points are ever called
// (GetVersion, GetDataFolder, RegisterCommand); the others are looked up
// because their absence tells us we are not inside the host we were built
// for. This header builds without <windows.h>: the lookup is passed in, so the
// binding order and the version gate are unit-tested natively.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
#define VANTREL_WINAPI __stdcall
#else
#define VANTREL_WINAPI
#endif

namespace vantrel {

// What binding needs from the platform: the host module, lookup by name, and
// the string functions whose exact semantics the version gate depends on.
class HostLookup {
 public:
  virtual ~HostLookup() = default;
  virtual void* HostModule() const = 0;
  virtual void* Find(void* module, const char* name) const = 0;
  virtual int Length(const char* s) const = 0;
  virtual int Compare(const char* a, const char* b) const = 0;
};

struct CHostApi {
  using GetVersionFn = const char*(VANTREL_WINAPI*)();
  using GetDataFolderFn = const char*(VANTREL_WINAPI*)();
  // The command callback: two 32-bit arguments (window, lParam), ignored.
  using CommandCallback = void(VANTREL_WINAPI*)(void* wnd, std::intptr_t lparam);
  using RegisterCommandFn = int(VANTREL_WINAPI*)(const char* text, int type,
                                                 CommandCallback callback);

  // Entry points in the host's own order; each holds what the lookup returned.
  void* BKA_GetVersion = nullptr;
  void* BKA_Command = nullptr;
  void* BKA_GetWindowHandles = nullptr;
  void* BKA_RegisterCommand = nullptr;
  void* BKA_RegisterUICallback = nullptr;
  void* BKA_GetDataFolder = nullptr;
  void* BKA_GetTempFolder = nullptr;
  void* BKA_GetTempFileName = nullptr;
  void* BKA_GetCurrentMailBox = nullptr;
  void* BKA_SetCurrentMailBox = nullptr;
  void* BKA_GetCurrentFolder = nullptr;
  void* BKA_SetCurrentFolder = nullptr;
  void* BKA_GetFolderDisplayName = nullptr;
  void* BKA_SetMessageText = nullptr;
  void* BKA_GetCurrentMail = nullptr;
  void* BKA_SetCurrentMail = nullptr;
  void* BKA_GetNextMail = nullptr;
  void* BKA_SetSel = nullptr;
  void* BKA_AppendMessage = nullptr;
  void* BKA_MoveSelectedMessages = nullptr;
  void* BKA_GetStatus = nullptr;
  void* BKA_SetStatus = nullptr;
  void* BKA_ComposeMail = nullptr;
  void* BKA_GetCharSet = nullptr;
  void* BKA_GetSource = nullptr;
  void* BKA_SetSource = nullptr;
  void* BKA_GetHeader = nullptr;
  void* BKA_GetText = nullptr;
  void* BKA_SetText = nullptr;
  void* BKA_GetSpecifiedHeader = nullptr;
  void* BKA_SetSpecifiedHeader = nullptr;
  void* BKA_CompGetCharSet = nullptr;
  void* BKA_CompGetSource = nullptr;
  void* BKA_CompSetSource = nullptr;
  void* BKA_CompGetHeader = nullptr;
  void* BKA_CompGetSpecifiedHeader = nullptr;
  void* BKA_CompSetSpecifiedHeader = nullptr;
  void* BKA_CompGetText = nullptr;
  void* BKA_CompSetText = nullptr;
  void* BKA_CompAttachFile = nullptr;
  void* BKA_Alloc = nullptr;
  void* BKA_ReAlloc = nullptr;
  void* BKA_Free = nullptr;
  void* BKA_ISO_2022_JP = nullptr;
  void* BKA_ISO_2022_KR = nullptr;
  void* BKA_HZ_GB2312 = nullptr;
  void* BKA_ISO_8859_2 = nullptr;
  void* BKA_EUC_JP = nullptr;
  void* BKA_UTF_7 = nullptr;
  void* BKA_UTF_8 = nullptr;
  void* BKA_B64Convert = nullptr;
  void* BKA_QPConvert = nullptr;
  void* BKA_MIMEHeader = nullptr;
  void* BKA_SerializeRcpts = nullptr;
  void* BKA_Connect = nullptr;
  void* BKA_NextUnread = nullptr;
  // Non-null exactly when bound.
  void* hostModule = nullptr;

  // Binds with the platform's lookup (GetModuleHandleA(NULL), GetProcAddress,
  // lstrlenA, lstrcmpA). Defined in the Windows build only.
  int Bind();
  // The binding itself: 1 bound, 0 not bound. A second call on a bound record
  // returns 1 without looking anything up.
  int BindWith(const HostLookup& lookup);

  bool bound() const { return hostModule != nullptr; }

  // Typed calls of the three entry points the plug-in uses; only valid on a
  // bound record.
  std::string DataFolder() const;
  int RegisterCommand(const char* text, int type, CommandCallback callback) const;
};

// The 54 names without which binding fails, in lookup order.
constexpr int kMandatoryHostFunctionCount = 54;
const char* MandatoryHostFunction(int index);

// True when a host reporting this version is older than 2.00.06 and may lack
// BKA_SetStatus: at most 7 characters and below "2.00.06" by the host's own
// string comparison (character order, not numeric: "10.0.0" is older).
bool HostVersionIsOlder(const char* version, const HostLookup& lookup);

}  // namespace vantrel

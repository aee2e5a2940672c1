#include "plugin/host_api.h"

namespace vantrel {
namespace {

struct Slot {
  const char* name;
  void* CHostApi::*field;
};

#define VANTREL_SLOT(n) {#n, &CHostApi::n}
// Mandatory entry points in lookup order: the declaration order without
// BKA_SetStatus (optional for older hosts) and BKA_NextUnread (never needed).
const Slot kMandatory[kMandatoryHostFunctionCount] = {
    VANTREL_SLOT(BKA_GetVersion), VANTREL_SLOT(BKA_Command),
    VANTREL_SLOT(BKA_GetWindowHandles), VANTREL_SLOT(BKA_RegisterCommand),
    VANTREL_SLOT(BKA_RegisterUICallback), VANTREL_SLOT(BKA_GetDataFolder),
    VANTREL_SLOT(BKA_GetTempFolder), VANTREL_SLOT(BKA_GetTempFileName),
    VANTREL_SLOT(BKA_GetCurrentMailBox), VANTREL_SLOT(BKA_SetCurrentMailBox),
    VANTREL_SLOT(BKA_GetCurrentFolder), VANTREL_SLOT(BKA_SetCurrentFolder),
    VANTREL_SLOT(BKA_GetFolderDisplayName), VANTREL_SLOT(BKA_SetMessageText),
    VANTREL_SLOT(BKA_GetCurrentMail), VANTREL_SLOT(BKA_SetCurrentMail),
    VANTREL_SLOT(BKA_GetNextMail), VANTREL_SLOT(BKA_SetSel),
    VANTREL_SLOT(BKA_AppendMessage), VANTREL_SLOT(BKA_MoveSelectedMessages),
    VANTREL_SLOT(BKA_GetStatus), VANTREL_SLOT(BKA_ComposeMail),
    VANTREL_SLOT(BKA_GetCharSet), VANTREL_SLOT(BKA_GetSource),
    VANTREL_SLOT(BKA_SetSource), VANTREL_SLOT(BKA_GetHeader),
    VANTREL_SLOT(BKA_GetText), VANTREL_SLOT(BKA_SetText),
    VANTREL_SLOT(BKA_GetSpecifiedHeader), VANTREL_SLOT(BKA_SetSpecifiedHeader),
    VANTREL_SLOT(BKA_CompGetCharSet), VANTREL_SLOT(BKA_CompGetSource),
    VANTREL_SLOT(BKA_CompSetSource), VANTREL_SLOT(BKA_CompGetHeader),
    VANTREL_SLOT(BKA_CompGetSpecifiedHeader), VANTREL_SLOT(BKA_CompSetSpecifiedHeader),
    VANTREL_SLOT(BKA_CompGetText), VANTREL_SLOT(BKA_CompSetText),
    VANTREL_SLOT(BKA_CompAttachFile), VANTREL_SLOT(BKA_Alloc),
    VANTREL_SLOT(BKA_ReAlloc), VANTREL_SLOT(BKA_Free),
    VANTREL_SLOT(BKA_ISO_2022_JP), VANTREL_SLOT(BKA_ISO_2022_KR),
    VANTREL_SLOT(BKA_HZ_GB2312), VANTREL_SLOT(BKA_ISO_8859_2),
    VANTREL_SLOT(BKA_EUC_JP), VANTREL_SLOT(BKA_UTF_7),
    VANTREL_SLOT(BKA_UTF_8), VANTREL_SLOT(BKA_B64Convert),
    VANTREL_SLOT(BKA_QPConvert), VANTREL_SLOT(BKA_MIMEHeader),
    VANTREL_SLOT(BKA_SerializeRcpts), VANTREL_SLOT(BKA_Connect),
};
#undef VANTREL_SLOT

const char kGateVersion[] = "2.00.06";

}  // namespace

const char* MandatoryHostFunction(int index) {
  return index >= 0 && index < kMandatoryHostFunctionCount ? kMandatory[index].name : nullptr;
}

bool HostVersionIsOlder(const char* version, const HostLookup& lookup) {
  return lookup.Length(version) <= 7 && lookup.Compare(version, kGateVersion) < 0;
}

int CHostApi::BindWith(const HostLookup& lookup) {
  if (hostModule) return 1;
  hostModule = lookup.HostModule();
  if (!hostModule) return 0;

  for (const Slot& slot : kMandatory) {
    void* entry = lookup.Find(hostModule, slot.name);
    this->*slot.field = entry;
    if (!entry) {
      hostModule = nullptr;
      return 0;
    }
  }
  BKA_SetStatus = lookup.Find(hostModule, "BKA_SetStatus");
  BKA_NextUnread = lookup.Find(hostModule, "BKA_NextUnread");

  const char* version = reinterpret_cast<GetVersionFn>(BKA_GetVersion)();
  // A host that returns no version string cannot be placed before the gate;
  // treat it as current, which demands BKA_SetStatus.
  if (version && HostVersionIsOlder(version, lookup)) return 1;
  if (!BKA_SetStatus) {
    hostModule = nullptr;
    return 0;
  }
  return 1;
}

std::string CHostApi::DataFolder() const {
  // Unbound (a program that links the plug-in's code without a host, as the
  // compose tests do): no folder rather than a call to address 0.
  if (!BKA_GetDataFolder) return std::string();
  const char* folder = reinterpret_cast<GetDataFolderFn>(BKA_GetDataFolder)();
  return folder ? std::string(folder) : std::string();
}

int CHostApi::RegisterCommand(const char* text, int type, CommandCallback callback) const {
  return reinterpret_cast<RegisterCommandFn>(BKA_RegisterCommand)(text, type, callback);
}

}  // namespace vantrel

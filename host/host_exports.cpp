// Every BKA_* function of the mail client's plug-in interface, exported by
// name from the executable, as the real client does: the plug-in looks them
// up with GetProcAddress(GetModuleHandle(NULL), ...). Three of them are
// called by the plug-in and answer from HostState; the rest are harmless
// stubs that only need to exist.
//
// Variants for load tests leave one out:
//   VANTREL_HOST_NO_CONNECT    no BKA_Connect (a mandatory function)
//   VANTREL_HOST_NO_SETSTATUS  no BKA_SetStatus (required from 2.00.06 on)
#include "host_state.h"

namespace standin {

HostState& Host() {
  static HostState state;
  return state;
}

const RegisteredCommand* FindCommand(int id) {
  for (const RegisteredCommand& command : Host().commands) {
    if (command.id == id) return &command;
  }
  return nullptr;
}

}  // namespace standin

#define HOST_EXPORT extern "C" __declspec(dllexport)
#define HOST_STUB(name) \
  HOST_EXPORT int WINAPI name() { return 0; }

HOST_EXPORT LPCSTR WINAPI BKA_GetVersion() {
  ++standin::Host().versionCalls;
  return standin::Host().version.c_str();
}

HOST_EXPORT LPCSTR WINAPI BKA_GetDataFolder() {
  ++standin::Host().dataFolderCalls;
  return standin::Host().dataFolder.c_str();
}

HOST_EXPORT int WINAPI BKA_RegisterCommand(LPCSTR text, int type, standin::CommandCallback callback) {
  standin::HostState& host = standin::Host();
  standin::RegisteredCommand command;
  command.text = text ? text : "";
  command.type = type;
  command.callback = callback;
  command.id = host.nextCommandId++;
  host.commands.push_back(command);
  return command.id;
}

// Stubs. The plug-in never calls them; argument lists do not matter for a
// function nobody calls, and taking none keeps their stdcall names plain.
HOST_STUB(BKA_Command)
HOST_STUB(BKA_GetWindowHandles)
HOST_STUB(BKA_RegisterUICallback)
HOST_STUB(BKA_GetTempFolder)
HOST_STUB(BKA_GetTempFileName)
HOST_STUB(BKA_GetCurrentMailBox)
HOST_STUB(BKA_SetCurrentMailBox)
HOST_STUB(BKA_GetCurrentFolder)
HOST_STUB(BKA_SetCurrentFolder)
HOST_STUB(BKA_GetFolderDisplayName)
HOST_STUB(BKA_SetMessageText)
HOST_STUB(BKA_GetCurrentMail)
HOST_STUB(BKA_SetCurrentMail)
HOST_STUB(BKA_GetNextMail)
HOST_STUB(BKA_SetSel)
HOST_STUB(BKA_AppendMessage)
HOST_STUB(BKA_MoveSelectedMessages)
HOST_STUB(BKA_GetStatus)
#ifndef VANTREL_HOST_NO_SETSTATUS
HOST_STUB(BKA_SetStatus)
#endif
HOST_STUB(BKA_ComposeMail)
HOST_STUB(BKA_GetCharSet)
HOST_STUB(BKA_GetSource)
HOST_STUB(BKA_SetSource)
HOST_STUB(BKA_GetHeader)
HOST_STUB(BKA_GetText)
HOST_STUB(BKA_SetText)
HOST_STUB(BKA_GetSpecifiedHeader)
HOST_STUB(BKA_SetSpecifiedHeader)
HOST_STUB(BKA_CompGetCharSet)
HOST_STUB(BKA_CompGetSource)
HOST_STUB(BKA_CompSetSource)
HOST_STUB(BKA_CompGetHeader)
HOST_STUB(BKA_CompGetSpecifiedHeader)
HOST_STUB(BKA_CompSetSpecifiedHeader)
HOST_STUB(BKA_CompGetText)
HOST_STUB(BKA_CompSetText)
HOST_STUB(BKA_CompAttachFile)
HOST_STUB(BKA_Alloc)
HOST_STUB(BKA_ReAlloc)
HOST_STUB(BKA_Free)
HOST_STUB(BKA_ISO_2022_JP)
HOST_STUB(BKA_ISO_2022_KR)
HOST_STUB(BKA_HZ_GB2312)
HOST_STUB(BKA_ISO_8859_2)
HOST_STUB(BKA_EUC_JP)
HOST_STUB(BKA_UTF_7)
HOST_STUB(BKA_UTF_8)
HOST_STUB(BKA_B64Convert)
HOST_STUB(BKA_QPConvert)
HOST_STUB(BKA_MIMEHeader)
HOST_STUB(BKA_SerializeRcpts)
#ifndef VANTREL_HOST_NO_CONNECT
HOST_STUB(BKA_Connect)
#endif
HOST_STUB(BKA_NextUnread)

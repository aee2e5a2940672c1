// The plug-in's process-wide objects. They are defined in one file
// (globals.cpp) so that their construction order is the declaration order
// there, and their destruction the reverse: the watcher outlives the handler
// it calls (and is still there to stop the handler's watches), and the usage
// record outlives the compose slots, whose fields point to it. The slots go
// after the address list: each field holds its own reference to the index it
// was given, none into the list.
//
// All of them are used on the host's user-interface thread only, except the
// watcher, which guards its own state against its worker thread.
#pragma once

#include <windows.h>

#include <string>

#include "compose/compose_hook.h"
#include "platform/handles.h"
#include "plugin/address_list.h"
#include "plugin/host_api.h"
#include "plugin/plugin_app.h"
#include "plugin/rebuild.h"
#include "plugin/usage.h"
#include "watch/addrbook_handler.h"
#include "watch/dir_watcher.h"

namespace vantrel {

extern CPluginApp TheApp;
extern CHostApi HostApi;
// The font of every completion field; null until initialisation (or if the
// font could not be created).
extern UniqueFont FieldFont;
extern CDirWatcher DirWatcher;
// A global with its first reference held by itself; each running watch holds
// one more, so it never deletes itself. Being a global, it is destroyed
// whatever its count: a file-local object defined right after it in
// globals.cpp stops its watches on DirWatcher first.
extern AddrBookHandler TheAddrBookHandler;
// Before the compose slots: every field in the name mode points to it.
extern CUsage UsageRecord;
// ComposeSlots (compose/compose_hook.h) is defined here too, in this order.
extern CAddressList AddressList;

// The address-book folder: the host's data folder followed by "AddrBook\".
std::string AddressBookFolder();

}  // namespace vantrel

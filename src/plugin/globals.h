// The plug-in's process-wide objects. They are defined in one file
// (globals.cpp) so that their construction order is the declaration order
// there, and their destruction the reverse: the watcher outlives the handler
// it calls, and the compose slots (which own completion fields) go before
// the address list they were filled from.
//
// All of them are used on the host's user-interface thread only, except the
// watcher, which guards its own state against its worker thread.
#pragma once

#include <windows.h>

#include "compose/compose_hook.h"
#include "platform/handles.h"
#include "plugin/address_list.h"
#include "plugin/host_api.h"

namespace vantrel {

extern CHostApi HostApi;
// The font of every completion field; null until initialisation (or if the
// font could not be created).
extern UniqueFont FieldFont;
extern ComposeSlotArray ComposeSlots;
extern CAddressList AddressList;

// The address-book folder: the host's data folder followed by "AddrBook\".
std::string AddressBookFolder();

}  // namespace vantrel

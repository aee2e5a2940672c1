#include "plugin/globals.h"

#include "watch/change_filter.h"

namespace vantrel {

// Construction order matters; see globals.h.
CPluginApp TheApp;
CHostApi HostApi;
UniqueFont FieldFont;
// Notifications are delivered on the user-interface thread through the hidden
// window; only the file name is matched against "*.bab".
CDirWatcher DirWatcher(true, FF_NAME_ONLY);
AddrBookHandler TheAddrBookHandler;
CUsage UsageRecord;
ComposeSlotArray ComposeSlots;
CAddressList AddressList(&UsageRecord);

std::string AddressBookFolder() { return HostApi.DataFolder() + "AddrBook\\"; }

}  // namespace vantrel

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
AddrBookHandler TheAddrBookHandler(&RebuildAddressList);
CUsage UsageRecord;
ComposeSlotArray ComposeSlots;
CAddressList AddressList(&UsageRecord);

namespace {

HFONT TheFieldFont() { return FieldFont.get(); }
void FillFromAddressList(CCompletionEdit* field) { AddressList.FillField(field); }

// Before any compose window can open: the globals are built at load.
const bool kComposeFieldsSetUp = [] {
  SetComposeFieldSetup({&TheFieldFont, &FillFromAddressList});
  return true;
}();

}  // namespace

std::string AddressBookFolder() { return HostApi.DataFolder() + "AddrBook\\"; }

}  // namespace vantrel

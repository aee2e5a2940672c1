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
namespace {
// Destroyed just before the handler, and so while the watcher still exists:
// the handler must not go while a watch targets it (change_handler.h). At
// process exit the stop returns at once, and the watcher leaks its watches.
struct StopsTheHandlersWatches {
  ~StopsTheHandlersWatches() { DirWatcher.StopWatchForHandler(&TheAddrBookHandler); }
} stops_the_handlers_watches;
}  // namespace
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

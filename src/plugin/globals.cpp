#include "plugin/globals.h"

namespace vantrel {

// Construction order matters; see globals.h.
CHostApi HostApi;
UniqueFont FieldFont;
ComposeSlotArray ComposeSlots;
CAddressList AddressList;

std::string AddressBookFolder() { return HostApi.DataFolder() + "AddrBook\\"; }

}  // namespace vantrel

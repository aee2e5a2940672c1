// Finding the host's address-book files and reading the preferred e-mail
// address out of each of them (Windows side: directory enumeration and file
// reading; the byte rules live in address_parser.h and build natively).
#pragma once

#include <string>
#include <vector>

#include "addrbook/named_address.h"

namespace vantrel {

using PathList = std::vector<std::string>;

// Appends, in a pre-order walk of folder and its subfolders, the lower-cased
// full path of every file whose lower-cased path contains ".bab".
void ScanAddressBooks(std::string folder, PathList& paths);

// Appends the address of every "EMAIL;PREF" line of every listed file, files
// in list order, lines in file order. Unreadable files contribute nothing.
// Returns how many files another program kept from being read (open without
// sharing, locked, access refused): a reading with such files missed them
// only for a while, and is worth repeating.
size_t ParseAddressBooks(const PathList& paths, std::vector<std::string>& addresses);

// The same, and in the same one reading of each file, the name mode's rows
// of every card (see card_parser.h), handed to `rows` one by one, in
// reading order. The cards are read on a second thread while this one reads
// the files (card_reading_thread.h): `rows` is called there, never after the
// call returned, and must not need this thread. `addresses` gets exactly
// what the call above gives it, and the result is the same count.
size_t ParseAddressBooks(const PathList& paths, std::vector<std::string>& addresses,
                         NamedAddressSink& rows);

// The same with the rows appended to *rows; with rows null, only the call
// above.
size_t ParseAddressBooks(const PathList& paths, std::vector<std::string>& addresses,
                         std::vector<NamedAddress>* rows);

}  // namespace vantrel

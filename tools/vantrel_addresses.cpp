// VantrelAddresses.exe: prints what the plug-in reads from an address-book
// folder, with the plug-in's own code, so a user or a test can see exactly
// which addresses the completion field will offer.
//
//   VantrelAddresses.exe <address-book folder>          the addresses
//   VantrelAddresses.exe --paths <address-book folder>  the files read
//
// One item per line, each followed by "\n", byte for byte in the ANSI code
// page (stdout is switched to binary so nothing is translated), in reading
// order. Exit code 0; 1 if the folder does not exist; 2 on bad arguments.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "addrbook/address_books.h"

namespace {

int Usage() {
  std::fputs(
      "usage: VantrelAddresses.exe [--paths] <address-book folder>\n"
      "  prints the addresses the plug-in reads from the folder, one per line;\n"
      "  with --paths, the address-book files it reads instead.\n",
      stderr);
  return 2;
}

bool WriteLines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size()) return false;
    if (std::fputc('\n', stdout) == EOF) return false;
  }
  return std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  bool paths_only = false;
  const char* folder = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--paths") == 0 && !paths_only) {
      paths_only = true;
    } else if (argv[i][0] == '-' || folder) {
      return Usage();
    } else {
      folder = argv[i];
    }
  }
  if (!folder || !*folder) return Usage();

  const DWORD attributes = ::GetFileAttributesA(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    std::fprintf(stderr, "VantrelAddresses: no such folder: %s\n", folder);
    return 1;
  }

  _setmode(_fileno(stdout), _O_BINARY);
  vantrel::PathList paths;
  vantrel::ScanAddressBooks(folder, paths);
  if (paths_only) return WriteLines(paths) ? 0 : 1;
  std::vector<std::string> addresses;
  vantrel::ParseAddressBooks(paths, addresses);
  return WriteLines(addresses) ? 0 : 1;
}

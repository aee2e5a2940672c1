// The stand-in host's side of the plug-in interface: the state its exported
// BKA_* functions answer from. Tests and the host program set it before they
// load the plug-in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace standin {

using CommandCallback = void(WINAPI*)(HWND, LPARAM);

struct RegisteredCommand {
  std::string text;
  int type = 0;
  CommandCallback callback = nullptr;
  int id = 0;
};

struct HostState {
  std::string version = "2.75.02";
  std::string dataFolder;  // ends with a backslash
  std::vector<RegisteredCommand> commands;
  int nextCommandId = 40100;
  // How often each called host function was called (tests look).
  int versionCalls = 0;
  int dataFolderCalls = 0;
};

HostState& Host();

// Finds the command registered under id; null if none.
const RegisteredCommand* FindCommand(int id);

}  // namespace standin

#include "plugin/match_names.h"

#include "platform/module_call.h"
#include "plugin/globals.h"
#include "plugin/rebuild.h"

namespace vantrel {
namespace {

constexpr char kSection[] = "Setup";
constexpr char kValue[] = "MatchNames";

// "按姓名和拼音查找地址" in GBK.
constexpr char kText936[] =
    "\xB0\xB4\xD0\xD5\xC3\xFB\xBA\xCD\xC6\xB4\xD2\xF4\xB2\xE9\xD5\xD2\xB5\xD8\xD6\xB7";
// "名前と読みでも検索" in Shift-JIS.
constexpr char kText932[] =
    "\x96\xBC\x91\x4F\x82\xC6\x93\xC7\x82\xDD\x82\xC5\x82\xE0\x8C\x9F\x8D\xF5";
constexpr char kTextOther[] = "Find addresses by name too";

// "按姓名和拼音查找地址：输入姓名、昵称、拼音或读音也能找到地址" in GBK.
constexpr char kAbout936[] =
    "\xB0\xB4\xD0\xD5\xC3\xFB\xBA\xCD\xC6\xB4\xD2\xF4\xB2\xE9\xD5\xD2\xB5\xD8\xD6\xB7\xA3\xBA"
    "\xCA\xE4\xC8\xEB\xD0\xD5\xC3\xFB\xA1\xA2\xEA\xC7\xB3\xC6\xA1\xA2\xC6\xB4\xD2\xF4\xBB\xF2"
    "\xB6\xC1\xD2\xF4\xD2\xB2\xC4\xDC\xD5\xD2\xB5\xBD\xB5\xD8\xD6\xB7";
// "名前と読みでも検索：名前、ニックネーム、読み（かな・ローマ字）でもアドレスを探します"
// in Shift-JIS.
constexpr char kAbout932[] =
    "\x96\xBC\x91\x4F\x82\xC6\x93\xC7\x82\xDD\x82\xC5\x82\xE0\x8C\x9F\x8D\xF5\x81\x46"
    "\x96\xBC\x91\x4F\x81\x41\x83\x6A\x83\x62\x83\x4E\x83\x6C\x81\x5B\x83\x80\x81\x41"
    "\x93\xC7\x82\xDD\x81\x69\x82\xA9\x82\xC8\x81\x45\x83\x8D\x81\x5B\x83\x7D\x8E\x9A\x81\x6A"
    "\x82\xC5\x82\xE0\x83\x41\x83\x68\x83\x8C\x83\x58\x82\xF0\x92\x54\x82\xB5\x82\xDC\x82\xB7";
constexpr char kAboutOther[] =
    "Find addresses by name too: a name, nickname, pinyin or reading finds the address";

HMENU matchNamesSubmenu = nullptr;
int matchNamesCommandId = 0;

void ShowCheckMark(bool on) {
  CheckMenuItem(matchNamesSubmenu, static_cast<UINT>(matchNamesCommandId),
                MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

}  // namespace

const char* MatchNamesCommandText() {
  switch (GetACP()) {
    case 936:
      return kText936;
    case 932:
      return kText932;
    default:
      return kTextOther;
  }
}

const char* MatchNamesAboutLine() {
  switch (GetACP()) {
    case 936:
      return kAbout936;
    case 932:
      return kAbout932;
    default:
      return kAboutOther;
  }
}

bool MatchNamesSetting() { return TheApp.settings().GetInt(kSection, kValue, 0) != 0; }

HMENU MatchNamesSubmenu() { return matchNamesSubmenu; }
int MatchNamesCommandId() { return matchNamesCommandId; }

void SetUpMatchNamesCommand(HMENU menu) {
  HMENU submenu = GetSubMenu(menu, 4);
  const char* text = MatchNamesCommandText();
  const int id = HostApi.RegisterCommand(text, 0, &OnToggleMatchNames);
  matchNamesCommandId = id;
  matchNamesSubmenu = submenu;
  AppendMenuA(submenu, MF_STRING, static_cast<UINT_PTR>(id), text);
  ShowCheckMark(AddressList.matchNames());
}

void __stdcall OnToggleMatchNames(void*, std::intptr_t) {
  // Called by the host: nothing thrown may reach it.
  GuardedCall(0, [] {
    const bool on = !MatchNamesSetting();
    TheApp.settings().SetInt(kSection, kValue, on ? 1 : 0);
    AddressList.SetMatchNames(on);
    if (on && !AddressList.HasNames()) {
      // The books were read without their names: one reading with them,
      // which also gives every open field the name index.
      RebuildAddressList();
    } else {
      // The names are at hand (or not needed): every open field switches
      // now. By index, as the rebuild does: the array only changes on this
      // thread.
      for (size_t i = 0; i < ComposeSlots.size(); ++i) {
        if (ComposeSlots[i].edit) AddressList.FillField(ComposeSlots[i].edit.get());
      }
    }
    ShowCheckMark(AddressList.matchNames());
    return 0;
  });
}

}  // namespace vantrel

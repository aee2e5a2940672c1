#include "plugin/usage.h"


#include "complete/recipients.h"
#include "compose/compose_hook.h"
#include "platform/files.h"
#include "plugin/globals.h"

namespace vantrel {

void CUsage::Load() {
  if (loaded_) return;
  loaded_ = true;
  // Keys are upper-cased as the name index's are, so that a use and a row
  // meet whatever the letter case of either.
  folder_ = std::make_unique<AnsiUpperFolder>();
  file_ = std::make_unique<UsageFile>(HostApi.DataFolder(), TheApp.name());
  file_->Load(&book_);
}

const std::string& CUsage::Key(std::string_view address) {
  folder_->Fold(address, &key_);
  return key_;
}

void CUsage::Save() {
  // A store that cannot be written (a read-only folder, a full disk, a
  // newer version's) leaves the book in memory for the session.
  file_->Save(book_);
}

const UsageBook& CUsage::Book() {
  Load();
  return book_;
}

void CUsage::Hide(std::string_view address) {
  Load();
  book_.Hide(Key(address));
  Save();
}

void CUsage::RecordSend(std::string_view recipients) {
  if (SplitRecipients(recipients).empty()) return;
  Load();
  CountRecipients(
      recipients, [this](std::string_view address, std::string* key) { folder_->Fold(address, key); },
      UnixTimeNow(), &book_);
  Save();
}

void CUsage::Reset() {
  loaded_ = false;
  book_ = UsageBook();
  file_.reset();
}

// The About text's line on the record of use, in the system's language:
// what is kept, where, and how to clear it.
std::string UsageAboutLine() {
  const std::string file = TheApp.name() + ".usage";
  switch (GetACP()) {
    case 936:
      // 此模式下常用的地址排在前面，按 Delete 键可隐藏建议；记录保存在数据文件夹的
      // <file> 中，删除该文件即可清除
      return "\xB4\xCB\xC4\xA3\xCA\xBD\xCF\xC2\xB3\xA3\xD3\xC3\xB5\xC4\xB5\xD8\xD6\xB7\xC5\xC5"
             "\xD4\xDA\xC7\xB0\xC3\xE6\xA3\xAC\xB0\xB4 Delete \xBC\xFC\xBF\xC9\xD2\xFE\xB2\xD8"
             "\xBD\xA8\xD2\xE9\xA3\xBB\xBC\xC7\xC2\xBC\xB1\xA3\xB4\xE6\xD4\xDA\xCA\xFD\xBE\xDD"
             "\xCE\xC4\xBC\xFE\xBC\xD0\xB5\xC4 " +
             file +
             " \xD6\xD0\xA3\xAC\xC9\xBE\xB3\xFD\xB8\xC3\xCE\xC4\xBC\xFE\xBC\xB4\xBF\xC9\xC7\xE5"
             "\xB3\xFD";
    case 932:
      // このモードではよく使うアドレスが先に出ます。Delete キーで候補を隠せます。
      // 記録はデータフォルダーの <file> にあり、削除すると消えます
      return "\x82\xB1\x82\xCC\x83\x82\x81\x5B\x83\x68\x82\xC5\x82\xCD\x82\xE6\x82\xAD\x8E\x67"
             "\x82\xA4\x83\x41\x83\x68\x83\x8C\x83\x58\x82\xAA\x90\xE6\x82\xC9\x8F\x6F\x82\xDC"
             "\x82\xB7\x81\x42" "Delete \x83\x4C\x81\x5B\x82\xC5\x8C\xF3\x95\xE2\x82\xF0\x89\x42"
             "\x82\xB9\x82\xDC\x82\xB7\x81\x42\x8B\x4C\x98\x5E\x82\xCD\x83\x66\x81\x5B\x83\x5E"
             "\x83\x74\x83\x48\x83\x8B\x83\x5F\x81\x5B\x82\xCC " +
             file +
             " \x82\xC9\x82\xA0\x82\xE8\x81\x41\x8D\xED\x8F\x9C\x82\xB7\x82\xE9\x82\xC6\x8F\xC1"
             "\x82\xA6\x82\xDC\x82\xB7";
    default:
      return "In that mode the addresses you send to most come first, and Delete hides a "
             "suggestion; the record is " +
             file + " in the data folder: delete it to clear it";
  }
}

int OutgoingMessage(HWND compose) {
  // A record that fails (out of memory) must not keep the field hooked to a
  // window that is going away: the detach below runs whatever happens here.
  try {
    if (AddressList.matchNames()) {
      const ComposeSlot* slot = FindComposeSlot(compose);
      if (slot && slot->edit && slot->edit->hwnd()) {
        HWND field = slot->edit->hwnd();
        std::string text(static_cast<size_t>(::GetWindowTextLengthA(field)) + 1, '\0');
        text.resize(static_cast<size_t>(
            std::max(0, ::GetWindowTextA(field, &text[0], static_cast<int>(text.size())))));
        UsageRecord.RecordSend(text);
      }
    }
  } catch (...) {
  }
  return Outgoing(compose);
}

}  // namespace vantrel

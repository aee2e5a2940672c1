// The compose window hook.
//
// How this works:
//  - OpenCompose finds the host's recipient field (second child of the
//    compose window's fourth child, the address container), lays a
//    CCompletionEdit over it in the container, hides the host field and
//    replaces the compose window's procedure with ComposeWndProc. The slot in
//    ComposeSlots keeps what is needed to undo that.
//  - Both fields report to the container, which hands their WM_COMMAND
//    notifications on to the compose window: ComposeWndProc gives the
//    completion field its own EN_CHANGE / EN_KILLFOCUS back and copies its
//    text into the host field; a change of the host field (the host writing
//    it, e.g. for a reply) is copied into the completion field. mirrorEnabled
//    stops the copy from bouncing back.
//  - Outgoing, or the compose window's WM_DESTROY, removes the slot, takes
//    ComposeWndProc out of the window's chain and deletes the completion
//    field. Other plug-ins subclass compose windows too: the previous
//    procedure goes back only while ComposeWndProc is on top; beneath
//    another subclass it stays as a pass-through until WM_NCDESTROY (see
//    platform/window.h), and the module is pinned, since that subclass will
//    call it for as long as the window lives.
//  - Unloading with compose windows open gives each its host field back,
//    shown and holding the recipients; at process exit nothing is deleted.
//  - Re-entrancy: forwarding a message runs host code, which may open or
//    close compose windows and so move or drop slots. Nothing here keeps a
//    slot pointer across SendMessage, SetWindowText, ShowWindow or
//    CallWindowProc: what is needed afterwards is copied first or looked up
//    again.
// Everything runs on the host's user-interface thread; nothing locks.
#include "compose/compose_hook.h"

#include <string>
#include <utility>

#include "platform/module_call.h"
#include "platform/window.h"
#include "platform/window_text.h"

namespace vantrel {
namespace {

// 0 only while WriteHostField writes: the host field's change notification
// that the write causes must not be copied back. Shared by all compose
// windows.
int mirrorEnabled = 1;

ComposeFieldSetup fieldSetup = {nullptr, nullptr};

// Remembers the previous procedure of a compose window whose slot is gone
// while another subclass sits on top of ComposeWndProc.
const char kPassThroughProp[] = "Vantrel.ComposePrevProc";

// Why a compose window is unhooked: what becomes of the host field, and
// whether the window lives on.
enum class UnhookFor { kOutgoing, kClosing, kUnloading };

// Where the completion field sits in the container's client area.
constexpr int kFieldX = 60;
constexpr int kFieldY = 4;

HWND CompletionFieldOf(const ComposeSlot& slot) {
  return slot.edit ? slot.edit->hwnd() : nullptr;
}

// The window that the host's layout puts at `hops` siblings after the first
// child of `parent`, or null when the layout is shorter.
HWND NthChild(HWND parent, int hops) {
  HWND w = ::GetWindow(parent, GW_CHILD);
  for (int i = 0; w && i < hops; ++i) w = ::GetWindow(w, GW_HWNDNEXT);
  return w;
}

// The module is going while the window stays: the host's own field is all
// the user has from now on, so it shows again, holding what ours held (the
// two are kept in step; a difference would be a lost recipient).
void GiveHostFieldBack(HWND hostField, HWND field) {
  // Read before anything runs host code, which may take the field away.
  const std::string text = WindowText(field);
  const bool hadFocus = ::GetFocus() == field;
  if (WindowText(hostField) != text) ::SetWindowTextA(hostField, text.c_str());
  ::ShowWindow(hostField, SW_SHOW);
  if (hadFocus && ::IsWindow(hostField)) ::SetFocus(hostField);
}

// Undoes the hook of one compose window. The slot leaves the array before
// the field is deleted: destroying the field sends focus and parent
// notifications, and nothing reached from them should find a slot whose
// field is half gone.
bool Unhook(HWND compose, UnhookFor why) {
  for (auto it = ComposeSlots.begin(); it != ComposeSlots.end(); ++it) {
    if (it->composeWnd != compose) continue;
    const WNDPROC prev = it->prevWndProc;
    const HWND hostField = it->hostField;
    std::unique_ptr<CCompletionEdit> edit = std::move(it->edit);
    ComposeSlots.erase(it);
    // Beneath another plug-in's subclass ComposeWndProc stays, forwarding to
    // prev. A window that lives on will call it after the host has let go of
    // this module, so the module stays mapped; a closing one only until its
    // WM_NCDESTROY, which is still to come. While unloading it is too late
    // to pin: ComposeWndProc did so when it first saw the other subclass.
    if (!RestoreWindowProc(compose, &ComposeWndProc, prev, kPassThroughProp) &&
        why == UnhookFor::kOutgoing) {
      PinThisModule();
    }
    if (why == UnhookFor::kUnloading && edit && edit->hwnd())
      GiveHostFieldBack(hostField, edit->hwnd());
    edit.reset();
    return true;
  }
  return false;
}

// The completion field changed or lost the focus: let it handle its own
// notification, then copy its whole text into the host field, from which the
// host takes the recipients.
void OnFieldNotify(HWND compose, HWND field, WPARAM wparam, LPARAM lparam) {
  ::SendMessageA(field, WM_COMMAND, wparam, lparam);
  // The field's handling notifies the host, which may have closed the
  // window or sent the message meanwhile.
  const ComposeSlot* slot = FindComposeSlot(compose);
  if (!slot || CompletionFieldOf(*slot) != field) return;
  const HWND hostField = slot->hostField;
  const std::string text = WindowText(field);
  WriteHostField(hostField, text.c_str());
}

// The host changed its own field (a reply's recipients, say): show that in
// the completion field, unless the change is our own copy coming back.
void OnHostFieldChanged(HWND compose, HWND hostField) {
  // Our own copy coming back: the text is already in the field. Checked
  // before reading, which would copy the whole list once more per keystroke.
  if (!mirrorEnabled) return;
  const std::string text = WindowText(hostField);
  const ComposeSlot* slot = FindComposeSlot(compose);
  if (!slot) return;
  if (HWND field = CompletionFieldOf(*slot)) ::SetWindowTextA(field, text.c_str());
}

// The completion field keeps its place and grows or shrinks with the
// compose window by the same amount.
void OnSize(const ComposeSlot& slot, LPARAM lparam) {
  HWND field = CompletionFieldOf(slot);
  if (!field) return;
  const int clientWidth = LOWORD(lparam);
  int width = slot.hostRect.right - slot.composeWidth - slot.hostRect.left + clientWidth;
  // A window made narrower than it opened (or minimised, which reports a
  // zero size) would give a negative width.
  if (width < 0) width = 0;
  const int height = slot.hostRect.bottom - slot.hostRect.top;
  ::MoveWindow(field, kFieldX, kFieldY, width, height, TRUE);
}

// Keys whose key-down carries the extended-key flag.
bool IsExtendedKey(WORD vk) {
  switch (vk) {
    case VK_PRIOR: case VK_NEXT: case VK_END: case VK_HOME:
    case VK_LEFT: case VK_UP: case VK_RIGHT: case VK_DOWN:
    case VK_INSERT: case VK_DELETE: case VK_DIVIDE: case VK_NUMLOCK:
    case VK_RCONTROL: case VK_RMENU: case VK_LWIN: case VK_RWIN: case VK_APPS:
      return true;
    default:
      return false;
  }
}

// Gives the completion field the key-down that the hidden field received,
// as the message the system would have sent it.
//
// Posted, not synthesized as input with SendInput:
//  - Posted messages are taken from the queue before input, so the key
//    comes ahead of any key typed after it that is queued already; input
//    sent now would come after those, and the keys would change places.
//  - Posting changes no key state. The system has already recorded this
//    key's press and records its release when it comes; a key-down sent
//    after that release (a tapped Ctrl or Shift, both queued before the
//    host got here) would leave the key down, so the next x or v would cut
//    or paste over the recipients.
//  - The host's loop translates the posted message as it translates any
//    key-down, with the keyboard state of the real press, which the thread
//    has just taken from the queue: the same character, Shift and dead keys
//    included, comes out of it.
void PostKeyDown(HWND field, WORD vk) {
  const bool control = ::GetKeyState(VK_CONTROL) < 0;
  const bool alt = ::GetKeyState(VK_MENU) < 0;
  // Alt without Ctrl (and F10) makes a system key, for the menu.
  const bool system = (alt && !control) || vk == VK_F10;
  const UINT scan = ::MapVirtualKeyA(vk, 0 /* MAPVK_VK_TO_VSC */);
  LPARAM lparam = 1 | static_cast<LPARAM>((scan & 0xFF) << 16);
  if (IsExtendedKey(vk)) lparam |= 1 << 24;
  if (system && alt) lparam |= 1 << 29;  // the context code: Alt held
  ::PostMessageA(field, system ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lparam);
}

}  // namespace

void SetComposeFieldSetup(const ComposeFieldSetup& setup) { fieldSetup = setup; }

void WriteHostField(HWND hostField, const char* text) {
  const int saved = mirrorEnabled;
  mirrorEnabled = 0;
  ::SetWindowTextA(hostField, text);
  mirrorEnabled = saved;
}

bool MirrorEnabled() { return mirrorEnabled != 0; }

void RefillComposeFields() {
  if (!fieldSetup.fill) return;
  // One index for all fields (the name index while the mode is on):
  // refilling costs a reference per field, not a copy of every address.
  // Asked for at each field, not once: a field's window may react to the
  // refill, and should that ever deliver a change that reads the books again
  // inside this loop, the remaining fields get the newer list too, not ours.
  // By index: the array is only ever changed on this thread between our
  // steps.
  for (size_t i = 0; i < ComposeSlots.size(); ++i) {
    if (ComposeSlots[i].edit) fieldSetup.fill(ComposeSlots[i].edit.get());
  }
}

ComposeSlot* FindComposeSlot(HWND compose) {
  for (ComposeSlot& slot : ComposeSlots) {
    if (slot.composeWnd == compose) return &slot;
  }
  return nullptr;
}

int OpenCompose(HWND compose) {
  // A second call for a window already hooked would hook it on top of
  // ourselves; the slot's previous procedure would then be ComposeWndProc.
  if (!::IsWindow(compose) || FindComposeSlot(compose)) return 0;
  // Unhooked beneath another subclass, ComposeWndProc is still in this
  // window's chain; hooking again would put it there twice and make it
  // forward to itself.
  if (::GetPropA(compose, kPassThroughProp)) return 0;

  // The host's layout: the fourth child is the address container, whose
  // second child is the recipient field. A window laid out otherwise is not
  // one we know how to serve, so it stays as the host made it.
  HWND container = NthChild(compose, 3);
  HWND hostField = container ? NthChild(container, 1) : nullptr;
  if (!container || !hostField) return 0;

  // Over the host field, 3 pixels wider and 4 taller than its client area.
  RECT client = {0, 0, 0, 0};
  ::GetClientRect(hostField, &client);
  const RECT rect = {client.left + kFieldX, client.top + kFieldY, client.right + kFieldX + 3,
                     client.bottom + kFieldY + 4};
  auto edit = std::make_unique<CCompletionEdit>();
  if (!edit->CreateSubclassed(WS_EX_CLIENTEDGE, "Edit", nullptr,
                              WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, container, 0)) {
    return 0;  // no field to offer: the host's own field stays in use
  }
  const HWND field = edit->hwnd();
  const HFONT font = fieldSetup.font ? fieldSetup.font() : nullptr;
  ::SendMessageA(field, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);

  ComposeSlot slot;
  slot.composeWnd = compose;
  slot.hostField = hostField;
  ::GetWindowRect(hostField, &slot.hostRect);
  slot.hostRect.right += 7;
  RECT composeRect = {0, 0, 0, 0};
  ::GetWindowRect(compose, &composeRect);
  slot.composeWidth = composeRect.right - composeRect.left;
  slot.edit = std::move(edit);

  // The procedure is replaced only now, with the slot appended right after
  // (no message can arrive in between on this thread), so ComposeWndProc
  // never sees this window without its slot; the creation of the field
  // above went to the host's own procedure.
  slot.prevWndProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongA(compose, GWL_WNDPROC, reinterpret_cast<LONG>(&ComposeWndProc)));
  if (!slot.prevWndProc) return 0;  // not replaceable: the field goes with `slot`
  ComposeSlots.push_back(std::move(slot));

  // Hiding the focused host field would hand the focus to the container,
  // where typed keys go nowhere; the completion field takes its place.
  const bool hostHadFocus = ::GetFocus() == hostField;
  ::ShowWindow(hostField, SW_HIDE);
  ComposeSlot* hooked = FindComposeSlot(compose);
  if (!hooked || CompletionFieldOf(*hooked) != field) return 0;  // closed meanwhile
  CCompletionEdit* completion = hooked->edit.get();
  completion->Init();
  completion->SetSeparator(",");
  completion->SetMode(CCompletionEdit::CM_SEPARATED);
  // Every known address, in reading order: the same content as one
  // AddSearchString per address, but as one index shared by every field, so
  // opening a window with 100,000 addresses costs no copy at all. With the
  // name mode on, the name index of the same reading.
  if (fieldSetup.fill) fieldSetup.fill(completion);
  if (hostHadFocus) ::SetFocus(field);

  const std::string text = WindowText(hostField);
  ::SetWindowTextA(field, text.c_str());
  return 0;
}

int KeyDispatch(HWND window, int key) {
  const ComposeSlot* slot = FindComposeSlot(window);
  if (!slot) return 0;
  const HWND field = CompletionFieldOf(*slot);
  if (!field) return 0;
  const HWND focus = ::GetFocus();
  if (focus == field) {
    // Enter closes the list, and is still the host's to act on.
    if (key == VK_RETURN) slot->edit->HandleKey(VK_RETURN, true);
    return 0;
  }
  if (focus != slot->hostField) return 0;

  // The user is typing into the hidden field: move over to ours, where the
  // key and everything typed after it belong.
  ::SetFocus(field);
  const WORD vk = static_cast<WORD>(key & 0xFFFF);
  if (vk == VK_PROCESSKEY) {
    // The input method has taken the key and composes from it when the host
    // translates this very message; what it composes goes to the window that
    // now has the focus, ours. A key-down sent again would carry only
    // VK_PROCESSKEY, from which nothing can be composed.
    return 0;
  }
  PostKeyDown(field, vk);
  return 1;
}

int Outgoing(HWND compose) {
  // The host field is left hidden: the window is about to go.
  Unhook(compose, UnhookFor::kOutgoing);
  return 0;
}

void UnhookAllComposeWindows() {
  // One at a time from the front: deleting a field runs host code, which
  // may itself close windows and so remove other slots.
  while (!ComposeSlots.empty()) Unhook(ComposeSlots.front().composeWnd, UnhookFor::kUnloading);
}

void AbandonComposeFields() {
  for (ComposeSlot& slot : ComposeSlots) (void)slot.edit.release();
}

LRESULT CALLBACK ComposeWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const ComposeSlot* slot = FindComposeSlot(window);
  // A window unhooked while another subclass sat on top (or never hooked).
  if (!slot) {
    return ForwardPassThrough(window, &ComposeWndProc, kPassThroughProp, message, wparam, lparam);
  }
  // Someone subclassed on top of us. They will call us for as long as the
  // window lives, so this module must not be unmapped before the process
  // ends, whatever the host does. Checked once per message until then.
  static bool pinned = false;
  if (!pinned && !IsTopWindowProc(window, &ComposeWndProc)) {
    PinThisModule();
    pinned = true;
  }
  const WNDPROC prev = slot->prevWndProc;
  const HWND field = CompletionFieldOf(*slot);
  const HWND hostField = slot->hostField;

  // One call of ours until the host's procedure returns, which may shut
  // the host down inside it.
  ModuleCall call;
  // What fails in our part is dropped; the host's procedure still gets the
  // message.
  try {
    switch (message) {
      case WM_COMMAND: {
        const HWND from = reinterpret_cast<HWND>(lparam);
        const UINT code = HIWORD(wparam);
        if (from && from == field) {
          if (code == EN_CHANGE || code == EN_KILLFOCUS) OnFieldNotify(window, field, wparam, lparam);
        } else if (from && from == hostField && code == EN_CHANGE) {
          // Not the host's business: for the host, its field changes when the
          // user types, which now happens in ours.
          OnHostFieldChanged(window, hostField);
          return 0;
        }
        break;
      }
      case WM_SIZE:
        OnSize(*slot, lparam);
        break;
      case WM_DESTROY:
        // Closed without the message going out: undo the hook now, or the slot
        // would outlive the window (and its handle be taken for a new one), and
        // the field's pop-up list, which belongs to the desktop, would stay.
        Unhook(window, UnhookFor::kClosing);
        break;
      default:
        break;
    }
  } catch (...) {
  }
  return ::CallWindowProcA(prev, window, message, wparam, lparam);
}

}  // namespace vantrel

#include "compose_window.h"

#include <memory>

namespace vantrel_host {

const char kComposeClassName[] = "VantrelHostCompose";
const char kContainerClassName[] = "VantrelHostAddressPane";

namespace {

// Layout, in client coordinates of the compose window (the recipient field
// in those of the container).
constexpr int kCaptionHeight = 24;
constexpr int kContainerTop = 28;
constexpr int kContainerHeight = 32;
constexpr int kFieldLeft = 60;
constexpr int kFieldTop = 4;
constexpr int kFieldHeight = 24;
constexpr int kSubjectTop = 64;
constexpr int kBodyTop = 94;

struct ComposeState {
  PluginCallbacks callbacks;
  HWND caption = nullptr;
  HWND subjectLabel = nullptr;
  HWND subject = nullptr;
  HWND container = nullptr;
  HWND toLabel = nullptr;
  HWND recipient = nullptr;
  HWND body = nullptr;
  HostComposeStats stats;
  // Set once CreateWindowEx has succeeded; from then on the window frees the
  // state at WM_NCDESTROY. A creation that fails midway leaves it to the
  // creator.
  bool ownedByWindow = false;
};

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

ComposeState* StateOf(HWND compose) {
  if (!compose || HostComposeWindowOf(compose) != compose) return nullptr;
  return reinterpret_cast<ComposeState*>(::GetWindowLongPtrA(compose, GWLP_USERDATA));
}

std::string WholeText(HWND hwnd) {
  int n = ::GetWindowTextLengthA(hwnd);
  if (n <= 0) return std::string();
  std::string s(static_cast<size_t>(n) + 1, '\0');
  int got = ::GetWindowTextA(hwnd, &s[0], n + 1);
  s.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return s;
}

HWND Child(HWND parent, const char* cls, const char* text, DWORD style, DWORD exStyle) {
  HWND hwnd = ::CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                                parent, nullptr, ThisModule(), nullptr);
  ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
  return hwnd;
}

void Layout(const ComposeState& s, int width, int height) {
  const int fieldWidth = width - kFieldLeft - 10 > 0 ? width - kFieldLeft - 10 : 0;
  ::MoveWindow(s.caption, 0, 0, width, kCaptionHeight, TRUE);
  ::MoveWindow(s.container, 0, kContainerTop, width, kContainerHeight, TRUE);
  ::MoveWindow(s.toLabel, 4, kFieldTop + 4, kFieldLeft - 8, 16, TRUE);
  ::MoveWindow(s.recipient, kFieldLeft, kFieldTop, fieldWidth, kFieldHeight, TRUE);
  ::MoveWindow(s.subjectLabel, 4, kSubjectTop + 4, kFieldLeft - 8, 16, TRUE);
  ::MoveWindow(s.subject, kFieldLeft, kSubjectTop, fieldWidth, kFieldHeight, TRUE);
  ::MoveWindow(s.body, 0, kBodyTop, width, height - kBodyTop > 0 ? height - kBodyTop : 0, TRUE);
}

// The order of creation is the order of the children, which is what the
// plug-in walks.
void CreateChildren(HWND compose, ComposeState* s) {
  s->caption = Child(compose, "Static", "New message", SS_LEFT, 0);
  s->subjectLabel = Child(compose, "Static", "Subject:", SS_LEFT, 0);
  s->subject = Child(compose, "Edit", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
  s->container = ::CreateWindowExA(0, kContainerClassName, nullptr,
                                   WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 10, 10, compose,
                                   nullptr, ThisModule(), nullptr);
  s->toLabel = Child(s->container, "Static", "To:", SS_LEFT, 0);
  s->recipient = Child(s->container, "Edit", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
  s->body = Child(compose, "Edit", "",
                  WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
                  WS_EX_CLIENTEDGE);
}

LRESULT CALLBACK ComposeProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  ComposeState* s = reinterpret_cast<ComposeState*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lparam);
      ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
      break;
    }
    case WM_CREATE:
      if (s) CreateChildren(hwnd, s);
      return 0;
    case WM_SIZE:
      if (s) {
        ++s->stats.sizeMessages;
        Layout(*s, LOWORD(lparam), HIWORD(lparam));
      }
      return 0;
    case WM_COMMAND:
      if (s && reinterpret_cast<HWND>(lparam) == s->recipient && HIWORD(wparam) == EN_CHANGE)
        ++s->stats.recipientChanges;
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      if (s && s->ownedByWindow) delete s;
      break;
    default:
      break;
  }
  return ::DefWindowProcA(hwnd, msg, wparam, lparam);
}

// The address container reports its children's notifications to the compose
// window, as the mail client's does.
LRESULT CALLBACK ContainerProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_COMMAND) return ::SendMessageA(::GetParent(hwnd), msg, wparam, lparam);
  return ::DefWindowProcA(hwnd, msg, wparam, lparam);
}

bool RegisterClasses() {
  WNDCLASSA wc = {};
  if (!::GetClassInfoA(ThisModule(), kComposeClassName, &wc)) {
    wc = WNDCLASSA{};
    wc.lpfnWndProc = ComposeProc;
    wc.hInstance = ThisModule();
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kComposeClassName;
    if (!::RegisterClassA(&wc)) return false;
  }
  if (!::GetClassInfoA(ThisModule(), kContainerClassName, &wc)) {
    wc = WNDCLASSA{};
    wc.lpfnWndProc = ContainerProc;
    wc.hInstance = ThisModule();
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kContainerClassName;
    if (!::RegisterClassA(&wc)) return false;
  }
  return true;
}

}  // namespace

HWND OpenHostComposeWindow(const PluginCallbacks& callbacks, const char* recipients) {
  if (!RegisterClasses()) return nullptr;
  auto owned = std::make_unique<ComposeState>();
  owned->callbacks = callbacks;
  HWND compose = ::CreateWindowExA(0, kComposeClassName, "Compose", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   CW_USEDEFAULT, CW_USEDEFAULT, 600, 400, nullptr, nullptr,
                                   ThisModule(), owned.get());
  if (!compose) return nullptr;
  ComposeState* state = owned.release();
  state->ownedByWindow = true;
  if (recipients) ::SetWindowTextA(state->recipient, recipients);
  ::SetForegroundWindow(compose);
  ::SetFocus(state->recipient);
  if (callbacks.onOpenCompose) callbacks.onOpenCompose(compose, 0);
  return compose;
}

HWND HostComposeWindowOf(HWND hwnd) {
  if (!hwnd || !::IsWindow(hwnd)) return nullptr;
  HWND root = ::GetAncestor(hwnd, GA_ROOT);
  char cls[64] = {};
  if (!root || !::GetClassNameA(root, cls, sizeof cls)) return nullptr;
  return ::lstrcmpiA(cls, kComposeClassName) == 0 ? root : nullptr;
}

bool HostTranslateKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  HWND compose = HostComposeWindowOf(msg.hwnd);
  ComposeState* s = StateOf(compose);
  if (!s) return false;
  if (s->callbacks.onKeyDispatch &&
      s->callbacks.onKeyDispatch(compose, static_cast<int>(msg.wParam), msg.lParam) == 1) {
    return true;
  }
  // The plug-in's code may have closed the window.
  s = StateOf(compose);
  if (s && msg.wParam == VK_RETURN) ++s->stats.enterKeys;
  return false;
}

std::string HostSendMail(HWND compose) {
  ComposeState* s = StateOf(compose);
  if (!s) return std::string();
  if (s->callbacks.onOutgoing) s->callbacks.onOutgoing(compose, 0);
  s = StateOf(compose);
  if (!s) return std::string();
  std::string recipients = WholeText(s->recipient);
  ::DestroyWindow(compose);
  return recipients;
}

void HostReply(HWND compose, const char* recipients) {
  if (ComposeState* s = StateOf(compose)) ::SetWindowTextA(s->recipient, recipients ? recipients : "");
}

HWND HostRecipientField(HWND compose) {
  ComposeState* s = StateOf(compose);
  return s ? s->recipient : nullptr;
}

HWND HostAddressContainer(HWND compose) {
  ComposeState* s = StateOf(compose);
  return s ? s->container : nullptr;
}

HostComposeStats GetHostComposeStats(HWND compose) {
  ComposeState* s = StateOf(compose);
  return s ? s->stats : HostComposeStats{};
}

}  // namespace vantrel_host

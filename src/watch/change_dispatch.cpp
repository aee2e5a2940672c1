#include "watch/change_dispatch.h"

#include <new>

#include "platform/ansi.h"
#include "platform/thread_check.h"
#include "watch/stop_handshake.h"

namespace vantrel {

CChangeDispatcher::CChangeDispatcher(CDirChangeHandler* target, const char* include,
                                     DWORD filter_flags)
    : poster_(new CWindowPoster),
      target_(target),
      filter_flags_(filter_flags),
      include_(include ? include : ""),
      delivered_event_(::CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

CChangeDispatcher::~CChangeDispatcher() = default;

LONG CChangeDispatcher::AddRef() { return ::InterlockedIncrement(&refs_); }

LONG CChangeDispatcher::Release() {
  const LONG n = ::InterlockedDecrement(&refs_);
  if (n == 0) delete this;
  return n;
}

void CChangeDispatcher::AdoptTargetReference(RefPtr<CDirChangeHandler> reference) {
  AutoLock lock(target_lock_);
  if (reference.get() == target_) adopted_target_ = std::move(reference);
  // Otherwise `reference` goes here, under the lock: it is not the target,
  // so no record can be calling it.
}

bool CChangeDispatcher::CanDeliver() const {
  return delivered_event_ && CWindowPoster::HasWindow();
}

CDirChangeHandler* CChangeDispatcher::Target() {
  AutoLock lock(target_lock_);
  return target_;
}

CDirChangeHandler* CChangeDispatcher::DetachTarget() {
  RefPtr<CDirChangeHandler> adopted;  // dropped outside the lock
  AutoLock lock(target_lock_);
  CDirChangeHandler* target = target_;
  target_ = nullptr;
  adopted = std::move(adopted_target_);
  return target;
}

void CChangeDispatcher::AssignCurrentDirectory(const std::string& directory) {
  current_directory_ = directory;
  AutoLock lock(target_lock_);
  if (target_) target_->AssignCurrentDirectory(directory);
}

bool CChangeDispatcher::Send(int kind, const std::string& name, const std::string* new_name,
                             DWORD error) {
  auto* n = new (std::nothrow) CChangeNotification;
  if (!n) return false;
  n->owner = this;
  n->kind = kind;
  try {
    n->name = name;
    if (new_name) {
      n->new_name = *new_name;
      n->has_new_name = true;
    }
  } catch (...) {
    delete n;  // out of memory: as a post that failed
    return false;
  }
  n->error = error;
  // After the worker took the change from the system, before anyone can
  // deliver the record: a reading that noted a stamp this new or newer began
  // after the change happened.
  n->stamp = NextChangeStamp();
  AddRef();  // dropped by Dispatch, or below if the record goes nowhere
  if (poster_->Post(n)) return true;
  delete n;
  Release();  // never the last: the watch entry still holds its reference
  return false;
}

bool CChangeDispatcher::RetryChangesLost() {
  if (lost_pending_.exchange(false) && !Send(NK_CHANGES_LOST, current_directory_, nullptr, 0))
    lost_pending_ = true;
  return !lost_pending_;
}

// A change that cannot be posted would leave the handler believing nothing
// happened; it learns of the loss with the worker's retry or the next
// report, whichever comes first.
void CChangeDispatcher::SendChange(int kind, const std::string& name,
                                   const std::string* new_name) {
  RetryChangesLost();
  if (!Send(kind, name, new_name, 0)) lost_pending_ = true;
}

void CChangeDispatcher::NotifyAdded(const std::string& path) { SendChange(NK_ADDED, path, nullptr); }

void CChangeDispatcher::NotifyRemoved(const std::string& path) {
  SendChange(NK_REMOVED, path, nullptr);
}

void CChangeDispatcher::NotifyModified(const std::string& path) {
  SendChange(NK_MODIFIED, path, nullptr);
}

void CChangeDispatcher::NotifyRenamed(const std::string& old_path, const std::string& new_path) {
  SendChange(NK_RENAMED, old_path, &new_path);
}

void CChangeDispatcher::NotifyChangesLost(const std::string& directory) {
  lost_pending_ = !Send(NK_CHANGES_LOST, directory, nullptr, 0);
}

void CChangeDispatcher::NotifyReadError(DWORD error, const std::string& directory) {
  Send(NK_READ_ERROR, directory, nullptr, error);
}

void CChangeDispatcher::NotifyWatchStarted(DWORD error, const std::string& directory) {
  Send(NK_WATCH_STARTED, directory, nullptr, error);
}

void CChangeDispatcher::NotifyWatchStopped(const std::string& directory) {
  if (delivered_event_) ::ResetEvent(delivered_event_.get());
  if (!Send(NK_WATCH_STOPPED, directory, nullptr, 0)) return;  // nobody will answer
  if (delivered_event_) WaitForStopNoticeAnswer(delivered_event_.get(), &CWindowPoster::HasWindow);
}

void CChangeDispatcher::Dispatch(CChangeNotification* n) {
  VANTREL_ASSERT_THREAD(CWindowPoster::OnWindowThread());
  if (!n) return;
  CDirChangeHandler* target = nullptr;
  {
    AutoLock lock(target_lock_);
    target = target_;
    if (target) target->AddRef();
  }
  const bool stopped_notice = n->kind == NK_WATCH_STOPPED;
  // While the target handles the notice, the worker waits for its answer;
  // a wait of this thread for the worker answers it first.
  StopNoticeInHand in_hand(stopped_notice ? delivered_event_.get() : nullptr);
  if (target) {
    DeliveringStampScope stamp(target, n->stamp);
    try {
      const char* new_name = n->has_new_name ? n->new_name.c_str() : nullptr;
      bool accept = PassesIncludeFilter(n->kind, n->name.c_str(), new_name, include_.c_str(),
                                        filter_flags_, AnsiLeadBytes());
      if (accept && !IsAlwaysAccepted(n->kind))
        accept = target->AcceptChange(static_cast<DWORD>(n->kind), n->name.c_str(), new_name);
      if (accept) {
        switch (n->kind) {
          case NK_ADDED: target->NotifyAdded(n->name); break;
          case NK_REMOVED: target->NotifyRemoved(n->name); break;
          case NK_MODIFIED: target->NotifyModified(n->name); break;
          case NK_RENAMED: target->NotifyRenamed(n->name, n->new_name); break;
          case NK_READ_ERROR: target->NotifyReadError(n->error, n->name); break;
          case NK_WATCH_STARTED: target->NotifyWatchStarted(n->error, n->name); break;
          case NK_WATCH_STOPPED: target->NotifyWatchStopped(n->name); break;
          case NK_CHANGES_LOST: target->NotifyChangesLost(n->name); break;
        }
      }
    } catch (...) {
      if (stopped_notice) {
        ::MessageBeep(0xFFFFFFFF);
        ::MessageBeep(0xFFFFFFFF);
      }
    }
  }
  if (target) target->Release();
  // Always answered, even without a target: the worker waits for it.
  if (stopped_notice) in_hand.Answer();
  delete n;
  Release();  // the record's reference; may destroy this dispatcher
}

}  // namespace vantrel

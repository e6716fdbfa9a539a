#ifndef BASE_TASK_THREAD_H_
#define BASE_TASK_THREAD_H_

#include <windows.h>

#include <deque>
#include <functional>

#include "base/scoped_handle.h"
#include "base/waitable_event.h"

namespace base {

// A worker thread that runs posted tasks in order. Tasks still queued when
// Stop is called are dropped; the running one finishes first.
class TaskThread {
 public:
  using Task = std::function<void()>;

  TaskThread();
  ~TaskThread();  // Stops and joins.
  TaskThread(const TaskThread&) = delete;
  TaskThread& operator=(const TaskThread&) = delete;

  // Answers false when the thread could not be created.
  bool Start();
  // May be called from any thread; a task posted after Stop is dropped.
  void PostTask(Task task);
  // Drops pending tasks, waits up to `timeout_ms` for the running one, then
  // terminates the thread. Answers true when the thread ended by itself.
  bool Stop(DWORD timeout_ms = INFINITE);

  bool IsRunning() const { return thread_.is_valid(); }
  DWORD thread_id() const { return thread_id_; }

 private:
  static unsigned __stdcall ThreadMain(void* self);
  void Run();

  ScopedHandle thread_;
  DWORD thread_id_ = 0;
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::deque<Task> tasks_;  // Guarded by lock_.
  bool stopping_ = false;   // Guarded by lock_.
  AutoResetEvent wake_;
};

}  // namespace base

#endif  // BASE_TASK_THREAD_H_

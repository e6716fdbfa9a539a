#include "base/task_thread.h"

#include <process.h>

namespace base {

TaskThread::TaskThread() = default;

TaskThread::~TaskThread() {
  Stop();
}

bool TaskThread::Start() {
  if (thread_.is_valid())
    return true;
  unsigned id = 0;
  uintptr_t handle = ::_beginthreadex(nullptr, 0, &TaskThread::ThreadMain, this, 0, &id);
  if (!handle)
    return false;
  thread_.reset(reinterpret_cast<HANDLE>(handle));
  thread_id_ = id;
  return true;
}

void TaskThread::PostTask(Task task) {
  ::AcquireSRWLockExclusive(&lock_);
  if (!stopping_)
    tasks_.push_back(std::move(task));
  ::ReleaseSRWLockExclusive(&lock_);
  wake_.Signal();
}

bool TaskThread::Stop(DWORD timeout_ms) {
  ::AcquireSRWLockExclusive(&lock_);
  stopping_ = true;
  tasks_.clear();
  ::ReleaseSRWLockExclusive(&lock_);
  wake_.Signal();
  if (!thread_.is_valid())
    return true;
  bool ended = ::WaitForSingleObject(thread_.get(), timeout_ms) == WAIT_OBJECT_0;
  if (!ended)
    ::TerminateThread(thread_.get(), 1);
  thread_.reset();
  return ended;
}

unsigned __stdcall TaskThread::ThreadMain(void* self) {
  static_cast<TaskThread*>(self)->Run();
  return 0;
}

void TaskThread::Run() {
  for (;;) {
    Task task;
    ::AcquireSRWLockExclusive(&lock_);
    bool stopping = stopping_;
    if (!stopping && !tasks_.empty()) {
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    ::ReleaseSRWLockExclusive(&lock_);
    if (stopping)
      return;
    if (task)
      task();
    else
      wake_.Wait();
  }
}

}  // namespace base

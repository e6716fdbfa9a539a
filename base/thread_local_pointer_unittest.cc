#include "base/thread_local_pointer.h"

#include <windows.h>
#include <process.h>

#include <gtest/gtest.h>

#include "base/scoped_handle.h"

namespace base {
namespace {

struct OtherThread {
  ThreadLocalPointer<int>* slot;
  int* seen_first = nullptr;
  int* seen_after_set = nullptr;
  int own = 0;
};

unsigned __stdcall UseSlot(void* context) {
  OtherThread* other = static_cast<OtherThread*>(context);
  other->seen_first = other->slot->Get();
  other->slot->Set(&other->own);
  other->seen_after_set = other->slot->Get();
  return 0;
}

TEST(ThreadLocalPointerTest, EachThreadHasItsOwnValueAndKeepsTheLastError) {
  ThreadLocalPointer<int> slot;
  EXPECT_EQ(slot.Get(), nullptr);
  int mine = 0;
  ASSERT_TRUE(slot.Set(&mine));

  OtherThread other{&slot};
  ScopedHandle thread(
      reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &UseSlot, &other, 0, nullptr)));
  ASSERT_TRUE(thread.is_valid());
  ASSERT_EQ(::WaitForSingleObject(thread.get(), 30000), WAIT_OBJECT_0);
  EXPECT_EQ(other.seen_first, nullptr);
  EXPECT_EQ(other.seen_after_set, &other.own);

  ::SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(slot.Get(), &mine);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
}  // namespace base

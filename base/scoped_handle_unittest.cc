#include "base/scoped_handle.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace base {
namespace {

// Records every close and, like a failing CloseHandle, overwrites the last error.
struct FakeTraits {
  using Handle = int;
  static Handle NullValue() { return -1; }
  static bool IsValid(Handle h) { return h >= 0; }
  static void Close(Handle h) {
    closed.push_back(h);
    ::SetLastError(ERROR_INVALID_HANDLE);
  }
  static std::vector<int> closed;
};
std::vector<int> FakeTraits::closed;

using ScopedFake = ScopedGeneric<FakeTraits>;

class ScopedGenericTest : public testing::Test {
 protected:
  void SetUp() override { FakeTraits::closed.clear(); }
};

TEST_F(ScopedGenericTest, ResetAndDestructionCloseOncePreservingLastError) {
  {
    ScopedFake owner(3);
    EXPECT_TRUE(owner.is_valid());
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    owner.reset(4);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FakeTraits::closed, std::vector<int>{3});
    owner.reset(4);  // The same value again is not closed.
    EXPECT_EQ(FakeTraits::closed, std::vector<int>{3});
    ::SetLastError(ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(FakeTraits::closed, (std::vector<int>{3, 4}));
}

TEST_F(ScopedGenericTest, ReleaseHandsOverWithoutClosing) {
  {
    ScopedFake owner(5);
    EXPECT_EQ(owner.release(), 5);
    EXPECT_FALSE(owner.is_valid());
    EXPECT_EQ(owner.get(), -1);
  }
  EXPECT_TRUE(FakeTraits::closed.empty());
}

TEST_F(ScopedGenericTest, MovesTransferOwnership) {
  {
    ScopedFake source(6);
    ScopedFake moved(std::move(source));
    EXPECT_FALSE(source.is_valid());
    EXPECT_EQ(moved.get(), 6);

    ScopedFake target(7);
    target = std::move(moved);  // Closes 7, owns 6.
    EXPECT_EQ(FakeTraits::closed, std::vector<int>{7});
    EXPECT_EQ(target.get(), 6);
    EXPECT_FALSE(moved.is_valid());
  }
  EXPECT_EQ(FakeTraits::closed, (std::vector<int>{7, 6}));
}

TEST_F(ScopedGenericTest, ReceiveClosesTheOldValueFirst) {
  ScopedFake owner(8);
  *owner.Receive() = 9;
  EXPECT_EQ(FakeTraits::closed, std::vector<int>{8});
  EXPECT_EQ(owner.get(), 9);
}

TEST(ScopedHandleTest, ReleasedKernelHandleStaysOpen) {
  HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(raw, nullptr);
  {
    ScopedHandle owner(raw);
    EXPECT_EQ(owner.release(), raw);
  }
  DWORD flags = 0;
  EXPECT_TRUE(::GetHandleInformation(raw, &flags));
  EXPECT_TRUE(::CloseHandle(raw));
}

TEST(ScopedHandleTest, InvalidValuesOfEachKind) {
  EXPECT_FALSE(ScopedHandle().is_valid());
  EXPECT_FALSE(ScopedHandle(INVALID_HANDLE_VALUE).is_valid());
  EXPECT_FALSE(ScopedFindHandle().is_valid());
  EXPECT_EQ(ScopedFindHandle().get(), INVALID_HANDLE_VALUE);
}

}  // namespace
}  // namespace base

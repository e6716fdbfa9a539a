#ifndef BASE_SCOPED_COM_INITIALIZER_H_
#define BASE_SCOPED_COM_INITIALIZER_H_

#include <objbase.h>

namespace base {

// Initializes COM on the calling thread as a single-threaded apartment for
// the life of the object, and undoes it only if the initialization counted.
// Must be destroyed on the thread that created it.
class ScopedComInitializer {
 public:
  ScopedComInitializer() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ScopedComInitializer() {
    if (SUCCEEDED(result_))
      ::CoUninitialize();
  }
  ScopedComInitializer(const ScopedComInitializer&) = delete;
  ScopedComInitializer& operator=(const ScopedComInitializer&) = delete;

  // False when COM could not be initialized (another apartment model was
  // already chosen on this thread counts as initialized).
  bool succeeded() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

}  // namespace base

#endif  // BASE_SCOPED_COM_INITIALIZER_H_

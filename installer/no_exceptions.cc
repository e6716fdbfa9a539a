// The shipped executable is compiled without C++ exceptions, so a throw from
// the standard library can only end the process. The definitions below end it
// straight away, as the runtime's terminate handler would after printing to a
// console that a GUI program does not have. Replacing them keeps the library's
// throwing machinery (exception objects, the unwinder, the name demangler)
// and, through it, the posix thread library out of the executable. Linked only
// into builds without exceptions.

#include <cstdlib>
#include <memory>
#include <new>

namespace std {

[[noreturn]] void __throw_bad_exception() { std::abort(); }
[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_bad_cast() { std::abort(); }
[[noreturn]] void __throw_bad_typeid() { std::abort(); }
[[noreturn]] void __throw_bad_function_call() { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_domain_error(const char*) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_runtime_error(const char*) { std::abort(); }
[[noreturn]] void __throw_range_error(const char*) { std::abort(); }
[[noreturn]] void __throw_overflow_error(const char*) { std::abort(); }
[[noreturn]] void __throw_underflow_error(const char*) { std::abort(); }
[[noreturn]] void __throw_system_error(int) { std::abort(); }

// make_shared's control block asks whether a deleter lookup names its tag.
// Without RTTI the only tag there is is the fake type_info of _S_ti(); the
// library's copy of this answer is built with exceptions and drags them in.
bool _Sp_make_shared_tag::_S_eq(const type_info& ti) noexcept {
  return &ti == &_S_ti();
}

}  // namespace std

// The library's operator new throws std::bad_alloc when memory runs out and
// no new-handler is installed (this program installs none).
void* operator new(std::size_t size) {
  if (void* memory = std::malloc(size ? size : 1))
    return memory;
  std::abort();
}

void* operator new[](std::size_t size) {
  return ::operator new(size);
}

void operator delete(void* memory) noexcept {
  std::free(memory);
}

void operator delete[](void* memory) noexcept {
  std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}

#include "distribution/cab_extractor.h"

#include <windows.h>

#include <fcntl.h>
#include <fdi.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "base/exception_guard.h"
#include "base/system_library.h"
#include "base/logging.h"
#include "base/thread_local_pointer.h"

namespace distribution {

namespace {

using FdiCreateFn = decltype(&FDICreate);
using FdiCopyFn = decltype(&FDICopy);
using FdiDestroyFn = decltype(&FDIDestroy);

struct FdiApi {
  FdiCreateFn create = nullptr;
  FdiCopyFn copy = nullptr;
  FdiDestroyFn destroy = nullptr;
};

FdiApi LoadFdiApi() {
  FdiApi api;
  // Only the system's own copy of the library is acceptable, never one found
  // along the search path.
  HMODULE library = base::LoadSystemLibrary(L"cabinet.dll");
  if (!library) {
    PLOG(WARNING) << "Can't load cabinet.dll";
    return api;
  }
  // The library stays loaded for the life of the process.
  api.create = reinterpret_cast<FdiCreateFn>(::GetProcAddress(library, "FDICreate"));
  api.copy = reinterpret_cast<FdiCopyFn>(::GetProcAddress(library, "FDICopy"));
  api.destroy = reinterpret_cast<FdiDestroyFn>(::GetProcAddress(library, "FDIDestroy"));
  if (!api.create || !api.copy || !api.destroy) {
    PLOG(WARNING) << "Can't find the FDI functions in cabinet.dll";
    api = FdiApi();
  }
  return api;
}

// Loaded on first use; later calls, from any thread, share the result.
const FdiApi& GetFdiApi() {
  static const FdiApi api = LoadFdiApi();
  return api;
}

// A configuration is a few kilobytes; anything larger is not one.
constexpr size_t kMaxMemberSize = 1024 * 1024;

// The name FDI is given for the cabinet; open accepts nothing else.
constexpr char kCabinetName[] = "package.cab";
// FDI keeps at most a couple of handles on the cabinet open at once.
constexpr int kMaxReaders = 4;
// Handles 1..kMaxReaders read the cabinet; kSinkHandle receives the wanted
// file. Neither 0 (skip) nor -1 (failure) can be a handle.
constexpr INT_PTR kSinkHandle = kMaxReaders + 1;

struct FreeDeleter {
  void operator()(char* memory) const { std::free(memory); }
};

// One extraction: the cabinet bytes, the open reader positions and the wanted
// file's bytes. It lives on the caller's stack for one FDICopy call. FDI
// calls back through frames that cannot carry a C++ exception, so nothing in
// a callback may throw, not even a log line's allocation: the file's buffer
// is taken once with malloc, sized from the cabinet's own record, and a
// failed allocation only ends the extraction.
struct Extraction {
  std::string_view cabinet;
  const std::string* wanted = nullptr;
  bool reader_open[kMaxReaders] = {};
  size_t reader_position[kMaxReaders] = {};
  bool collecting = false;  // Between the wanted file's copy and close notifications.
  bool found = false;       // The wanted file was written whole.
  std::unique_ptr<char, FreeDeleter> contents;
  size_t capacity = 0;  // The size the cabinet declares for the file.
  size_t size = 0;
  // Why the wanted file was refused; logged once FDICopy has returned.
  size_t refused_size = 0;  // Above kMaxMemberSize.
  bool out_of_memory = false;
};

// FDI's file callbacks carry no context pointer, and FDICopy calls them on the
// calling thread only, so the extraction running on this thread is found here.
base::ThreadLocalPointer<Extraction> g_active_extraction;

// The reader index of `handle`, or -1 when it is not an open reader.
int ReaderIndex(INT_PTR handle) {
  Extraction* extraction = g_active_extraction.Get();
  if (!extraction || handle < 1 || handle > kMaxReaders)
    return -1;
  int index = static_cast<int>(handle - 1);
  return extraction->reader_open[index] ? index : -1;
}

void* DIAMONDAPI FdiAlloc(ULONG size) {
  return std::malloc(size);
}

void DIAMONDAPI FdiFree(void* memory) {
  std::free(memory);
}

INT_PTR DIAMONDAPI FdiOpen(char* name, int flags, int mode) {
  Extraction* extraction = g_active_extraction.Get();
  if (!extraction || !name)
    return -1;
  if (flags & (_O_WRONLY | _O_RDWR | _O_CREAT | _O_TRUNC | _O_APPEND))
    return -1;
  // FDI joins the cabinet path and name; the path given to it is empty.
  if (std::string_view(name) != kCabinetName)
    return -1;
  for (int i = 0; i < kMaxReaders; ++i) {
    if (!extraction->reader_open[i]) {
      extraction->reader_open[i] = true;
      extraction->reader_position[i] = 0;
      return i + 1;
    }
  }
  return -1;
}

UINT DIAMONDAPI FdiRead(INT_PTR handle, void* buffer, UINT count) {
  int index = ReaderIndex(handle);
  if (index < 0 || (!buffer && count))
    return static_cast<UINT>(-1);
  Extraction* extraction = g_active_extraction.Get();
  std::string_view cabinet = extraction->cabinet;
  size_t& position = extraction->reader_position[index];
  size_t available = cabinet.size() - position;
  size_t n = count < available ? count : available;
  if (n)
    std::memcpy(buffer, cabinet.data() + position, n);
  position += n;
  return static_cast<UINT>(n);
}

UINT DIAMONDAPI FdiWrite(INT_PTR handle, void* buffer, UINT count) {
  Extraction* extraction = g_active_extraction.Get();
  if (!extraction || handle != kSinkHandle || !extraction->collecting || (!buffer && count))
    return static_cast<UINT>(-1);
  if (count > extraction->capacity - extraction->size)
    return static_cast<UINT>(-1);  // More than the cabinet declared.
  if (count)
    std::memcpy(extraction->contents.get() + extraction->size, buffer, count);
  extraction->size += count;
  return count;
}

int DIAMONDAPI FdiClose(INT_PTR handle) {
  Extraction* extraction = g_active_extraction.Get();
  if (handle == kSinkHandle && extraction) {
    // FDI closes the output itself only when it gives up on the file.
    extraction->collecting = false;
    return 0;
  }
  int index = ReaderIndex(handle);
  if (index < 0)
    return -1;
  extraction->reader_open[index] = false;
  return 0;
}

LONG DIAMONDAPI FdiSeek(INT_PTR handle, LONG distance, int origin) {
  int index = ReaderIndex(handle);
  if (index < 0)
    return -1;
  Extraction* extraction = g_active_extraction.Get();
  int64_t size = static_cast<int64_t>(extraction->cabinet.size());
  size_t& position = extraction->reader_position[index];
  int64_t base;
  switch (origin) {
    case SEEK_SET:
      base = 0;
      break;
    case SEEK_CUR:
      base = static_cast<int64_t>(position);
      break;
    case SEEK_END:
      base = size;
      break;
    default:
      return -1;
  }
  int64_t target = base + distance;
  if (target < 0 || target > size)
    return -1;
  position = static_cast<size_t>(target);
  return static_cast<LONG>(target);
}

INT_PTR DIAMONDAPI FdiNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification) {
  Extraction* extraction = static_cast<Extraction*>(notification->pv);
  switch (type) {
    case fdintCABINET_INFO:
    case fdintENUMERATE:
      return 0;
    case fdintCOPY_FILE: {
      if (!notification->psz1 || *extraction->wanted != notification->psz1)
        return 0;  // Skip it.
      const size_t size = static_cast<ULONG>(notification->cb);
      if (size > kMaxMemberSize) {
        extraction->refused_size = size;
        return -1;
      }
      extraction->found = false;
      extraction->size = 0;
      extraction->capacity = 0;
      // One byte more, so that an empty file has a buffer too.
      extraction->contents.reset(static_cast<char*>(std::malloc(size + 1)));
      if (!extraction->contents) {
        extraction->out_of_memory = true;
        return -1;
      }
      extraction->capacity = size;
      extraction->collecting = true;
      return kSinkHandle;
    }
    case fdintCLOSE_FILE_INFO:
      if (notification->hf != kSinkHandle || !extraction->collecting)
        return -1;
      extraction->collecting = false;
      extraction->found = extraction->size == extraction->capacity;
      return TRUE;
    case fdintPARTIAL_FILE:
    case fdintNEXT_CABINET:
    default:
      return -1;  // Abort: a package is one whole cabinet.
  }
}

// Restores the previous extraction of this thread, if any, on scope exit.
class ScopedActiveExtraction {
 public:
  explicit ScopedActiveExtraction(Extraction* extraction)
      : previous_(g_active_extraction.Get()) {
    g_active_extraction.Set(extraction);
  }
  ~ScopedActiveExtraction() { g_active_extraction.Set(previous_); }
  ScopedActiveExtraction(const ScopedActiveExtraction&) = delete;
  ScopedActiveExtraction& operator=(const ScopedActiveExtraction&) = delete;

 private:
  Extraction* previous_;
};

struct CopyCall {
  const FdiApi* api;
  HFDI fdi;
  Extraction* extraction;
  BOOL result;
};

void InvokeFdiCopy(void* context) {
  CopyCall* call = static_cast<CopyCall*>(context);
  char name[sizeof(kCabinetName)];
  std::memcpy(name, kCabinetName, sizeof(name));
  char empty_path[] = "";
  call->result =
      call->api->copy(call->fdi, name, empty_path, 0, FdiNotify, nullptr, call->extraction);
}

}  // namespace

bool ExtractFileFromCabinet(std::string_view cabinet, const std::string& wanted,
                            std::string* contents) {
  const FdiApi& api = GetFdiApi();
  if (!api.create || cabinet.empty() || cabinet.size() > static_cast<size_t>(INT32_MAX))
    return false;

  Extraction extraction;
  extraction.cabinet = cabinet;
  extraction.wanted = &wanted;
  ScopedActiveExtraction active(&extraction);

  ERF error = {};
  HFDI fdi = api.create(FdiAlloc, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek,
                        cpuUNKNOWN, &error);
  if (!fdi)
    return false;
  // Some cabinet libraries fault on damaged compressed data that slipped past
  // the block checksums; such a package counts as unreadable.
  CopyCall call = {&api, fdi, &extraction, FALSE};
  base::GuardedCallException exception;
  if (!base::CallWithExceptionGuard(&InvokeFdiCopy, &call, &exception)) {
    LOG(WARNING) << "FDICopy raised exception " << exception.code;
    // The library's state is unknown after the fault: its context is left alone.
    return false;
  }
  api.destroy(fdi);
  if (extraction.refused_size) {
    LOG(WARNING) << "Cabinet member " << wanted << " of " << extraction.refused_size
                 << " bytes exceeds " << kMaxMemberSize;
  } else if (extraction.out_of_memory) {
    LOG(WARNING) << "Out of memory for cabinet member " << wanted;
  }
  if (!call.result || !extraction.found)
    return false;
  contents->assign(extraction.contents.get(), extraction.size);
  return true;
}

}  // namespace distribution

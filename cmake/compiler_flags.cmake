# Flags shared by every target of ours.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                        _WIN32_WINNT=0x0601 WINVER=0x0601)
add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)

# Everything is linked statically: the executable imports system DLLs only.
add_link_options(-static -static-libgcc -static-libstdc++)

# The delay-load helper's notification hook lives in base/system_library.cc.
# Naming the symbol as undefined up front makes the link take that definition
# from our library, before the runtime's empty default can be pulled in.
if(TX_MINGW_ARCH STREQUAL "i686")
  add_link_options(-Wl,--undefined=___pfnDliNotifyHook2)
else()
  add_link_options(-Wl,--undefined=__pfnDliNotifyHook2)
endif()

# The shipped build: small code, no C++ exceptions, no RTTI, and no unwind
# tables, which nothing reads in a program without exceptions. At -Os GCC
# also merges the complete and base constructors and destructors into one
# local body per object file, which PE's COMDATs cannot fold: the string
# constructors alone were copied into up to 18 objects (8 KB).
# -fno-declone-ctor-dtor keeps them as ordinary shared COMDATs.
set(TX_NO_EXCEPTIONS OFF)
if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
  set(TX_NO_EXCEPTIONS ON)
  add_compile_options(-Os -ffunction-sections -fdata-sections
                      $<$<COMPILE_LANGUAGE:C,CXX>:-fno-asynchronous-unwind-tables>
                      $<$<COMPILE_LANGUAGE:C,CXX>:-fno-ident>
                      $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>
                      $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>
                      $<$<COMPILE_LANGUAGE:CXX>:-fno-declone-ctor-dtor>
                      "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_SOURCE_DIR}/cmake/no_exception_messages.h>")
  # Link-time optimisation inlines and drops across the libraries' borders
  # (some 40 KB). The link repeats -Os, since LTO compiles again there, and
  # keeps the symbols: installer/ strips the executable after a copy that
  # tells the size breakdown whose code the optimised object holds.
  add_compile_options(-flto)
  add_link_options(-flto -flto-partition=one -Os -Wl,--gc-sections)
  if(TX_MINGW_ARCH STREQUAL "i686")
    # Stack probes make GCC store every call's arguments with a move into a
    # reserved area instead of pushing them: 11 KB of the 32-bit code. A frame
    # needs a probe only when it can reach past the stack's guard page, so
    # the probes go and every frame of ours stays under a page (an error at
    # the link, where the optimised code is made). The runtime's own objects
    # keep their probes.
    # Windows gives a 32-bit thread and every callback a stack aligned to 4
    # bytes only, and the program has no SSE code that would want more:
    # keeping 16-byte alignment padded every call's pushes (10.7 KB).
    foreach(flag -mno-stack-arg-probe -Werror=frame-larger-than=3072 -Werror=vla
                 -mpreferred-stack-boundary=2)
      add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:${flag}>)
      add_link_options(${flag})
    endforeach()
  endif()
  # Interprocedural scalar replacement made the program 11 KB larger before
  # link-time optimisation and makes it 1.5 KB smaller with it: it stays on.
  # -Oz would save 2 KB more, at the cost of speed and of a younger option.
  # Tried for size and left out: -fno-threadsafe-statics and -falign-*=1
  # (no change), -finline-limit=4 (0.5 KB, at the cost of calls in every
  # loop), -fno-ipa-cp and -fno-ipa-icf (larger). -fomit-frame-pointer
  # would save 3 KB of the 32-bit code; the frame pointers stay, since the
  # crash reports' stacks are walked along them.
endif()

if(TX_TEST_HOOKS)
  add_compile_definitions(TX_TEST_HOOKS=1)
endif()

# The installer's libraries; tests link the same ones.
function(tx_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
endfunction()

# Libraries that Debian ships as source only, or whose Windows build is not
# made for size, come from Debian's source packages and are compiled with the
# mingw compiler into the build tree. Their sources are never committed.
# Fetches package `package` (the pinned `version` first, then whatever the
# suites offer) unless `dir`, the unpacked tree, already has `marker`.
function(tx_debian_source package version dir marker)
  if(EXISTS "${dir}/${marker}")
    return()
  endif()
  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/_deps")
  execute_process(COMMAND apt-get source -q ${package}=${version}
                  WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/_deps" OUTPUT_QUIET ERROR_QUIET)
  if(NOT EXISTS "${dir}/${marker}")
    execute_process(COMMAND apt-get source -q ${package}
                    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/_deps")
  endif()
  if(NOT EXISTS "${dir}/${marker}")
    message(FATAL_ERROR "${package} source missing: run scripts/install-deps.sh (needs the deb-src entry)")
  endif()
endfunction()

# jansson 2.14: Debian has no mingw build of it.
set(TX_JANSSON_SRC "${CMAKE_BINARY_DIR}/_deps/jansson-2.14")
tx_debian_source(jansson 2.14-2 "${TX_JANSSON_SRC}" CMakeLists.txt)
set(JANSSON_BUILD_DOCS OFF CACHE BOOL "" FORCE)
set(JANSSON_EXAMPLES OFF CACHE BOOL "" FORCE)
set(JANSSON_WITHOUT_TESTS ON CACHE BOOL "" FORCE)
set(JANSSON_BUILD_SHARED_LIBS OFF CACHE BOOL "" FORCE)
set(JANSSON_INSTALL OFF CACHE BOOL "" FORCE)
# Without sched_yield jansson seeds its hash function with the Interlocked
# functions; with it, the posix thread library comes along for one call.
set(HAVE_SCHED_YIELD "" CACHE INTERNAL "")
add_subdirectory("${TX_JANSSON_SRC}" "${CMAKE_BINARY_DIR}/_deps/jansson-build" EXCLUDE_FROM_ALL SYSTEM)
# jansson's project does not hand its generated header folder to its users.
target_include_directories(jansson SYSTEM INTERFACE
                           $<BUILD_INTERFACE:${CMAKE_BINARY_DIR}/_deps/jansson-build/include>)
# jansson's few real numbers go through the system's strtod (msvcrt.dll):
# mingw-w64's own, which the headers put in its place, brings some 20 KB of
# conversion code along.
target_compile_options(jansson PRIVATE -include "${CMAKE_SOURCE_DIR}/cmake/system_strtod.h")
# The C libraries' objects also carry ordinary code beside the link-time
# optimiser's, so that their function names can be listed for the size
# breakdown (scripts/size_breakdown.py).
target_compile_options(jansson PRIVATE -ffat-lto-objects)

# zlib 1.2.13: Debian's mingw build is made for speed (-O2, unwind tables,
# word-wide CRC tables). The crash reporter compresses one dump per crash, so
# it is built here for size: byte-wise CRC, no unwind tables.
set(TX_ZLIB_SRC "${CMAKE_BINARY_DIR}/_deps/zlib-1.2.13.dfsg")
tx_debian_source(zlib 1:1.2.13.dfsg-1 "${TX_ZLIB_SRC}" zlib.h)
add_library(zlib_static STATIC EXCLUDE_FROM_ALL
  ${TX_ZLIB_SRC}/adler32.c ${TX_ZLIB_SRC}/crc32.c ${TX_ZLIB_SRC}/deflate.c
  ${TX_ZLIB_SRC}/trees.c ${TX_ZLIB_SRC}/zutil.c
  # Only the tests inflate; the linker leaves these out of the executable.
  ${TX_ZLIB_SRC}/inflate.c ${TX_ZLIB_SRC}/inftrees.c ${TX_ZLIB_SRC}/inffast.c)
target_include_directories(zlib_static SYSTEM PUBLIC "${TX_ZLIB_SRC}")
target_compile_definitions(zlib_static PRIVATE Z_TESTW=)
target_compile_options(zlib_static PRIVATE -w -fno-asynchronous-unwind-tables
                       -ffat-lto-objects)

if(TX_BUILD_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL SYSTEM)
endif()

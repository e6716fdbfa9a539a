# jansson 2.14 from Debian's source package, compiled with the mingw compiler.
# The source is fetched once into the build tree and never committed.
set(TX_JANSSON_SRC "${CMAKE_BINARY_DIR}/_deps/jansson-2.14")
if(NOT EXISTS "${TX_JANSSON_SRC}/CMakeLists.txt")
  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/_deps")
  execute_process(COMMAND apt-get source -q jansson=2.14-2
                  WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/_deps"
                  RESULT_VARIABLE jansson_rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT EXISTS "${TX_JANSSON_SRC}/CMakeLists.txt")
    execute_process(COMMAND apt-get source -q jansson
                    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/_deps"
                    RESULT_VARIABLE jansson_rc)
  endif()
  if(NOT EXISTS "${TX_JANSSON_SRC}/CMakeLists.txt")
    message(FATAL_ERROR "jansson source missing: run scripts/install-deps.sh (needs the deb-src entry)")
  endif()
endif()
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

if(TX_BUILD_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL SYSTEM)
endif()

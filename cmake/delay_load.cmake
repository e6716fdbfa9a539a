# System libraries that Windows does not always take from System32 are bound
# on first use instead of at load time: the loader would otherwise look for
# them in the executable's own folder before any of our code runs.
# base/system_library.cc hooks the delay-load helper so that the first use
# loads the System32 copy.
#
# tx_delay_import(<dll>...) makes, for each name, a delay-load import library
# from the toolchain's ordinary one and an INTERFACE target `delay_<dll>` to
# link instead of the plain library.

find_program(TX_DLLTOOL ${TX_TRIPLE}-dlltool REQUIRED)
find_program(TX_NM ${TX_TRIPLE}-nm REQUIRED)

function(tx_delay_import)
  set(out_dir "${CMAKE_BINARY_DIR}/delayimp")
  file(MAKE_DIRECTORY "${out_dir}")
  foreach(dll IN LISTS ARGN)
    if(TARGET delay_${dll})
      continue()
    endif()
    set(import_lib "/usr/${TX_TRIPLE}/lib/lib${dll}.a")
    if(NOT EXISTS "${import_lib}")
      message(FATAL_ERROR "import library not found: ${import_lib}")
    endif()
    set(def "${out_dir}/${dll}.def")
    set(lib "${out_dir}/lib${dll}_delay.a")
    if(NOT EXISTS "${lib}" OR "${import_lib}" IS_NEWER_THAN "${lib}")
      execute_process(COMMAND ${TX_NM} "${import_lib}" OUTPUT_VARIABLE symbols
                      RESULT_VARIABLE nm_rc)
      if(NOT nm_rc EQUAL 0)
        message(FATAL_ERROR "cannot list ${import_lib}")
      endif()
      # "__imp_Name" (x86_64) or "__imp__Name@N" (i686, stdcall decoration kept
      # in the .def and dropped from the DLL's names by --kill-at).
      string(REGEX MATCHALL "I __imp_[^\r\n]+" entries "${symbols}")
      set(exports "")
      foreach(entry IN LISTS entries)
        string(REGEX REPLACE "^I __imp_" "" name "${entry}")
        if(TX_MINGW_ARCH STREQUAL "i686")
          string(REGEX REPLACE "^_" "" name "${name}")
        endif()
        list(APPEND exports "${name}")
      endforeach()
      list(REMOVE_DUPLICATES exports)
      list(SORT exports)
      if(NOT exports)
        message(FATAL_ERROR "no exports found in ${import_lib}")
      endif()
      list(JOIN exports "\n" export_lines)
      file(WRITE "${def}" "LIBRARY ${dll}.dll\nEXPORTS\n${export_lines}\n")
      _tx_make_delay_lib(${dll}.dll "${def}" "${lib}")
    endif()
    add_library(delay_${dll} INTERFACE)
    target_link_libraries(delay_${dll} INTERFACE "${lib}")
  endforeach()
endfunction()

# tx_delay_import_exports(<target> <dll file name> <export>...) makes an
# INTERFACE target that binds the named exports of <dll> on first use; for
# tests of the binding itself (the exports need not exist).
function(tx_delay_import_exports target dll)
  set(def "${CMAKE_BINARY_DIR}/delayimp/${target}.def")
  set(lib "${CMAKE_BINARY_DIR}/delayimp/lib${target}.a")
  list(JOIN ARGN "\n" export_lines)
  file(WRITE "${def}" "LIBRARY ${dll}\nEXPORTS\n${export_lines}\n")
  _tx_make_delay_lib(${dll} "${def}" "${lib}")
  add_library(${target} INTERFACE)
  target_link_libraries(${target} INTERFACE "${lib}")
endfunction()

function(_tx_make_delay_lib dll def lib)
  set(kill_at "")
  if(TX_MINGW_ARCH STREQUAL "i686")
    set(kill_at --kill-at)
  endif()
  execute_process(COMMAND ${TX_DLLTOOL} ${kill_at} --input-def "${def}"
                          --dllname ${dll} --output-delaylib "${lib}"
                  RESULT_VARIABLE dlltool_rc)
  if(NOT dlltool_rc EQUAL 0)
    message(FATAL_ERROR "dlltool could not make ${lib}")
  endif()
endfunction()

# Brand and partner packages and side files, embedded as "BIN" resources.
#
# A packages directory holds:
#   brand/default/   -> one CAB, resource id 319
#   brand/<name>/    -> one CAB, resource named BRAND_<NAME>
#   partner/         -> one CAB, resource id 320 (optional)
#   data/master_preferences (305), data/clids.xml (306),
#   data/clids_searchband.xml (322), data/website.ico (323, optional)
# The files of a brand or partner folder are copied into the build tree with
# @TX_CDN_HOST@-style placeholders filled in, then packed with gcab. Data files
# are embedded byte for byte. Every brand_config and partner_config is checked
# after its placeholders are filled, with the installer's own reading rules,
# and a file that the installer could not read stops the configuration with
# its path, line and column.

find_program(TX_GCAB gcab REQUIRED)
find_program(TX_PYTHON /usr/bin/python3 REQUIRED)
set(TX_PACKAGE_CHECK "${CMAKE_SOURCE_DIR}/tools/package_check/check_package_config.py")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TX_PACKAGE_CHECK}")

# Fails the configuration when `copy` (the filled-in copy of `source`) is not
# a configuration the installer can read; the message names `source`.
function(_tx_check_package_config source copy)
  execute_process(
    COMMAND ${TX_PYTHON} "${TX_PACKAGE_CHECK}" --name "${source}" "${copy}"
    RESULT_VARIABLE result
    ERROR_VARIABLE problem
    OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    # Indented, so that CMake does not wrap the path.
    string(STRIP "${problem}" problem)
    message(FATAL_ERROR "broken package configuration:\n  ${problem}")
  endif()
endfunction()

# tx_make_cab(<cab> [COMPRESS] FILES <absolute paths>...)
# Packs the files into <cab> at build time, each under its file name alone.
function(tx_make_cab cab)
  cmake_parse_arguments(ARG "COMPRESS" "" "FILES" ${ARGN})
  if(NOT ARG_FILES)
    message(FATAL_ERROR "tx_make_cab(${cab}): no FILES")
  endif()
  set(mode -c)
  if(ARG_COMPRESS)
    list(APPEND mode -z)
  endif()
  get_filename_component(cab_dir "${cab}" DIRECTORY)
  # Start from no cabinet, so that nothing of an older one survives.
  add_custom_command(
    OUTPUT "${cab}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${cab_dir}"
    COMMAND ${CMAKE_COMMAND} -E rm -f "${cab}"
    COMMAND ${TX_GCAB} ${mode} -n "${cab}" ${ARG_FILES}
    DEPENDS ${ARG_FILES}
    COMMENT "Packing ${cab}"
    VERBATIM)
endfunction()

# The regular files directly inside `dir`, sorted; hidden files are left out.
# A new or removed file makes the build configure again.
function(_tx_package_files out dir)
  file(GLOB entries LIST_DIRECTORIES false CONFIGURE_DEPENDS "${dir}/*")
  list(FILTER entries EXCLUDE REGEX "/\\.[^/]*$")
  list(SORT entries)
  set(${out} ${entries} PARENT_SCOPE)
endfunction()

# Copies the files of the package folder `source` into `dest` with the
# placeholders filled in and packs the copies into `cab`. configure_file
# rewrites a copy only when its text changes, and a changed source makes the
# build configure again.
function(_tx_pack_folder source dest cab)
  _tx_package_files(sources "${source}")
  if(NOT sources)
    message(FATAL_ERROR "package folder is empty: ${source}")
  endif()
  set(copies "")
  foreach(path IN LISTS sources)
    get_filename_component(name "${path}" NAME)
    configure_file("${path}" "${dest}/${name}" @ONLY)
    if(name STREQUAL "brand_config" OR name STREQUAL "partner_config")
      _tx_check_package_config("${path}" "${dest}/${name}")
    endif()
    list(APPEND copies "${dest}/${name}")
  endforeach()
  tx_make_cab("${cab}" COMPRESS FILES ${copies})
endfunction()

# tx_add_package_resources(<target> PACKAGES_DIR <dir> [OVERLAY_DIRS <dir>...])
#
# Generates <build>/packages/<target>/packages.rc with the packages and side
# files of PACKAGES_DIR and adds it to <target>. Each OVERLAY_DIRS entry has the
# same layout; a brand folder, partner folder or data file found there replaces
# or adds to what the directories before it gave. The resource object is
# rebuilt whenever a package or data file changes.
function(tx_add_package_resources target)
  cmake_parse_arguments(ARG "" "PACKAGES_DIR" "OVERLAY_DIRS" ${ARGN})
  if(NOT ARG_PACKAGES_DIR)
    message(FATAL_ERROR "tx_add_package_resources(${target}): PACKAGES_DIR is required")
  endif()
  set(out_dir "${CMAKE_BINARY_DIR}/packages/${target}")
  set(data_files master_preferences clids.xml clids_searchband.xml website.ico)
  set(data_ids 305 306 322 323)
  set(required_data master_preferences clids.xml clids_searchband.xml)

  # Later directories win, folder by folder and file by file.
  set(brands "")
  set(partner_dir "")
  foreach(dir IN ITEMS "${ARG_PACKAGES_DIR}" ${ARG_OVERLAY_DIRS})
    if(NOT IS_DIRECTORY "${dir}")
      message(FATAL_ERROR "packages directory not found: ${dir}")
    endif()
    file(GLOB brand_dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS "${dir}/brand/*")
    foreach(brand_dir IN LISTS brand_dirs)
      if(NOT IS_DIRECTORY "${brand_dir}")
        continue()
      endif()
      get_filename_component(brand "${brand_dir}" NAME)
      if(NOT brand MATCHES "^[A-Za-z0-9_]+$")
        message(FATAL_ERROR "brand folder name must be letters, digits and '_': ${brand_dir}")
      endif()
      list(APPEND brands "${brand}")
      set(brand_source_${brand} "${brand_dir}")
    endforeach()
    if(IS_DIRECTORY "${dir}/partner")
      set(partner_dir "${dir}/partner")
    endif()
    # Globbed only so that an added or removed data file configures again.
    file(GLOB unused CONFIGURE_DEPENDS "${dir}/data/*")
    foreach(name IN LISTS data_files)
      if(EXISTS "${dir}/data/${name}" AND NOT IS_DIRECTORY "${dir}/data/${name}")
        set(data_source_${name} "${dir}/data/${name}")
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES brands)
  list(SORT brands)
  if(NOT "default" IN_LIST brands)
    message(FATAL_ERROR "${ARG_PACKAGES_DIR}: brand/default/ is missing")
  endif()
  foreach(name IN LISTS required_data)
    if(NOT data_source_${name})
      message(FATAL_ERROR "${ARG_PACKAGES_DIR}: data/${name} is missing")
    endif()
  endforeach()

  set(rc_lines "")
  set(inputs "")
  foreach(brand IN LISTS brands)
    set(cab "${out_dir}/brand_${brand}.cab")
    _tx_pack_folder("${brand_source_${brand}}" "${out_dir}/brand/${brand}" "${cab}")
    list(APPEND inputs "${cab}")
    if(brand STREQUAL "default")
      set(resource 319)
    else()
      string(TOUPPER "BRAND_${brand}" resource)
    endif()
    string(APPEND rc_lines "${resource} BIN \"${cab}\"\n")
  endforeach()
  if(partner_dir)
    set(cab "${out_dir}/partner.cab")
    _tx_pack_folder("${partner_dir}" "${out_dir}/partner" "${cab}")
    list(APPEND inputs "${cab}")
    string(APPEND rc_lines "320 BIN \"${cab}\"\n")
  endif()
  foreach(name id IN ZIP_LISTS data_files data_ids)
    if(data_source_${name})
      list(APPEND inputs "${data_source_${name}}")
      string(APPEND rc_lines "${id} BIN \"${data_source_${name}}\"\n")
    endif()
  endforeach()

  set(rc "${out_dir}/packages.rc")
  file(CONFIGURE OUTPUT "${rc}" @ONLY CONTENT
"// Generated by cmake/packages.cmake for ${target}; do not edit.
@rc_lines@")
  target_sources(${target} PRIVATE "${rc}")
  # windres does not report the files a resource script embeds.
  set_source_files_properties("${rc}" PROPERTIES OBJECT_DEPENDS "${inputs}")
  add_custom_target(${target}_packages DEPENDS ${inputs})
  add_dependencies(${target} ${target}_packages)
endfunction()

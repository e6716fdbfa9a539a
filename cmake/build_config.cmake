# Hosts and other build-time settings reach the code through one generated header.
if(TX_TRUST_KEYS_FILE STREQUAL "")
  set(TX_TRUST_KEYS_PATH "${CMAKE_BINARY_DIR}/keys/trust_keys.txt")
else()
  set(TX_TRUST_KEYS_PATH "${TX_TRUST_KEYS_FILE}")
endif()
if(NOT IS_DIRECTORY "${TX_PACKAGES_DIR}")
  message(FATAL_ERROR "TX_PACKAGES_DIR does not exist: ${TX_PACKAGES_DIR}")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/build_config.h.in
               ${CMAKE_BINARY_DIR}/generated/build_config.h @ONLY)

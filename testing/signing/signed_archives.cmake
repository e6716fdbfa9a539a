# Signed setup archives for the end-to-end tests, included by
# testing/CMakeLists.txt. Target tx_signed_archives (part of ALL) builds:
#
#   <build>/pki/codesign/            the test code-signing PKI (make_codesign_pki.sh)
#   <build>/pki/distributor/         a distributor's trust keys: the public list,
#                                    private halves in private/
#   <build>/testing/trust_lists/<t>/ TRUSTED.JSON and SIGNATURE.DAT of trust list <t>
#   standin_setup_<t>.exe            the setup stand-in with trust list <t> embedded
#   <build>/testing/archives/*.arc   the stand-ins, Authenticode-signed (or broken)
#   <build>/testing/archives/variants.json
#                                    what the installer must do with each archive
#
# Delete pki/codesign to get a new PKI; everything else follows from it. The
# Wine prefix trusts the code-signing root (see make_wineprefix.sh).

set(TX_SIGNING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(TX_CODESIGN_PKI_DIR ${CMAKE_BINARY_DIR}/pki/codesign)
set(TX_CODESIGN_ROOT ${TX_CODESIGN_PKI_DIR}/root.pem)
set(TX_TRUST_LISTS_DIR ${CMAKE_CURRENT_BINARY_DIR}/trust_lists)
set(TX_ARCHIVES_DIR ${CMAKE_CURRENT_BINARY_DIR}/archives)

if(TX_TRUST_KEYS_FILE STREQUAL "")
  set(private_keys_default ${CMAKE_BINARY_DIR}/keys)
else()
  set(private_keys_default "")
endif()
set(TX_TRUST_KEYS_PRIVATE_DIR "${private_keys_default}" CACHE PATH
    "Private halves key_<N>.pem of the trust keys; the test archives' trust lists are signed with them")
foreach(n RANGE 9)
  if(NOT EXISTS "${TX_TRUST_KEYS_PRIVATE_DIR}/key_${n}.pem")
    message(FATAL_ERROR "Signing the test archives needs ${TX_TRUST_KEYS_PRIVATE_DIR}/key_${n}.pem: "
                        "set TX_TRUST_KEYS_PRIVATE_DIR to the private halves of TX_TRUST_KEYS_FILE")
  endif()
endforeach()

# The signers: an issuing CA, a leaf, and the digest the leaf signs files with.
set(TX_SIGNERS trusted-sha256 trusted-sha1 untrusted-sha256)
set(TX_SIGNER_ISSUER_trusted-sha256 ca)
set(TX_SIGNER_ISSUER_trusted-sha1 ca)
set(TX_SIGNER_ISSUER_untrusted-sha256 other-ca)
set(TX_SIGNER_DIGEST_trusted-sha256 sha256)
set(TX_SIGNER_DIGEST_trusted-sha1 sha1)
set(TX_SIGNER_DIGEST_untrusted-sha256 sha256)

set(TX_CODESIGN_PKI_FILES)
foreach(name root.pem root.der root.key ca.pem ca.key other-ca.pem other-ca.key)
  list(APPEND TX_CODESIGN_PKI_FILES ${TX_CODESIGN_PKI_DIR}/${name})
endforeach()
foreach(signer IN LISTS TX_SIGNERS)
  foreach(suffix .pem .key -chain.pem)
    list(APPEND TX_CODESIGN_PKI_FILES ${TX_CODESIGN_PKI_DIR}/${signer}${suffix})
  endforeach()
endforeach()
# No dependency on the script: a new root would have to be trusted again and
# every archive re-signed.
add_custom_command(
  OUTPUT ${TX_CODESIGN_PKI_FILES}
  COMMAND ${TX_SIGNING_DIR}/make_codesign_pki.sh ${TX_CODESIGN_PKI_DIR}
  COMMENT "Making the test code-signing PKI"
  VERBATIM)
add_custom_target(tx_codesign_pki ALL DEPENDS ${TX_CODESIGN_PKI_FILES})

# The manifest, built up as the archives are declared.
set(TX_ARCHIVE_MANIFEST [[{"archives": [], "trust_lists": {}, "signers": {}}]])

function(tx_json_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

function(tx_json_string_array out)
  set(array "[]")
  set(index 0)
  foreach(item IN LISTS ARGN)
    tx_json_string(quoted "${item}")
    string(JSON array SET "${array}" ${index} "${quoted}")
    math(EXPR index "${index} + 1")
  endforeach()
  set(${out} "${array}" PARENT_SCOPE)
endfunction()

foreach(signer IN LISTS TX_SIGNERS)
  set(entry "{}")
  foreach(field certificate issuer key chain)
    if(field STREQUAL "certificate")
      set(path ${TX_CODESIGN_PKI_DIR}/${signer}.pem)
    elseif(field STREQUAL "issuer")
      set(path ${TX_CODESIGN_PKI_DIR}/${TX_SIGNER_ISSUER_${signer}}.pem)
    elseif(field STREQUAL "key")
      set(path ${TX_CODESIGN_PKI_DIR}/${signer}.key)
    else()
      set(path ${TX_CODESIGN_PKI_DIR}/${signer}-chain.pem)
    endif()
    tx_json_string(quoted "${path}")
    string(JSON entry SET "${entry}" ${field} "${quoted}")
  endforeach()
  string(JSON entry SET "${entry}" digest "\"${TX_SIGNER_DIGEST_${signer}}\"")
  string(JSON TX_ARCHIVE_MANIFEST SET "${TX_ARCHIVE_MANIFEST}" signers ${signer} "${entry}")
endforeach()
foreach(field root root_der)
  if(field STREQUAL "root")
    tx_json_string(quoted "${TX_CODESIGN_ROOT}")
  else()
    tx_json_string(quoted "${TX_CODESIGN_PKI_DIR}/root.der")
  endif()
  string(JSON TX_ARCHIVE_MANIFEST SET "${TX_ARCHIVE_MANIFEST}" ${field} "${quoted}")
endforeach()
tx_json_string(quoted "${TX_TRUST_KEYS_PATH}")
string(JSON TX_ARCHIVE_MANIFEST SET "${TX_ARCHIVE_MANIFEST}" public_keys "${quoted}")
tx_json_string(quoted [[Wine 8 verifies the primary signature whatever signature index is asked for (it does report the number of nested signatures), so for nested archives "wine_accept" is what a correct installer yields under Wine and "accept" what it yields on Windows.]])
string(JSON TX_ARCHIVE_MANIFEST SET "${TX_ARCHIVE_MANIFEST}" wine_note "${quoted}")

# A second set of ten trust keys, standing for a distributor's own: the
# distribution test builds an installer from the public list alone (the private
# halves stay in private/, as a distributor keeps them apart) and serves it an
# archive whose trust list was signed with them.
set(TX_DISTRIBUTOR_KEYS_DIR ${CMAKE_BINARY_DIR}/pki/distributor)
set(TX_DISTRIBUTOR_KEY_LIST ${TX_DISTRIBUTOR_KEYS_DIR}/trust_keys.txt)
set(distributor_private_keys)
foreach(n RANGE 9)
  list(APPEND distributor_private_keys ${TX_DISTRIBUTOR_KEYS_DIR}/private/key_${n}.pem)
endforeach()
add_custom_command(
  OUTPUT ${TX_DISTRIBUTOR_KEY_LIST} ${distributor_private_keys}
  COMMAND ${CMAKE_SOURCE_DIR}/tools/trust_keys/make_dev_keys.sh ${TX_DISTRIBUTOR_KEYS_DIR}/private
  COMMAND ${CMAKE_COMMAND} -E copy ${TX_DISTRIBUTOR_KEYS_DIR}/private/trust_keys.txt
          ${TX_DISTRIBUTOR_KEY_LIST}
  COMMENT "Making the distributor's test trust keys"
  VERBATIM)
tx_json_string(quoted "${TX_DISTRIBUTOR_KEY_LIST}")
string(JSON TX_ARCHIVE_MANIFEST SET "${TX_ARCHIVE_MANIFEST}" distributor_public_keys "${quoted}")

# tx_trust_list(<name> KEY <n> [SIGN_WITH <m>] [CERTIFICATES <signer>...]
#               [MALFORMED_JSON] [KEY_NUMBER_ONLY] [KEYS_DIR <dir> KEY_LIST <file>])
# Signs a trust list naming the given signers' (issuer, leaf) pairs and adds
# the stand-in variant standin_setup_<name> that embeds it. KEYS_DIR and
# KEY_LIST name another key set than the build's own.
function(tx_trust_list name)
  cmake_parse_arguments(ARG "MALFORMED_JSON;KEY_NUMBER_ONLY" "KEY;SIGN_WITH;KEYS_DIR;KEY_LIST"
                        "CERTIFICATES" ${ARGN})
  if(NOT DEFINED ARG_SIGN_WITH)
    set(ARG_SIGN_WITH ${ARG_KEY})
  endif()
  if(NOT DEFINED ARG_KEYS_DIR)
    set(ARG_KEYS_DIR ${TX_TRUST_KEYS_PRIVATE_DIR})
    set(ARG_KEY_LIST ${TX_TRUST_KEYS_PATH})
  endif()
  set(dir ${TX_TRUST_LISTS_DIR}/${name})
  set(outputs ${dir}/TRUSTED.JSON ${dir}/SIGNATURE.DAT)
  set(args --out-dir ${dir} --keys-dir ${ARG_KEYS_DIR} --key-list ${ARG_KEY_LIST}
           --key ${ARG_KEY} --sign-with ${ARG_SIGN_WITH})
  set(depends ${CMAKE_SOURCE_DIR}/tools/trust_list/sign_trust_list.py ${ARG_KEY_LIST}
              ${ARG_KEYS_DIR}/key_${ARG_SIGN_WITH}.pem)
  foreach(signer IN LISTS ARG_CERTIFICATES)
    set(issuer ${TX_CODESIGN_PKI_DIR}/${TX_SIGNER_ISSUER_${signer}}.pem)
    set(leaf ${TX_CODESIGN_PKI_DIR}/${signer}.pem)
    list(APPEND args --pair ${issuer} ${leaf})
    list(APPEND depends ${issuer} ${leaf})
  endforeach()
  if(ARG_MALFORMED_JSON)
    list(APPEND args --malformed-json)
  endif()
  if(ARG_KEY_NUMBER_ONLY)
    list(APPEND args --key-number-only)
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${TX_PYTHON} ${CMAKE_SOURCE_DIR}/tools/trust_list/sign_trust_list.py ${args}
    DEPENDS ${depends}
    COMMENT "Signing trust list ${name}"
    VERBATIM)
  tx_standin_setup_variant(${name} TRUSTED_JSON ${dir}/TRUSTED.JSON SIGNATURE_DAT ${dir}/SIGNATURE.DAT
                           OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/standin_variants)
  add_dependencies(standin_setup_${name} tx_codesign_pki)

  set(entry "{}")
  tx_json_string(quoted "${dir}")
  string(JSON entry SET "${entry}" dir "${quoted}")
  string(JSON entry SET "${entry}" key ${ARG_KEY})
  string(JSON entry SET "${entry}" signed_with ${ARG_SIGN_WITH})
  tx_json_string(quoted "${ARG_KEY_LIST}")
  string(JSON entry SET "${entry}" public_keys "${quoted}")
  tx_json_string_array(certificates ${ARG_CERTIFICATES})
  string(JSON entry SET "${entry}" certificates "${certificates}")
  foreach(flag MALFORMED_JSON KEY_NUMBER_ONLY)
    string(TOLOWER ${flag} field)
    if(ARG_${flag})
      string(JSON entry SET "${entry}" ${field} true)
    else()
      string(JSON entry SET "${entry}" ${field} false)
    endif()
  endforeach()
  string(JSON manifest SET "${TX_ARCHIVE_MANIFEST}" trust_lists ${name} "${entry}")
  set(TX_ARCHIVE_MANIFEST "${manifest}" PARENT_SCOPE)
endfunction()

# tx_signed_archive(<file> TRUST_LIST <name> [SIGNERS <signer>...] [FROM <archive>]
#                   [TAMPER] [TRUNCATE <bytes>] ACCEPT <bool> [WINE_ACCEPT <bool>]
#                   [LOG <text>] DESCRIPTION <text>)
# Makes archives/<file> from standin_setup_<name>: signed by the signers in
# order (the first primary, the rest nested), then tampered with or cut short.
# FROM starts from an archive made before instead (SIGNERS then only describe
# it): signatures carry a signing time, so a second signing run would differ.
# ACCEPT says whether the installer must run it; WINE_ACCEPT (default: ACCEPT)
# what it decides under Wine; LOG a line its log must then contain.
set(TX_ARCHIVE_FILES)
function(tx_signed_archive file)
  cmake_parse_arguments(ARG "TAMPER" "TRUST_LIST;FROM;TRUNCATE;ACCEPT;WINE_ACCEPT;LOG;DESCRIPTION"
                        "SIGNERS" ${ARGN})
  if(NOT DEFINED ARG_WINE_ACCEPT)
    set(ARG_WINE_ACCEPT ${ARG_ACCEPT})
  endif()
  set(output ${TX_ARCHIVES_DIR}/${file})
  if(DEFINED ARG_FROM)
    set(args --in ${TX_ARCHIVES_DIR}/${ARG_FROM} --out ${output})
    set(depends ${TX_ARCHIVES_DIR}/${ARG_FROM} ${TX_SIGNING_DIR}/make_archive.py)
  else()
    set(args --in $<TARGET_FILE:standin_setup_${ARG_TRUST_LIST}> --out ${output})
    set(depends standin_setup_${ARG_TRUST_LIST} ${TX_SIGNING_DIR}/make_archive.py)
    foreach(signer IN LISTS ARG_SIGNERS)
      list(APPEND args --sign ${TX_CODESIGN_PKI_DIR}/${signer}-chain.pem
                              ${TX_CODESIGN_PKI_DIR}/${signer}.key ${TX_SIGNER_DIGEST_${signer}})
      list(APPEND depends ${TX_CODESIGN_PKI_DIR}/${signer}-chain.pem
                          ${TX_CODESIGN_PKI_DIR}/${signer}.key)
    endforeach()
  endif()
  if(ARG_TAMPER)
    list(APPEND args --tamper)
  endif()
  if(DEFINED ARG_TRUNCATE)
    list(APPEND args --truncate ${ARG_TRUNCATE})
  endif()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${TX_PYTHON} ${TX_SIGNING_DIR}/make_archive.py ${args}
    DEPENDS ${depends}
    COMMENT "Making test archive ${file}"
    VERBATIM)
  set(TX_ARCHIVE_FILES ${TX_ARCHIVE_FILES} ${output} PARENT_SCOPE)

  set(entry "{}")
  tx_json_string(quoted "${file}")
  string(JSON entry SET "${entry}" file "${quoted}")
  foreach(field ACCEPT WINE_ACCEPT)
    string(TOLOWER ${field} key)
    if(ARG_${field})
      string(JSON entry SET "${entry}" ${key} true)
    else()
      string(JSON entry SET "${entry}" ${key} false)
    endif()
  endforeach()
  tx_json_string(quoted "${ARG_TRUST_LIST}")
  string(JSON entry SET "${entry}" trust_list "${quoted}")
  tx_json_string_array(signers ${ARG_SIGNERS})
  string(JSON entry SET "${entry}" signers "${signers}")
  if(ARG_TAMPER)
    string(JSON entry SET "${entry}" tampered true)
  else()
    string(JSON entry SET "${entry}" tampered false)
  endif()
  if(DEFINED ARG_TRUNCATE)
    string(JSON entry SET "${entry}" truncated_to ${ARG_TRUNCATE})
  else()
    string(JSON entry SET "${entry}" truncated_to null)
  endif()
  if(DEFINED ARG_LOG)
    tx_json_string(quoted "${ARG_LOG}")
    string(JSON entry SET "${entry}" log "${quoted}")
  else()
    string(JSON entry SET "${entry}" log null)
  endif()
  tx_json_string(quoted "${ARG_DESCRIPTION}")
  string(JSON entry SET "${entry}" description "${quoted}")
  string(JSON count LENGTH "${TX_ARCHIVE_MANIFEST}" archives)
  string(JSON manifest SET "${TX_ARCHIVE_MANIFEST}" archives ${count} "${entry}")
  set(TX_ARCHIVE_MANIFEST "${manifest}" PARENT_SCOPE)
endfunction()

# Trust lists. Key numbers vary on purpose: an installer that always takes key
# 0, reduces the number modulo 10 or indexes from the end would accept a bad one.
tx_trust_list(trusted KEY 0 CERTIFICATES trusted-sha256 trusted-sha1)
tx_trust_list(trusted_key9 KEY 9 CERTIFICATES trusted-sha256 trusted-sha1)
tx_trust_list(wrong_key KEY 2 SIGN_WITH 5 CERTIFICATES trusted-sha256 trusted-sha1)
tx_trust_list(key_10 KEY 10 SIGN_WITH 0 CERTIFICATES trusted-sha256 trusted-sha1)
tx_trust_list(key_minus_1 KEY -1 SIGN_WITH 9 CERTIFICATES trusted-sha256 trusted-sha1)
tx_trust_list(short_signature KEY 0 KEY_NUMBER_ONLY CERTIFICATES trusted-sha256 trusted-sha1)
tx_trust_list(not_json KEY 0 MALFORMED_JSON CERTIFICATES trusted-sha256 trusted-sha1)
tx_trust_list(no_certificates KEY 0)
tx_trust_list(distributor KEY 4 KEYS_DIR ${TX_DISTRIBUTOR_KEYS_DIR}/private
              KEY_LIST ${TX_DISTRIBUTOR_KEY_LIST} CERTIFICATES trusted-sha256)

tx_signed_archive(browser-setup.arc TRUST_LIST trusted SIGNERS trusted-sha256 ACCEPT ON
  DESCRIPTION "trusted SHA-256 signature, the archive the test server serves")
tx_signed_archive(sha1-signed.arc TRUST_LIST trusted SIGNERS trusted-sha1 ACCEPT ON
  DESCRIPTION "trusted SHA-1 signature only")
tx_signed_archive(trust-key-9.arc TRUST_LIST trusted_key9 SIGNERS trusted-sha256 ACCEPT ON
  DESCRIPTION "trust list signed with key 9, the last one")
tx_signed_archive(tampered.arc TRUST_LIST trusted SIGNERS trusted-sha256
  FROM browser-setup.arc TAMPER ACCEPT OFF
  DESCRIPTION "browser-setup.arc with one byte of .text flipped after signing")
tx_signed_archive(untrusted-signer.arc TRUST_LIST trusted SIGNERS untrusted-sha256 ACCEPT OFF
  DESCRIPTION "valid SHA-256 signature by a pair missing from the trust list")
tx_signed_archive(trust-list-wrong-key.arc TRUST_LIST wrong_key SIGNERS trusted-sha256 ACCEPT OFF
  LOG "Verify error"
  DESCRIPTION "SIGNATURE.DAT names key 2 but was made with key 5")
tx_signed_archive(trust-key-10.arc TRUST_LIST key_10 SIGNERS trusted-sha256 ACCEPT OFF
  LOG "Cannot find key"
  DESCRIPTION "SIGNATURE.DAT names key 10 (signed with key 0)")
tx_signed_archive(trust-key-minus-1.arc TRUST_LIST key_minus_1 SIGNERS trusted-sha256 ACCEPT OFF
  LOG "Cannot find key"
  DESCRIPTION "SIGNATURE.DAT names key -1 (signed with key 9)")
tx_signed_archive(signature-dat-2-bytes.arc TRUST_LIST short_signature SIGNERS trusted-sha256
  ACCEPT OFF LOG "Cannot find resource SIGNATURE_DAT"
  DESCRIPTION "SIGNATURE.DAT holds only the key number")
tx_signed_archive(trust-list-not-json.arc TRUST_LIST not_json SIGNERS trusted-sha256 ACCEPT OFF
  DESCRIPTION "TRUSTED.JSON cut off half-way, validly signed")
tx_signed_archive(trust-list-empty.arc TRUST_LIST no_certificates SIGNERS trusted-sha256 ACCEPT OFF
  DESCRIPTION "validly signed TRUSTED.JSON with an empty certificates array")
tx_signed_archive(sha1-then-untrusted-sha256.arc TRUST_LIST trusted
  SIGNERS trusted-sha1 untrusted-sha256 ACCEPT OFF WINE_ACCEPT ON
  DESCRIPTION "trusted SHA-1 signature, untrusted SHA-256 signature nested")
tx_signed_archive(untrusted-sha256-then-sha1.arc TRUST_LIST trusted
  SIGNERS untrusted-sha256 trusted-sha1 ACCEPT OFF
  DESCRIPTION "untrusted SHA-256 signature, trusted SHA-1 signature nested")
tx_signed_archive(untrusted-then-trusted-sha256.arc TRUST_LIST trusted
  SIGNERS untrusted-sha256 trusted-sha256 ACCEPT ON WINE_ACCEPT OFF
  DESCRIPTION "untrusted SHA-256 signature, trusted SHA-256 signature nested")
tx_signed_archive(trusted-then-untrusted-sha256.arc TRUST_LIST trusted
  SIGNERS trusted-sha256 untrusted-sha256 ACCEPT ON
  DESCRIPTION "trusted SHA-256 signature, untrusted SHA-256 signature nested")
tx_signed_archive(distributor-setup.arc TRUST_LIST distributor SIGNERS trusted-sha256
  ACCEPT OFF LOG "Verify error"
  DESCRIPTION "trust list signed with the distributor's test keys, which only an installer built with them accepts")
tx_signed_archive(unsigned.arc TRUST_LIST trusted ACCEPT OFF
  DESCRIPTION "valid trust list, no Authenticode signature")
tx_signed_archive(truncated.arc TRUST_LIST trusted SIGNERS trusted-sha256
  FROM browser-setup.arc TRUNCATE 1000 ACCEPT OFF
  LOG "Failed to load module for GetTrustJsonFromModule"
  DESCRIPTION "the first 1000 bytes of browser-setup.arc")

file(CONFIGURE OUTPUT ${TX_ARCHIVES_DIR}/variants.json CONTENT "${TX_ARCHIVE_MANIFEST}\n" @ONLY)
add_custom_target(tx_signed_archives ALL DEPENDS ${TX_ARCHIVE_FILES})

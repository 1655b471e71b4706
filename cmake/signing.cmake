# Authenticode signing of updater.exe after it is linked
# (scripts/sign_updater.sh, osslsigncode, SHA-256). Configured by these cache
# variables; one left empty takes the environment variable of the same name
# at configure time:
#   UPDATER_SIGN_PKCS12         a PKCS#12 container with the certificate chain and key, or
#   UPDATER_SIGN_CERT           the certificate(s), the signer's first, and
#   UPDATER_SIGN_KEY            its private key
#   UPDATER_SIGN_PASSWORD_FILE  a file holding the key's or container's password (optional):
#                               the password itself is on no command line and in no build log
#   UPDATER_SIGN_TIMESTAMP_URL  an RFC 3161 time stamp server (optional; signing is then
#                               no longer reproducible)
#   UPDATER_SIGN_TIME           the signing time as unix time (optional; by default
#                               SOURCE_DATE_EPOCH at build time, else the last commit's time)
# Without a certificate updater.exe is built unsigned.
set(UPDATER_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 container to sign updater.exe with")
set(UPDATER_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate(s) to sign updater.exe with")
set(UPDATER_SIGN_KEY "" CACHE FILEPATH "Private key of UPDATER_SIGN_CERT")
set(UPDATER_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the password of the key or container")
set(UPDATER_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time stamp server (none: reproducible signing)")
set(UPDATER_SIGN_TIME "" CACHE STRING "Signing time as unix time (default: SOURCE_DATE_EPOCH, else the commit time)")

foreach(name PKCS12 CERT KEY PASSWORD_FILE TIMESTAMP_URL TIME)
  if("${UPDATER_SIGN_${name}}" STREQUAL "" AND NOT "$ENV{UPDATER_SIGN_${name}}" STREQUAL "")
    set(UPDATER_SIGN_${name} "$ENV{UPDATER_SIGN_${name}}")
  endif()
endforeach()

set(sign_args)
if(UPDATER_SIGN_PKCS12)
  if(UPDATER_SIGN_CERT OR UPDATER_SIGN_KEY)
    message(FATAL_ERROR "Give UPDATER_SIGN_PKCS12 or UPDATER_SIGN_CERT and UPDATER_SIGN_KEY, not both")
  endif()
  set(sign_files ${UPDATER_SIGN_PKCS12})
  list(APPEND sign_args --pkcs12 ${UPDATER_SIGN_PKCS12})
elseif(UPDATER_SIGN_CERT OR UPDATER_SIGN_KEY)
  if(NOT (UPDATER_SIGN_CERT AND UPDATER_SIGN_KEY))
    message(FATAL_ERROR "UPDATER_SIGN_CERT and UPDATER_SIGN_KEY go together")
  endif()
  set(sign_files ${UPDATER_SIGN_CERT} ${UPDATER_SIGN_KEY})
  list(APPEND sign_args --cert ${UPDATER_SIGN_CERT} --key ${UPDATER_SIGN_KEY})
endif()

if(NOT sign_args)
  message(STATUS "updater.exe: unsigned (no code-signing certificate: set UPDATER_SIGN_PKCS12, or UPDATER_SIGN_CERT and UPDATER_SIGN_KEY)")
  return()
endif()

if(UPDATER_SIGN_PASSWORD_FILE)
  list(APPEND sign_files ${UPDATER_SIGN_PASSWORD_FILE})
  list(APPEND sign_args --password-file ${UPDATER_SIGN_PASSWORD_FILE})
endif()
foreach(file ${sign_files})
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "Signing updater.exe: ${file} does not exist")
  endif()
endforeach()
find_program(OSSLSIGNCODE osslsigncode)
if(NOT OSSLSIGNCODE)
  message(FATAL_ERROR "Signing updater.exe needs osslsigncode (scripts/setup.sh installs it)")
endif()
list(APPEND sign_args --osslsigncode ${OSSLSIGNCODE} --source-dir ${CMAKE_SOURCE_DIR})
if(UPDATER_SIGN_TIMESTAMP_URL)
  list(APPEND sign_args --timestamp-url ${UPDATER_SIGN_TIMESTAMP_URL})
  set(sign_when "time stamped by ${UPDATER_SIGN_TIMESTAMP_URL}, not reproducible")
elseif(UPDATER_SIGN_TIME)
  list(APPEND sign_args --time ${UPDATER_SIGN_TIME})
  set(sign_when "signing time ${UPDATER_SIGN_TIME}")
else()
  set(sign_when "signing time SOURCE_DATE_EPOCH or the commit time")
endif()

# Signed in place, in the same step as the link: a failed signing fails the
# link step and removes the unsigned file, so that the next build links and
# signs again instead of taking it as up to date.
add_custom_command(TARGET updater POST_BUILD
  COMMAND /bin/bash ${CMAKE_SOURCE_DIR}/scripts/sign_updater.sh ${sign_args} --remove-on-failure
          $<TARGET_FILE:updater>
  VERBATIM)
message(STATUS "updater.exe: Authenticode-signed with ${UPDATER_SIGN_PKCS12}${UPDATER_SIGN_CERT} (SHA-256, ${sign_when})")

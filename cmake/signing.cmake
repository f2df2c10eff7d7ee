# Authenticode signing (SHA-256) of what the Windows build ships, with
# osslsigncode. Given a certificate, every shipped program and DLL is signed
# as it is linked, so the package holds signed files, and the package is
# signed once it is made. Without one, nothing is signed.
set(CORVANE_SIGN_PKCS12 "$ENV{CORVANE_SIGN_PKCS12}" CACHE FILEPATH
  "PKCS#12 file with the code-signing certificate and its key; empty: sign nothing")
# A file, so that the password is on no command line and in no build file.
set(CORVANE_SIGN_PASSWORD_FILE "$ENV{CORVANE_SIGN_PASSWORD_FILE}" CACHE FILEPATH
  "File holding the password of CORVANE_SIGN_PKCS12")
set(CORVANE_SIGN_TIMESTAMP_URL "" CACHE STRING
  "RFC 3161 time-stamp server asked for each signature; empty: none, the build needs no network")

if(CORVANE_SIGN_PKCS12)
  find_program(OSSLSIGNCODE osslsigncode)
  if(NOT OSSLSIGNCODE)
    message(FATAL_ERROR "osslsigncode not found: bash scripts/install-deps.sh --all installs it")
  endif()
  # The build runs the signer in its own folders: full paths only.
  foreach(_file CORVANE_SIGN_PKCS12 CORVANE_SIGN_PASSWORD_FILE)
    if(NOT IS_ABSOLUTE "${${_file}}" OR NOT EXISTS "${${_file}}")
      message(FATAL_ERROR "${_file} must name an existing file by its full path (now \"${${_file}}\")")
    endif()
  endforeach()
  # The signing time is the sources' date (reproducible.cmake), so one key
  # signs the same bytes the same way every time.
  set(CORVANE_SIGN_COMMAND ${OSSLSIGNCODE} sign -pkcs12 ${CORVANE_SIGN_PKCS12}
    -readpass ${CORVANE_SIGN_PASSWORD_FILE} -h sha256 -n Corvane -time ${CORVANE_SOURCE_DATE})
  if(CORVANE_SIGN_TIMESTAMP_URL)
    list(APPEND CORVANE_SIGN_COMMAND -ts ${CORVANE_SIGN_TIMESTAMP_URL})
  endif()
  message(STATUS "Signing the programs, DLLs and package with ${CORVANE_SIGN_PKCS12}")
else()
  message(STATUS "Not signing: no certificate given (CORVANE_SIGN_PKCS12)")
endif()

# corvane_sign_commands(VAR FILE): in VAR, the commands that sign FILE in
# place; none without a certificate.
function(corvane_sign_commands var file)
  set(_commands)
  if(CORVANE_SIGN_PKCS12)
    set(_commands
      COMMAND ${CMAKE_COMMAND} -E rm -f ${file}.signed
      COMMAND ${CORVANE_SIGN_COMMAND} -in ${file} -out ${file}.signed
      COMMAND ${CMAKE_COMMAND} -E rename ${file}.signed ${file})
  endif()
  set(${var} ${_commands} PARENT_SCOPE)
endfunction()

# corvane_sign(TARGET...): each target's file signed as it is linked, and
# linked anew when the certificate changes.
function(corvane_sign)
  if(NOT CORVANE_SIGN_PKCS12)
    return()
  endif()
  foreach(_target ${ARGN})
    corvane_sign_commands(_commands $<TARGET_FILE:${_target}>)
    add_custom_command(TARGET ${_target} POST_BUILD ${_commands} VERBATIM)
    set_property(TARGET ${_target} APPEND PROPERTY LINK_DEPENDS ${CORVANE_SIGN_PKCS12})
  endforeach()
endfunction()

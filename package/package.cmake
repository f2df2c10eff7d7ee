# The Windows Installer package: the custom-action DLL and, on demand
# (target msi), dist/Corvane-<build>.msi built with wixl from corvane.wxs.in.
set(_pkg ${CMAKE_SOURCE_DIR}/package)

# Only known DLLs are imported; msi.dll is looked up at run time.
add_library(corvane-msi-actions SHARED ${_pkg}/setup_actions.cpp ${_pkg}/setup_outcome.cpp
  ${_pkg}/log_folder.cpp ${_pkg}/msi_functions.cpp ${_pkg}/restart_request.cpp ${_pkg}/session_actions.cpp
  ${_pkg}/undo_record.cpp)
set_target_properties(corvane-msi-actions PROPERTIES PREFIX "" SUFFIX ".dll"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/package
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/package/implib)
target_compile_options(corvane-msi-actions PRIVATE -municode)
target_link_options(corvane-msi-actions PRIVATE ${CORVANE_STATIC_RUNTIME})
# The companion's actions reach its window and read their own token.
target_include_directories(corvane-msi-actions PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(corvane-msi-actions PRIVATE user32 advapi32 kernel32)
corvane_sign(corvane-msi-actions)

# The package carries the program's own build number.
file(STRINGS ${CMAKE_SOURCE_DIR}/src/run/install_state.h _build_line
  REGEX "constexpr int BuildNumber = [0-9]+")
string(REGEX MATCH "[0-9]+" CORVANE_BUILD "${_build_line}")
set(CORVANE_VERSION 1.0.${CORVANE_BUILD})
# Never changes: every newer package replaces an older one.
set(CORVANE_UPGRADE_CODE 89CE6830-4D58-4774-B1FC-0C0386BE7154)

set(CORVANE_MANUFACTURER Brennock)
set(CORVANE_PACKAGE_DESCRIPTION "Corvane virtual printer")

# wixl takes sources relative to the folder of the .wxs file. It dates the
# files in the cabinet as their copies are dated, so it packs a copy of the
# layout dated as the sources.
set(_stage ${CMAKE_BINARY_DIR}/package/stage)
set(DIST stage)
list(TRANSFORM _dist_files REPLACE "^${_dist}" "${_stage}" OUTPUT_VARIABLE _staged_files)
set(ACTIONS_DLL $<TARGET_FILE_NAME:corvane-msi-actions>)
configure_file(${_pkg}/corvane.ico ${CMAKE_BINARY_DIR}/package/corvane.ico COPYONLY)
set(PRODUCT_ICON corvane.ico)
configure_file(${_pkg}/corvane.wxs.in ${CMAKE_BINARY_DIR}/package/corvane.wxs.in @ONLY)
file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/package/corvane.wxs
  INPUT ${CMAKE_BINARY_DIR}/package/corvane.wxs.in)

find_program(WIXL wixl)
find_program(MSIBUILD msibuild)
# wixl dates the package's summary with the clock; faketime stops the clock
# at the sources' date for it.
find_program(FAKETIME faketime)
set(_msi ${CMAKE_BINARY_DIR}/dist/Corvane-${CORVANE_BUILD}.msi)
# msiexec's rollback and commit types: a deferred DLL action (1), return
# ignored (64), rollback only (256) or commit only (512), in the script
# (1024), without impersonation (2048).
set(_rollback_type 3393)
corvane_sign_commands(_sign_msi ${_msi})
set(_commit_type 3649)
if(WIXL AND MSIBUILD AND FAKETIME)
  add_custom_command(OUTPUT ${_msi}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${_stage}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${_dist} ${_stage}
    COMMAND touch -d @${CORVANE_SOURCE_DATE} ${_staged_files}
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${FAKETIME} -f ${CORVANE_SOURCE_DATE_TEXT}
      ${WIXL} --arch x64 -o ${_msi} ${CMAKE_BINARY_DIR}/package/corvane.wxs
    # wixl 0.101 knows Execute="deferred" and "immediate" only and makes the
    # rollback and commit actions immediate ones; msibuild gives them their types.
    COMMAND ${MSIBUILD} ${_msi}
      -q "UPDATE CustomAction SET Type=${_rollback_type} WHERE Action='RollbackInstallPrinter' OR Action='RollbackRemovePrinter'"
      -q "UPDATE CustomAction SET Type=${_commit_type} WHERE Action='CommitInstallPrinter' OR Action='CommitRemovePrinter'"
    # Another build of the same version replaces the installed one instead
    # of being installed beside it: the search for older versions includes
    # this version (migrate features 1, maximum version included 512); wixl
    # 0.101 has no AllowSameVersionUpgrades.
    # Its attributes are part of the row's key, so the row is made anew.
    COMMAND ${MSIBUILD} ${_msi}
      -q "DELETE FROM Upgrade WHERE ActionProperty='WIX_UPGRADE_DETECTED'"
      -q "INSERT INTO Upgrade (UpgradeCode, VersionMin, VersionMax, Language, Attributes, Remove, ActionProperty) VALUES ('{${CORVANE_UPGRADE_CODE}}', '', '${CORVANE_VERSION}', '', 513, '', 'WIX_UPGRADE_DETECTED')"
    # Last, once nothing else is to change: the codes that follow from it.
    COMMAND ${CMAKE_COMMAND} -DMSIBUILD=${MSIBUILD} -DMSI=${_msi}
      -DDESCRIPTION=${CORVANE_PACKAGE_DESCRIPTION} -DMANUFACTURER=${CORVANE_MANUFACTURER}
      -P ${_pkg}/package_codes.cmake
    ${_sign_msi}
    DEPENDS ${_dist_files} corvane-msi-actions ${CMAKE_BINARY_DIR}/package/corvane.wxs
      ${CMAKE_BINARY_DIR}/package/corvane.ico ${_pkg}/package_codes.cmake ${CORVANE_SIGN_PKCS12}
    COMMENT "Building dist/Corvane-${CORVANE_BUILD}.msi"
    VERBATIM)
else()
  add_custom_command(OUTPUT ${_msi}
    COMMAND ${CMAKE_COMMAND} -E echo "wixl, msibuild or faketime not found: bash scripts/install-deps.sh --all installs them"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
add_custom_target(msi DEPENDS ${_msi})

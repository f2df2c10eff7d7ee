# Windows build: the system code runs against the real Win32 API.
include(${CMAKE_SOURCE_DIR}/cmake/reproducible.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/signing.cmake)

file(GLOB WIN32_PLATFORM_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/platform/win32/*.cpp)
list(REMOVE_ITEM WIN32_PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/src/platform/win32/capture_win_main.cpp)

# Resource scripts (dialog templates, manifest) are compiled in when present.
file(GLOB WIN32_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/*.rc)
# The companions carry version resources, so RC is always needed.
enable_language(RC)

# The warning flags from the top level are meant for C++ only; windres would
# reject them.
function(corvane_cxx_only_warnings target)
  get_target_property(_opts ${target} COMPILE_OPTIONS)
  if(_opts)
    list(TRANSFORM _opts REPLACE "^(-W.*)$" "$<$<COMPILE_LANGUAGE:CXX>:\\1>")
    set_target_properties(${target} PROPERTIES COMPILE_OPTIONS "${_opts}")
  endif()
endfunction()

# Unicode entry and a fully static runtime, so every program runs on a bare
# Windows or a fresh Wine prefix without MinGW DLLs beside it.
set(CORVANE_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# WIN32 selects the GUI subsystem (-mwindows).
add_executable(corvane-setup WIN32 ${WIN32_PLATFORM_SOURCES} ${WIN32_RESOURCES})
set_target_properties(corvane-setup PROPERTIES
  OUTPUT_NAME corvane-setup
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(corvane-setup PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res)
# Same dialect as the system code.
target_compile_options(corvane-setup PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -municode>)
corvane_cxx_only_warnings(corvane-setup)
target_link_options(corvane-setup PRIVATE -municode -mwindows ${CORVANE_STATIC_RUNTIME})
# Known DLLs only: Windows loads those from the system directory whatever
# lies beside the program. The spooler's winspool.drv and version.dll are
# loaded at run time from the system directory (src/platform/win32/
# system_library.h).
target_link_libraries(corvane-setup PRIVATE
  corvane_system shell32 user32 advapi32 kernel32)

# ---- Companion stand-ins ------------------------------------------------------
# The package files and the tray companion the installer deploys, with the
# build number in their version resources. Another build (an older driver,
# say) is made by calling corvane_companion with another BUILD and OUTDIR.
set(CORVANE_COMPANION_BUILD 2620 CACHE STRING
  "Build number in the version resources of the companion stand-ins")
set(CORVANE_OLD_DRIVER_BUILD 2604 CACHE STRING
  "Build number of the extra driver stand-in the tests use as an outdated driver")
set(CORVANE_COMPANION_DIR ${CMAKE_BINARY_DIR}/companions)

# corvane_companion(TARGET FILE name BUILD n OUTDIR dir KIND DLL|APP
#                   DESCRIPTION text SOURCES files...)
function(corvane_companion target)
  cmake_parse_arguments(C "" "FILE;BUILD;OUTDIR;KIND;DESCRIPTION" "SOURCES" ${ARGN})
  get_filename_component(_stem ${C_FILE} NAME_WE)
  set(COMPANION_FILE ${C_FILE})
  set(COMPANION_BUILD ${C_BUILD})
  set(COMPANION_DESCRIPTION ${C_DESCRIPTION})
  if(C_KIND STREQUAL "DLL")
    set(COMPANION_FILETYPE VFT_DLL)
  else()
    set(COMPANION_FILETYPE VFT_APP)
  endif()
  set(_rc ${CMAKE_BINARY_DIR}/companion-rc/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/companions/version.rc.in ${_rc} @ONLY)

  if(C_KIND STREQUAL "DLL")
    add_library(${target} SHARED ${C_SOURCES} ${_rc})
    set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".dll"
      # Nothing links against the stand-ins; keep their import libraries apart.
      ARCHIVE_OUTPUT_DIRECTORY ${C_OUTDIR}/implib)
    target_link_options(${target} PRIVATE ${CORVANE_STATIC_RUNTIME})
  else()
    add_executable(${target} WIN32 ${C_SOURCES} ${_rc})
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-municode>)
    target_link_options(${target} PRIVATE -municode -mwindows ${CORVANE_STATIC_RUNTIME})
  endif()
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${_stem}
    RUNTIME_OUTPUT_DIRECTORY ${C_OUTDIR})
  corvane_cxx_only_warnings(${target})
endfunction()

set(_c ${CMAKE_SOURCE_DIR}/companions)
corvane_companion(vexmon64 FILE vexmon64.dll KIND DLL
  BUILD ${CORVANE_COMPANION_BUILD} OUTDIR ${CORVANE_COMPANION_DIR}
  DESCRIPTION "Corvane port monitor"
  SOURCES ${_c}/vexmon.cpp ${_c}/vexmon.def)
corvane_companion(vexdrv64 FILE vexdrv64.dll KIND DLL
  BUILD ${CORVANE_COMPANION_BUILD} OUTDIR ${CORVANE_COMPANION_DIR}
  DESCRIPTION "Corvane printer driver"
  SOURCES ${_c}/vexdrv.cpp ${_c}/vexdrv.def)
corvane_companion(vexui64 FILE vexui64.dll KIND DLL
  BUILD ${CORVANE_COMPANION_BUILD} OUTDIR ${CORVANE_COMPANION_DIR}
  DESCRIPTION "Corvane printer settings"
  SOURCES ${_c}/vexui.cpp ${_c}/vexui.def)
corvane_companion(cortray FILE cortray.exe KIND APP
  BUILD ${CORVANE_COMPANION_BUILD} OUTDIR ${CORVANE_COMPANION_DIR}
  DESCRIPTION "Corvane tray companion"
  SOURCES ${_c}/cortray.cpp)
target_link_libraries(cortray PRIVATE user32)
corvane_sign(corvane-setup vexmon64 vexdrv64 vexui64 cortray)

# An outdated driver for the build check of the tests.
corvane_companion(vexdrv64-old FILE vexdrv64.dll KIND DLL
  BUILD ${CORVANE_OLD_DRIVER_BUILD}
  OUTDIR ${CORVANE_COMPANION_DIR}/build${CORVANE_OLD_DRIVER_BUILD}
  DESCRIPTION "Corvane printer driver"
  SOURCES ${_c}/vexdrv.cpp ${_c}/vexdrv.def)

# ---- Test inspector ----------------------------------------------------------------
# Console program the Wine tests use to read and set up the spooler's state.
add_executable(corvane-inspect ${CMAKE_SOURCE_DIR}/tests/e2e/inspector.cpp)
set_target_properties(corvane-inspect PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
target_compile_options(corvane-inspect PRIVATE -municode)
target_link_options(corvane-inspect PRIVATE -municode ${CORVANE_STATIC_RUNTIME})
target_link_libraries(corvane-inspect PRIVATE winspool version user32 advapi32)

# Libraries the Wine tests plant beside the installer, as whoever can write
# to its folder would: each leaves a marker file when loaded and forwards
# its exports to the system's copy.
set(_planted ${CMAKE_SOURCE_DIR}/tests/e2e/planted)
foreach(_library version winspool)
  add_library(planted-${_library} SHARED ${_planted}/planted_library.cpp ${_planted}/${_library}.def)
  target_link_options(planted-${_library} PRIVATE ${CORVANE_STATIC_RUNTIME})
  set_target_properties(planted-${_library} PROPERTIES PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/planted
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/planted/implib)
endforeach()
set_target_properties(planted-version PROPERTIES OUTPUT_NAME VERSION SUFFIX ".dll")
set_target_properties(planted-winspool PROPERTIES OUTPUT_NAME WINSPOOL SUFFIX ".DRV")

# ---- Shipping layout ------------------------------------------------------------
# dist/Corvane/Setup holds the installer and the package files beside it;
# the tray companion lies one folder up, where the installer looks for it.
set(_dist ${CMAKE_BINARY_DIR}/dist/Corvane)
set(_dist_files
  ${_dist}/Setup/corvane-setup.exe ${_dist}/Setup/vexmon64.dll ${_dist}/Setup/vexdrv64.dll
  ${_dist}/Setup/vexui64.dll ${_dist}/Setup/vexhelp.chm ${_dist}/cortray.exe)
add_custom_command(OUTPUT ${_dist_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_dist}/Setup
  COMMAND ${CMAKE_COMMAND} -E copy_if_different
    $<TARGET_FILE:corvane-setup> $<TARGET_FILE:vexmon64> $<TARGET_FILE:vexdrv64>
    $<TARGET_FILE:vexui64> ${_c}/vexhelp.chm ${_dist}/Setup
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:cortray> ${_dist}
  # copy_if_different leaves unchanged files old; the outputs must be newer
  # than their inputs or the layout is copied on every build.
  COMMAND ${CMAKE_COMMAND} -E touch ${_dist_files}
  DEPENDS corvane-setup vexmon64 vexdrv64 vexui64 cortray ${_c}/vexhelp.chm
  COMMENT "Laying out dist/Corvane"
  VERBATIM)
# Part of the default build, so one build gives everything the tests run.
add_custom_target(dist ALL DEPENDS ${_dist_files})

# ---- Windows Installer package ------------------------------------------------------
include(${CMAKE_SOURCE_DIR}/package/package.cmake)

# ---- Machine capture -----------------------------------------------------------
# A tool for whoever supports the product, not part of the package: writes the
# machine it runs on as a machine directory (src/capture/machine_capture.h).
file(GLOB CAPTURE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/capture/*.cpp)
set(CAPTURE_PLATFORM_SOURCES ${WIN32_PLATFORM_SOURCES})
list(REMOVE_ITEM CAPTURE_PLATFORM_SOURCES ${CMAKE_SOURCE_DIR}/src/platform/win32/win_main.cpp)
add_executable(corvane-capture ${CAPTURE_SOURCES} ${CAPTURE_PLATFORM_SOURCES}
  ${CMAKE_SOURCE_DIR}/src/platform/win32/capture_win_main.cpp
  ${CMAKE_SOURCE_DIR}/src/capture/corvane-capture.rc)
set_target_properties(corvane-capture PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dist/tools)
target_include_directories(corvane-capture PRIVATE ${CMAKE_SOURCE_DIR}/src)
corvane_cxx_only_warnings(corvane-capture)
target_link_options(corvane-capture PRIVATE ${CORVANE_STATIC_RUNTIME})
target_link_libraries(corvane-capture PRIVATE corvane_system shell32 user32 advapi32 kernel32)
corvane_sign(corvane-capture)

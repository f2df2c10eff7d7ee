# Windows build: the system code runs against the real Win32 API.
file(GLOB WIN32_PLATFORM_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/platform/win32/*.cpp)

# Resource scripts (dialog templates, manifest) are compiled in when present.
file(GLOB WIN32_RESOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/*.rc)
if(WIN32_RESOURCES)
  enable_language(RC)
endif()

# WIN32 selects the GUI subsystem (-mwindows).
add_executable(corvane-setup WIN32 ${WIN32_PLATFORM_SOURCES} ${WIN32_RESOURCES})
set_target_properties(corvane-setup PROPERTIES
  OUTPUT_NAME corvane-setup
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(corvane-setup PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/res)

# Same dialect as the system code. The warning flags from the top level are
# meant for C++ only; windres would reject them.
target_compile_options(corvane-setup PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -municode>)
if(WIN32_RESOURCES)
  get_target_property(_corvane_opts corvane-setup COMPILE_OPTIONS)
  list(TRANSFORM _corvane_opts REPLACE "^(-W.*)$" "$<$<COMPILE_LANGUAGE:CXX>:\\1>")
  set_target_properties(corvane-setup PROPERTIES COMPILE_OPTIONS "${_corvane_opts}")
endif()

# Unicode entry (wWinMain) and a fully static runtime, so the executable runs
# on a bare Windows or a fresh Wine prefix without MinGW DLLs beside it.
target_link_options(corvane-setup PRIVATE
  -municode -mwindows -static -static-libgcc -static-libstdc++)
target_link_libraries(corvane-setup PRIVATE
  corvane_system winspool version shell32 user32 advapi32 kernel32)

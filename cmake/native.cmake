# Native Linux build: the system code runs against the simulated machine.
file(GLOB SIM_SOURCES CONFIGURE_DEPENDS src/platform/sim/*.cpp)
list(REMOVE_ITEM SIM_SOURCES ${CMAKE_SOURCE_DIR}/src/platform/sim/host_main.cpp
  ${CMAKE_SOURCE_DIR}/src/platform/sim/capture_host_main.cpp)

add_library(corvane_sim STATIC ${SIM_SOURCES})
target_include_directories(corvane_sim PUBLIC src)
target_link_libraries(corvane_system PUBLIC corvane_sim)

add_executable(corvane-setup src/platform/sim/host_main.cpp)
target_link_libraries(corvane-setup PRIVATE corvane_system)

# The control tool for the machine directories corvane-setup runs on.
add_executable(corvane-sim src/platform/sim/tool/corvane_sim.cpp src/platform/sim/tool/summary.cpp)
target_link_libraries(corvane-sim PRIVATE corvane_sim)

# The machine capture, run on a simulated machine (src/capture/machine_capture.h).
file(GLOB CAPTURE_SOURCES CONFIGURE_DEPENDS src/capture/*.cpp)
add_executable(corvane-capture ${CAPTURE_SOURCES} src/platform/sim/capture_host_main.cpp)
target_link_libraries(corvane-capture PRIVATE corvane_system)

if(CORVANE_FUZZ)
  add_subdirectory(fuzz)
elseif(CORVANE_BENCH)
  add_subdirectory(bench)
else()
  enable_testing()
  add_subdirectory(tests)
endif()

# What makes two clean builds of one commit, in any two folders, give the
# same bytes (scripts/rebuild-compare.sh checks it).

# No checkout's path compiled in (__FILE__, debug information).
set(_prefix_map $<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>)
add_compile_options(${_prefix_map})
target_compile_options(corvane_system PRIVATE ${_prefix_map})

# No link time in the PE headers: the file header's and the export
# directory's time stamps stay 0, so the checksum follows from the rest.
add_link_options(-Wl,--no-insert-timestamp)

# The sources' date, for what a tool would otherwise date with the clock
# (the package's summary and its files, the signing time):
# SOURCE_DATE_EPOCH when set, else the time of the commit configured.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(CORVANE_SOURCE_DATE $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
    OUTPUT_VARIABLE CORVANE_SOURCE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE _git_failed ERROR_QUIET)
  if(_git_failed OR NOT CORVANE_SOURCE_DATE)
    message(FATAL_ERROR "Not a git checkout: set SOURCE_DATE_EPOCH to the sources' date (seconds since 1970)")
  endif()
endif()
# string(TIMESTAMP) and whatever else reads it takes the same date.
set(ENV{SOURCE_DATE_EPOCH} ${CORVANE_SOURCE_DATE})
string(TIMESTAMP CORVANE_SOURCE_DATE_TEXT "%Y-%m-%d %H:%M:%S" UTC)

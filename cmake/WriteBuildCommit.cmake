# Run at build time (cmake -P) by the build_commit target of bench/CMakeLists.txt: writes
# OUTPUT, a C++ source defining bench::buildCommit() as the commit checked out in SOURCE_DIR
# ("unknown" outside a git checkout). The file is rewritten only when the commit changed, so
# that a build at the same commit recompiles and relinks nothing.
execute_process(COMMAND git rev-parse --short HEAD
                WORKING_DIRECTORY "${SOURCE_DIR}"
                OUTPUT_VARIABLE commit
                OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET
                RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR commit STREQUAL "")
  set(commit unknown)
endif()
set(text "// Written by cmake/WriteBuildCommit.cmake at build time.
#include \"bench/run/BuildInfo.h\"

const char* bench::buildCommit() { return \"${commit}\"; }
")
set(previous "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" previous)
endif()
if(NOT previous STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()

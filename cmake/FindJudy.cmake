# FindJudy: the Judy array library (Debian: libjudy-dev), which ships no CMake package.
#
# Defines Judy_FOUND, Judy_INCLUDE_DIR, Judy_LIBRARY and the imported target Judy::Judy.
find_path(Judy_INCLUDE_DIR NAMES Judy.h)
find_library(Judy_LIBRARY NAMES Judy)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Judy REQUIRED_VARS Judy_LIBRARY Judy_INCLUDE_DIR)

if(Judy_FOUND AND NOT TARGET Judy::Judy)
  add_library(Judy::Judy UNKNOWN IMPORTED)
  set_target_properties(Judy::Judy PROPERTIES
    IMPORTED_LOCATION "${Judy_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Judy_INCLUDE_DIR}")
endif()
mark_as_advanced(Judy_INCLUDE_DIR Judy_LIBRARY)

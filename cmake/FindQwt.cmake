# Finds Qwt built for Qt 5 (Debian: headers in /usr/include/qwt, library
# /usr/lib/libqwt-qt5.so; Debian ships no CMake config for it).
# Provides the imported target Qwt::Qwt.
find_path(QWT_INCLUDE_DIR NAMES qwt_plot.h
          PATHS /usr/include /usr/local/include
          PATH_SUFFIXES qwt qwt-qt5 qwt6)
find_library(QWT_LIBRARY NAMES qwt-qt5 qwt6-qt5 qwt
             PATHS /usr/lib /usr/lib/x86_64-linux-gnu /usr/local/lib)
if(QWT_INCLUDE_DIR AND EXISTS "${QWT_INCLUDE_DIR}/qwt_global.h")
  file(STRINGS "${QWT_INCLUDE_DIR}/qwt_global.h" _qwt_ver REGEX "define[ \t]+QWT_VERSION_STR")
  string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" QWT_VERSION "${_qwt_ver}")
endif()
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Qwt REQUIRED_VARS QWT_LIBRARY QWT_INCLUDE_DIR
                                  VERSION_VAR QWT_VERSION)
if(Qwt_FOUND AND NOT TARGET Qwt::Qwt)
  add_library(Qwt::Qwt UNKNOWN IMPORTED)
  # An imported target's include dirs are passed as -isystem, so Qwt's own
  # headers do not trip our warning flags.
  set_target_properties(Qwt::Qwt PROPERTIES
    IMPORTED_LOCATION "${QWT_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${QWT_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES Qt5::Widgets)
  if(WIN32)
    # Qwt's classes are imported from qwt.dll only when QWT_DLL is set; without
    # it a signal's address is the import thunk's, and connecting to it fails.
    set_property(TARGET Qwt::Qwt APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS QWT_DLL)
  endif()
endif()
mark_as_advanced(QWT_INCLUDE_DIR QWT_LIBRARY)

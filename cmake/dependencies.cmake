# Installed dependencies: zlib from Debian's mingw package, Expat built by scripts/setup into
# build/deps/<arch>, GoogleTest from Debian's sources.

find_library(ZLIB_STATIC NAMES libz.a REQUIRED)
add_library(zlib STATIC IMPORTED GLOBAL)
set_target_properties(zlib PROPERTIES IMPORTED_LOCATION ${ZLIB_STATIC})

set(EXPAT_PREFIX ${PROJECT_SOURCE_DIR}/build/deps/${CMAKE_SYSTEM_PROCESSOR})
if(NOT EXISTS ${EXPAT_PREFIX}/lib/libexpatw.a)
  message(FATAL_ERROR "Expat for ${CMAKE_SYSTEM_PROCESSOR} is missing: run scripts/setup")
endif()
add_library(expat STATIC IMPORTED GLOBAL)
set_target_properties(expat PROPERTIES
  IMPORTED_LOCATION ${EXPAT_PREFIX}/lib/libexpatw.a
  INTERFACE_INCLUDE_DIRECTORIES ${EXPAT_PREFIX}/include
  INTERFACE_COMPILE_DEFINITIONS "XML_UNICODE;XML_UNICODE_WCHAR_T;XML_STATIC")

set(GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

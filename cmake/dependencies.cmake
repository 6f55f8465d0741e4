# Installed dependencies: zlib from Debian's mingw package, Expat and libmp3lame built by scripts/setup into
# build/deps/<arch>, GoogleTest from Debian's sources.

find_library(ZLIB_STATIC NAMES libz.a REQUIRED)
add_library(zlib STATIC IMPORTED GLOBAL)
set_target_properties(zlib PROPERTIES IMPORTED_LOCATION ${ZLIB_STATIC})

set(DEPS_PREFIX ${PROJECT_SOURCE_DIR}/build/deps/${CMAKE_SYSTEM_PROCESSOR})

# An imported static library from build/deps/<arch>, with that prefix's headers.
function(add_deps_library name file)
  if(NOT EXISTS ${DEPS_PREFIX}/lib/${file})
    message(FATAL_ERROR "${file} for ${CMAKE_SYSTEM_PROCESSOR} is missing: run scripts/setup")
  endif()
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION ${DEPS_PREFIX}/lib/${file}
    INTERFACE_INCLUDE_DIRECTORIES ${DEPS_PREFIX}/include)
endfunction()

add_deps_library(expat libexpatw.a)
set_target_properties(expat PROPERTIES
  INTERFACE_COMPILE_DEFINITIONS "XML_UNICODE;XML_UNICODE_WCHAR_T;XML_STATIC")
# Only the MP3 encoder stand-in links libmp3lame.
add_deps_library(mp3lame libmp3lame.a)

set(GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)


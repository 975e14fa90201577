# The Windows build's dependencies: spdlog and fmt header-only from the host's Debian headers. The
# compiler sees a folder holding only those two, so no Linux header can shadow a mingw-w64 one.
set(ZL_WIN_DEPS_HEADERS /usr/include CACHE PATH "Folder holding the spdlog and fmt header folders")
set(deps_include ${CMAKE_BINARY_DIR}/deps-include)
file(MAKE_DIRECTORY ${deps_include})
foreach(dep spdlog fmt)
  if(NOT EXISTS ${ZL_WIN_DEPS_HEADERS}/${dep}/)
    message(FATAL_ERROR "${ZL_WIN_DEPS_HEADERS}/${dep} not found: apt-get install libspdlog-dev libfmt-dev")
  endif()
  file(REMOVE ${deps_include}/${dep})
  file(CREATE_LINK ${ZL_WIN_DEPS_HEADERS}/${dep} ${deps_include}/${dep} SYMBOLIC)
endforeach()

add_library(zl_fmt_headers INTERFACE)
target_include_directories(zl_fmt_headers SYSTEM INTERFACE ${deps_include})
target_compile_definitions(zl_fmt_headers INTERFACE FMT_HEADER_ONLY)
add_library(fmt::fmt ALIAS zl_fmt_headers)

# SPDLOG_FMT_EXTERNAL agrees with Debian's tweakme.h, which defines it to 1 as well.
add_library(zl_spdlog_headers INTERFACE)
target_compile_definitions(zl_spdlog_headers INTERFACE
  SPDLOG_FMT_EXTERNAL SPDLOG_WCHAR_TO_UTF8_SUPPORT SPDLOG_WCHAR_FILENAMES)
target_link_libraries(zl_spdlog_headers INTERFACE zl_fmt_headers)
add_library(spdlog::spdlog ALIAS zl_spdlog_headers)

# The .rc scripts are UTF-8 with #pragma code_page(65001), which mingw-w64's windres reads right.
if(NOT CMAKE_RC_COMPILER MATCHES "windres")
  message(FATAL_ERROR "The Windows build compiles resources with mingw-w64's windres, not ${CMAKE_RC_COMPILER}")
endif()

# Whole SDK headers mingw-w64 does not ship (prcomoem.h, printoem.h), found under their SDK names; the
# Linux build uses the same copies. Searched before mingw-w64's own, so one that mingw-w64 starts
# shipping would be shadowed: say so.
include_directories(${CMAKE_SOURCE_DIR}/winbuild/include ${CMAKE_SOURCE_DIR}/sdk/include)
foreach(header prcomoem.h printoem.h)
  if(EXISTS ${CMAKE_FIND_ROOT_PATH}/include/${header})
    message(WARNING "mingw-w64 now ships ${header}: drop sdk/include/${header}")
  endif()
endforeach()

# What mingw-w64's headers lack, seen by every C++ source and .rc script as if the SDK declared it.
set(win32_missing ${CMAKE_SOURCE_DIR}/winbuild/include/win32_missing.h)
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-include${win32_missing}>)
# CMake hands the resource compiler no compile options, only these flags.
string(APPEND CMAKE_RC_FLAGS " --preprocessor-arg=-include${win32_missing}")

# Collects the sources of one folder: the platform-free files and the files of the platform we build
# for (Foo_win32.cpp or Foo_linux.cpp); the other platform's files are left out.
function(vorn_collect_sources out dir)
  file(GLOB all CONFIGURE_DEPENDS "${dir}/*.cpp")
  set(kept "")
  foreach(f IN LISTS all)
    get_filename_component(name "${f}" NAME_WE)
    if(name MATCHES "_win32$")
      if(WIN32)
        list(APPEND kept "${f}")
      endif()
    elseif(name MATCHES "_linux$")
      if(NOT WIN32)
        list(APPEND kept "${f}")
      endif()
    else()
      list(APPEND kept "${f}")
    endif()
  endforeach()
  set(${out} "${kept}" PARENT_SCOPE)
endfunction()

set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)

if(WIN32)
  # Static runtime so that the test programs run under Wine without copying MinGW's DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  # Log lines are printf-style throughout; a format that is not a literal, or one fed a text it
  # does not expect, must show at build time, and a text passed as the format fails the build.
  # The log prints dates in the locale's own form ("%c") on purpose, which is all format-y2k flags.
  add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wformat=2 -Wno-format-y2k -Werror=format-security)
endif()

# Compiles through ccache when it is installed. Paths are made relative to the source folder and the
# working folder is left out of the key, so a clone in another folder hits the same cache entries.
option(VORN_COMPILER_CACHE "Compile through ccache when it is installed" ON)
if(VORN_COMPILER_CACHE)
  find_program(VORN_CCACHE ccache)
  if(VORN_CCACHE)
    set(launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} CCACHE_NOHASHDIR=1
                 CCACHE_SLOPPINESS=include_file_ctime,include_file_mtime ${VORN_CCACHE})
    set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
  endif()
endif()

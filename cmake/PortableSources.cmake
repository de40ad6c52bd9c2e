# The desktop program's widgets (ui/) and the application core (app/) build for Linux and
# for Windows alike: they reach the system only through platform/ and link/. This check
# stops the configure step when one of their files includes a POSIX or Linux header.
file(GLOB_RECURSE portable_sources ${PROJECT_SOURCE_DIR}/ui/*.cpp ${PROJECT_SOURCE_DIR}/ui/*.h
     ${PROJECT_SOURCE_DIR}/app/*.cpp ${PROJECT_SOURCE_DIR}/app/*.h)
set(posix_header_pattern
    "^[ \t]*#[ \t]*include[ \t]*<(unistd|fcntl|poll|termios|pty|dirent|pthread|signal|dlfcn|sys/[a-z_]+|asm/[a-z_]+|linux/[a-z_]+)\\.h>")
foreach(source ${portable_sources})
  file(STRINGS ${source} posix_includes REGEX "${posix_header_pattern}")
  if(posix_includes)
    file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${source})
    message(FATAL_ERROR "${shown} includes a POSIX header (${posix_includes}); ui/ and app/ must build on "
                        "Windows too: go through platform/ or link/")
  endif()
endforeach()

# The shared product sources build for Linux and for Windows alike: they reach the system
# only through the platform layer, whose two sides live in posix/ and win32/ folders of their
# layers, and the build picks a side by folder. This check stops the configure step when a
# shared file includes a POSIX, Linux or Win32 header, or switches on the platform with the
# preprocessor. The station's files in cli/ are moving into a room of their own with such
# folders and are left out until then.
set(portable_folders app boot cli link modbus package platform ui upgrade station)
set(portable_sources)
foreach(folder ${portable_folders})
  file(GLOB_RECURSE folder_sources ${PROJECT_SOURCE_DIR}/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  list(APPEND portable_sources ${folder_sources})
endforeach()
list(FILTER portable_sources EXCLUDE REGEX "/(posix|win32)/")
list(FILTER portable_sources EXCLUDE REGEX "/cli/(Station|PortList)[^/]*$")
set(platform_header_pattern
    "^[ \t]*#[ \t]*include[ \t]*<(unistd|fcntl|poll|termios|pty|dirent|pthread|signal|dlfcn|sys/[a-z_]+|asm/[a-z_]+|linux/[a-z_]+|windows|winbase|winuser|shellapi|commctrl|commdlg|shlobj)\\.h>")
set(platform_switch_pattern "^[ \t]*#[ \t]*(if|ifdef|ifndef|elif)[^\n]*(_WIN32|_WIN64|WIN32|__linux__|__unix__|__APPLE__|__MINGW)")
foreach(source ${portable_sources})
  file(STRINGS ${source} platform_lines REGEX "${platform_header_pattern}|${platform_switch_pattern}")
  if(platform_lines)
    file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${source})
    message(FATAL_ERROR "${shown} is a shared file but depends on the platform (${platform_lines}): "
                        "put what is platform-specific in a posix/ or win32/ folder of its layer")
  endif()
endforeach()

# The two header-only libraries from Debian: nlohmann-json (the station's report) and CLI11
# (the programs' options). A native build finds them by their package configuration. A cross
# build must not put the host's /usr/include on the cross compiler's path, since the host's C
# library headers would then shadow MinGW's; it copies just the two libraries' own header
# folders into the build tree and offers them under the same target names.
if(CMAKE_CROSSCOMPILING)
  set(bootloader_staged_headers ${CMAKE_BINARY_DIR}/host-headers)
  foreach(entry "nlohmann_json::nlohmann_json|nlohmann|json.hpp" "CLI11::CLI11|CLI|CLI.hpp")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 target)
    list(GET entry 1 folder)
    list(GET entry 2 header)
    find_path(bootloader_host_${folder} ${folder}/${header} PATHS /usr/include /usr/local/include
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
    file(COPY ${bootloader_host_${folder}}/${folder} DESTINATION ${bootloader_staged_headers})
    if(NOT TARGET ${target})
      add_library(${target} INTERFACE IMPORTED)
      set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES
                                                 ${bootloader_staged_headers})
    endif()
  endforeach()
else()
  find_package(nlohmann_json 3 REQUIRED)
  find_package(CLI11 2 REQUIRED)
endif()

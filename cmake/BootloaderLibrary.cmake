# bootloader_folder_library(<name> [DEPS <targets>...])
# One static library per source folder, built from every .cpp in it. A folder
# that has only headers yet becomes an INTERFACE library, so dependents link
# the same way either way.
function(bootloader_folder_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES" ${ARGN})
  if(ARG_SOURCES)
    set(sources ${ARG_SOURCES})
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# bootloader_test(<folder> [DEPS <targets>...])
# One GoogleTest executable per test folder, its cases registered with CTest.
function(bootloader_test folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  set(target ${folder}_tests)
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE testsupport ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  # Tests find the programs (unitsim, bootloader-cli) through BOOTLOADER_BIN_DIR; the
  # same path is compiled in for a test binary started by hand.
  target_compile_definitions(${target} PRIVATE BOOTLOADER_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  # Each property takes one value here: a list in ENVIRONMENT would be split apart.
  gtest_discover_tests(${target}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "BOOTLOADER_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
               ENVIRONMENT_MODIFICATION "QT_QPA_PLATFORM=set:offscreen"
               TIMEOUT 300)
endfunction()

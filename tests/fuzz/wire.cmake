# libFuzzer target for the UI process's decoding of the web process's post messages (the wire form).
# Included from tests/fuzz/CMakeLists.txt with:  include(${CMAKE_CURRENT_LIST_DIR}/wire.cmake)
# Needs clang (libFuzzer); with another compiler it adds nothing.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(CORVANE_WIRE_GLIB REQUIRED IMPORTED_TARGET glib-2.0)
  find_package(nlohmann_json 3.10 REQUIRED)
  set(corvane_wire_bridge ${PROJECT_SOURCE_DIR}/shell/gtk/bridge)
  add_executable(corvane_wire_fuzz ${CMAKE_CURRENT_LIST_DIR}/wire_fuzz.cpp ${corvane_wire_bridge}/BridgeValue.cpp)
  target_include_directories(corvane_wire_fuzz PRIVATE ${corvane_wire_bridge})
  target_compile_options(corvane_wire_fuzz PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
  target_link_options(corvane_wire_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(corvane_wire_fuzz PRIVATE PkgConfig::CORVANE_WIRE_GLIB nlohmann_json::nlohmann_json)
  # A few seconds as a smoke test; new inputs go to the build tree, never into the seeds.
  add_test(NAME fuzz.wire COMMAND sh -c "mkdir -p wire-found && exec \"$0\" -max_total_time=4 -timeout=10 wire-found \"$1\""
    $<TARGET_FILE:corvane_wire_fuzz> ${CMAKE_CURRENT_LIST_DIR}/corpus/wire
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(fuzz.wire PROPERTIES LABELS fuzz)
endif()

# Shared compiler settings for every target of the project.

# ovela_warnings(target): the project's warning set; errors in CI (OVELA_WERROR).
function(ovela_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(OVELA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# ovela_engine_library(target): a shared engine with a C interface and nothing else visible.
function(ovela_engine_library target)
  set_target_properties(${target} PROPERTIES
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    POSITION_INDEPENDENT_CODE ON)
  # Sanitizer runtimes are linked into the executable only, so the check would fail there.
  if(NOT OVELA_SANITIZE AND NOT OVELA_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
  ovela_warnings(${target})
endfunction()

# ovela_add_gtest(name SOURCES ... LIBS ... [SERIAL] [ENV ...]): one GoogleTest program under CTest.
function(ovela_add_gtest name)
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  ovela_warnings(${name})
  # The program's logic loads the engines by name; the tests find them beside themselves.
  set_target_properties(${name} PROPERTIES BUILD_RPATH "$ORIGIN")
  if(NOT T_TIMEOUT)

    set(T_TIMEOUT 300)
  endif()
  # No test asks the machine's real router to forward ports: the router test makes its own.
  set(env OVELA_MAP_PORTS=No ${T_ENV})
  set(props TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# Nothing of the source folder's path goes into the binaries, not even their debugging notes.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.)

if(OVELA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(OVELA_FUZZ)
  # The engines are instrumented for coverage too, so the fuzzers can steer into them.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

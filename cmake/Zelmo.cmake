# Build helpers shared by every folder: libraries from a folder's sources, GoogleTest executables,
# benchmarks and fuzz targets.
include(GoogleTest)

# zelmo_library(NAME [SHARED] [SOURCES ...] [DEPS ...] [PUBLIC_DEPS ...])
# Without SOURCES, every *.cpp of the calling folder (not its subfolders) is taken.
function(zelmo_library name)
    cmake_parse_arguments(L "SHARED" "" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
    if(NOT L_SOURCES)
        file(GLOB L_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    endif()
    if(L_SHARED)
        add_library(${name} SHARED ${L_SOURCES})
    else()
        add_library(${name} STATIC ${L_SOURCES})
    endif()
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${L_PUBLIC_DEPS} PRIVATE ${L_DEPS})
endfunction()

# zelmo_test(NAME SOURCES ... [LIBS ...] [PROPERTIES name value ...])
# One GoogleTest executable; each test case becomes a CTest test, discovered when CTest runs.
# PROPERTIES are set on every test case (RUN_SERIAL TRUE, for instance).
function(zelmo_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${T_LIBS} zelmo_testmain GTest::gmock GTest::gtest)
    set(properties)
    if(T_PROPERTIES)
        set(properties PROPERTIES ${T_PROPERTIES})
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/tests ${properties})
endfunction()

# zelmo_glob_tests(LIBS ... [PROPERTIES ...]): one executable per *_test.cpp of the calling
# folder, named after the folder and the file (tests/config/text_test.cpp becomes
# config_text_test).
function(zelmo_glob_tests)
    cmake_parse_arguments(G "" "" "LIBS;PROPERTIES" ${ARGN})
    get_filename_component(prefix ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    file(GLOB files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
    foreach(file ${files})
        get_filename_component(stem ${file} NAME_WE)
        zelmo_test(${prefix}_${stem} SOURCES ${file} LIBS ${G_LIBS} PROPERTIES ${G_PROPERTIES})
    endforeach()
endfunction()

# zelmo_benchmark(NAME SOURCES ... [LIBS ...]): a Google Benchmark executable under build/bench.
function(zelmo_benchmark name)
    cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${B_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
    target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()

# zelmo_fuzzer(NAME SOURCES ... [LIBS ...]): a libFuzzer target, built only with ZELMO_FUZZ.
function(zelmo_fuzzer name)
    if(NOT ZELMO_FUZZ)
        return()
    endif()
    cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# GoogleTest: Debian's package natively; built from /usr/src/googletest when cross-compiling,
# since no prebuilt GoogleTest exists for the target there.
if(CMAKE_CROSSCOMPILING)
    if(NOT TARGET GTest::gtest_main)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
        add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
        if(NOT TARGET GTest::gtest_main)  # GoogleTest 1.11 and later define them itself
            add_library(GTest::gtest ALIAS gtest)
            add_library(GTest::gtest_main ALIAS gtest_main)
        endif()
    endif()
else()
    find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# ostrel_test(NAME LABEL sources... [REAL_TIME] [LIBS libs...]) builds one test program and
# registers its cases with CTest under the given label, so `ctest -L LABEL` runs one area.
# REAL_TIME marks tests whose simulated tracker answers on a real line in real time: its thread
# must get the processor within the protocol's budgets of 100 to 500 ms, so no two of them run
# at once.
function(ostrel_test name label)
    cmake_parse_arguments(T "REAL_TIME" "" "LIBS" ${ARGN})
    add_executable(${name} ${T_UNPARSED_ARGUMENTS})
    ostrel_warnings(${name})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
    set(lock "")
    if(T_REAL_TIME)
        set(lock real_time_line)
    endif()
    gtest_discover_tests(${name} PROPERTIES LABELS ${label} RESOURCE_LOCK "${lock}"
                         DISCOVERY_TIMEOUT 60)
endfunction()

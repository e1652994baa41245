# Our own targets build with every warning as an error; third-party code keeps its own flags.
function(knot_warnings target)
    # Resource scripts are compiled too, by a compiler that knows none of these.
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra;-Werror>")
endfunction()

# Adds a GoogleTest executable from the given sources and registers its tests with CTest.
# LABELS "threads" marks suites that also run under ThreadSanitizer; PROPERTIES are CTest
# properties given to each of its tests.
function(knot_add_test name)
    cmake_parse_arguments(ARG "ONE_TEST" "" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    knot_warnings(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    if(TARGET knot_gtest_pch)
        target_precompile_headers(${name} REUSE_FROM knot_gtest_pch)
    endif()
    # Every suite may print its cases by name (case_printer.h).
    if(TARGET knot_test_files)
        target_link_libraries(${name} PRIVATE knot_test_files)
    endif()
    # `threaded_tests` builds only the suites worth ThreadSanitizer's time.
    if("threads" IN_LIST ARG_LABELS)
        if(NOT TARGET threaded_tests)
            add_custom_target(threaded_tests)
        endif()
        add_dependencies(threaded_tests ${name})
    endif()
    # A suite whose cases start threads or processes gives CTest a test per case, run side by
    # side; any other suite is one test, so that its cases do not each pay a process start
    # (about a second under the sanitizers), and so is one whose quick threaded cases say
    # ONE_TEST.
    if(CMAKE_CROSSCOMPILING OR ARG_ONE_TEST OR NOT "threads" IN_LIST ARG_LABELS)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" ${ARG_PROPERTIES})
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                             PROPERTIES LABELS "${ARG_LABELS}" ${ARG_PROPERTIES})
    endif()
endfunction()

# corvena_test(NAME SOURCES... LIBS ... [THREADED] [SERIAL] [LABEL name])
# Every subsystem keeps its tests in its own tests/ folder and declares them with this.
# THREADED tests also run in the ThreadSanitizer build (label "threaded"). SERIAL tests run
# alone: they look the engine up by its program name, which another test's engine would answer,
# or hold a time bound that other tests' load would stretch.
# LABEL replaces the label "unit", so that ctest -L picks such a group out.
function(corvena_test name)
    if(NOT CORVENA_TESTS)
        return()
    endif()
    cmake_parse_arguments(T "THREADED;SERIAL" "LABEL" "SOURCES;LIBS" ${ARGN})
    # The ThreadSanitizer tree runs only the threaded tests, so it builds only those.
    if(CORVENA_SANITIZE STREQUAL "thread" AND NOT T_THREADED)
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
    set(labels unit)
    if(T_THREADED)
        set(labels threaded)
    elseif(T_LABEL)
        set(labels ${T_LABEL})
    endif()
    set(serial FALSE)
    if(T_SERIAL)
        set(serial TRUE)
    endif()
    gtest_discover_tests(${name} PROPERTIES LABELS "${labels}" RUN_SERIAL ${serial}
                         DISCOVERY_TIMEOUT 60)
endfunction()

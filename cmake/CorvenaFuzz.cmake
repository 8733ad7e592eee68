# corvena_fuzzer(NAME SOURCES... [LIBS ...])
# A libFuzzer target with ASan+UBSan. The code under test is listed among the sources so that
# it is instrumented too. Needs clang: configure a separate tree with
# -DCMAKE_CXX_COMPILER=clang++ -DCORVENA_FUZZ=ON (scripts/fuzz does).
option(CORVENA_FUZZ "Build the libFuzzer targets" OFF)

function(corvena_fuzzer name)
    if(NOT CORVENA_FUZZ)
        return()
    endif()
    cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined
                                           -fno-sanitize-recover=undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    # "fuzzers" builds them all.
    if(NOT TARGET fuzzers)
        add_custom_target(fuzzers)
    endif()
    add_dependencies(fuzzers ${name})
endfunction()

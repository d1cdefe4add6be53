# Our own targets build with warnings as errors; Qt's and GoogleTest's headers are system headers.
function(karvel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Werror)
    # g++ 12 at -O3 misreads inlined std::string and std::vector copies as overlapping or out of
    # bounds (known false positives); the sanitizer builds check the real thing.
    target_compile_options(${target} PRIVATE
        $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict -Wno-array-bounds -Wno-stringop-overflow
                                   -Wno-stringop-overread>)
endfunction()

# A test executable registered with CTest under an area label.
function(karvel_test name label)
    add_executable(${name} ${ARGN})
    karvel_warnings(${name})
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS ${label} TIMEOUT 300
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KARVEL_COMPONENT_STORE=${CMAKE_BINARY_DIR}/test-store/none;KARVEL_MACHINE_STORE=${CMAKE_BINARY_DIR}/test-store/no-machine-store/components.store;XDG_DATA_DIRS=${CMAKE_BINARY_DIR}/test-store/no-machine-store")
endfunction()

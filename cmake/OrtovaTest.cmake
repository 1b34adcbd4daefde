# ortova_tests(TESTS <names...> LIBS <deps...>): one QtTest executable and one CTest test per
# listed tst_<name>.cpp of the current folder. Tests run offscreen, each in its own temporary folder.
function(ortova_tests)
    cmake_parse_arguments(ARG "" "" "TESTS;LIBS" ${ARGN})
    get_filename_component(_dir ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    foreach(_name ${ARG_TESTS})
        set(_target ${_dir}_${_name})
        add_executable(${_target} ${_name}.cpp)
        target_link_libraries(${_target} PRIVATE ortova_flags ortova_testsupport Qt6::Test ${ARG_LIBS})
        target_compile_definitions(${_target} PRIVATE
            ORTOVA_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
            ORTOVA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
        add_test(NAME ${_dir}.${_name} COMMAND ${_target})
        set_tests_properties(${_dir}.${_name} PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
            TIMEOUT 600)
    endforeach()
endfunction()

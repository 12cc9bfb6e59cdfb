# Tests of the HTML reader (included from the top-level CMakeLists.txt, after GoogleTest).
add_executable(qv_html_tests
    ${CMAKE_SOURCE_DIR}/tests/html_reader_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/html5lib_tokenizer_test.cpp
)
target_include_directories(qv_html_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(qv_html_tests PRIVATE qv_core qv_json GTest::gtest_main)

set(QV_HTML5LIB_TOKENIZER_DIR ${CMAKE_SOURCE_DIR}/tests/data/html5lib-tokenizer)
if(CMAKE_CROSSCOMPILING)
    # Wine shows the Linux root as drive Z:.
    target_compile_definitions(qv_html_tests PRIVATE
        QV_HTML5LIB_TOKENIZER_DIR="Z:${QV_HTML5LIB_TOKENIZER_DIR}")
    add_test(NAME html_tests_under_wine COMMAND qv_html_tests)
else()
    target_compile_definitions(qv_html_tests PRIVATE
        QV_HTML5LIB_TOKENIZER_DIR="${QV_HTML5LIB_TOKENIZER_DIR}")
    gtest_discover_tests(qv_html_tests DISCOVERY_MODE PRE_TEST)
endif()

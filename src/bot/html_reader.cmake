# The HTML reader library and its tests (included from the top-level CMakeLists.txt).
add_library(qv_html STATIC
    ${CMAKE_SOURCE_DIR}/src/bot/html_entities.cpp
    ${CMAKE_SOURCE_DIR}/src/bot/html_tokenizer.cpp
    ${CMAKE_SOURCE_DIR}/src/bot/html_reader.cpp
    ${CMAKE_SOURCE_DIR}/src/bot/reply_text.cpp
)
target_include_directories(qv_html PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(qv_html PUBLIC qv_warnings)

if(QV_BUILD_BENCHMARKS AND NOT CMAKE_CROSSCOMPILING)
    find_package(benchmark REQUIRED)
    add_executable(qv_html_bench ${CMAKE_SOURCE_DIR}/bench/html_bench.cpp)
    target_link_libraries(qv_html_bench PRIVATE qv_html benchmark::benchmark)
endif()

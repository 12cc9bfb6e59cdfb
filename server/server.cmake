# quorvanel-botserver: the AIML bot server (included from the top-level CMakeLists.txt).
set(QVBOT_DIR ${CMAKE_CURRENT_LIST_DIR})

# The talk protocol and the conversation store over the AIML engine.
add_library(qvbot_core STATIC
    ${QVBOT_DIR}/src/conversations.cpp
    ${QVBOT_DIR}/src/talk_protocol.cpp
)
target_include_directories(qvbot_core PUBLIC ${QVBOT_DIR}/src)
target_link_libraries(qvbot_core PUBLIC qv_aiml)

if(NOT WIN32)
    find_package(Threads REQUIRED)
    # Debian's cpp-httplib is a compiled library: code using it must see the defines it was built
    # with, or its classes differ in layout. Its pkg-config file tells them; a machine without
    # pkg-config gets the ones of Debian 12's build.
    add_library(qv_httplib INTERFACE)
    find_package(PkgConfig QUIET)
    if(PKG_CONFIG_FOUND)
        pkg_check_modules(CPP_HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
        target_link_libraries(qv_httplib INTERFACE PkgConfig::CPP_HTTPLIB)
    else()
        find_library(CPP_HTTPLIB_LIBRARY cpp-httplib REQUIRED)
        target_link_libraries(qv_httplib INTERFACE ${CPP_HTTPLIB_LIBRARY})
        target_compile_definitions(qv_httplib INTERFACE
            CPPHTTPLIB_OPENSSL_SUPPORT CPPHTTPLIB_ZLIB_SUPPORT CPPHTTPLIB_BROTLI_SUPPORT)
    endif()
    target_link_libraries(qv_httplib INTERFACE Threads::Threads)

    if(NOT QV_BUILD_FUZZERS)
        add_executable(quorvanel-botserver ${QVBOT_DIR}/src/botserver.cpp)
        target_link_libraries(quorvanel-botserver PRIVATE qvbot_core qv_httplib)
    endif()
else()
    add_executable(quorvanel-botserver ${QVBOT_DIR}/src/botserver.cpp ${QVBOT_DIR}/src/http_win32.cpp)
    target_link_libraries(quorvanel-botserver PRIVATE qvbot_core ws2_32)
    target_compile_definitions(quorvanel-botserver PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX
                                                           _WIN32_WINNT=0x0600)
    # Templates recurse through srai; the workers get the stack size of the image.
    target_link_options(quorvanel-botserver PRIVATE -Wl,--stack,8388608)
    install(TARGETS quorvanel-botserver RUNTIME DESTINATION .)
    install(DIRECTORY ${QV_STARTER_BOT_DIR} DESTINATION .)
endif()

# Called from the top-level tests block, once GoogleTest exists.
function(qvbot_add_tests)
    add_executable(qvbot_tests ${QVBOT_DIR}/tests/conversations_test.cpp)
    target_link_libraries(qvbot_tests PRIVATE qvbot_core GTest::gtest_main)
    # The executable driven over HTTP, under Wine when cross-built.
    set(botserver_test sh ${QVBOT_DIR}/tests/botserver_test.sh $<TARGET_FILE:quorvanel-botserver>
                       ${QV_STARTER_BOT_DIR})
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME qvbot_tests_under_wine COMMAND qvbot_tests)
        add_test(NAME botserver_exe_under_wine COMMAND ${botserver_test} ${CMAKE_BINARY_DIR}/wineprefix)
        set_tests_properties(botserver_exe_under_wine PROPERTIES RUN_SERIAL TRUE TIMEOUT 180)
    else()
        gtest_discover_tests(qvbot_tests DISCOVERY_MODE PRE_TEST)
        add_test(NAME botserver_exe COMMAND ${botserver_test})
    endif()
endfunction()

if(QV_BUILD_BENCHMARKS AND NOT CMAKE_CROSSCOMPILING AND NOT QV_BUILD_FUZZERS)
    find_package(benchmark REQUIRED)
    add_executable(botserver_bench ${QVBOT_DIR}/bench/botserver_bench.cpp)
    target_compile_definitions(botserver_bench PRIVATE
        BOTSERVER_PATH="$<TARGET_FILE:quorvanel-botserver>" QVBOT_STARTER="${QV_STARTER_BOT_DIR}")
    target_link_libraries(botserver_bench PRIVATE qvbot_core qv_httplib benchmark::benchmark)
    add_dependencies(botserver_bench quorvanel-botserver)
endif()

# The stand-in bot server (native only; included from the top-level CMakeLists.txt).
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

add_library(qv_talk_protocol STATIC ${CMAKE_CURRENT_LIST_DIR}/talk_protocol.cpp)
target_include_directories(qv_talk_protocol PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(qv_talk_protocol PUBLIC qv_warnings)

add_executable(talk-server ${CMAKE_CURRENT_LIST_DIR}/talk_server.cpp)
target_link_libraries(talk-server PRIVATE qv_talk_protocol qv_httplib)

# Called from the top-level tests block, once GoogleTest exists. The tests start the real
# executable, found through TALK_SERVER_PATH.
function(qv_add_talk_server_tests)
    add_executable(talk_server_tests ${CMAKE_SOURCE_DIR}/tests/talk_server_test.cpp)
    target_compile_definitions(talk_server_tests PRIVATE
        TALK_SERVER_PATH="$<TARGET_FILE:talk-server>")
    target_link_libraries(talk_server_tests PRIVATE qv_talk_protocol qv_httplib GTest::gtest_main)
    add_dependencies(talk_server_tests talk-server)
    gtest_discover_tests(talk_server_tests DISCOVERY_MODE PRE_TEST)
endfunction()

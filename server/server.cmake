# quorvanel-botserver: the AIML bot server (included from the top-level CMakeLists.txt).
set(QVBOT_DIR ${CMAKE_CURRENT_LIST_DIR})

# The talk protocol, the bots and the conversation stores over the AIML engine.
add_library(qvbot_core STATIC
    ${QVBOT_DIR}/src/bots.cpp
    ${QVBOT_DIR}/src/conversations.cpp
    ${QVBOT_DIR}/src/store.cpp
    ${QVBOT_DIR}/src/talk_protocol.cpp
)
target_include_directories(qvbot_core PUBLIC ${QVBOT_DIR}/src)
target_link_libraries(qvbot_core PUBLIC qv_aiml)
# Conversations in Redis, through Debian's hiredis; the Windows build keeps them in memory only.
if(NOT WIN32)
    find_path(HIREDIS_INCLUDE_DIR hiredis/hiredis.h REQUIRED)
    find_library(HIREDIS_LIBRARY hiredis REQUIRED)
    target_sources(qvbot_core PRIVATE ${QVBOT_DIR}/src/redis_store.cpp)
    target_include_directories(qvbot_core SYSTEM PRIVATE ${HIREDIS_INCLUDE_DIR})
    target_link_libraries(qvbot_core PUBLIC ${HIREDIS_LIBRARY})
    target_compile_definitions(qvbot_core PUBLIC QV_HAVE_REDIS)
endif()

# HTTP through Boost.Beast and Asio (header-only), the same on both platforms. The Windows
# compilers must see Boost's folder alone, not the rest of the Linux include directory.
add_library(qv_boost INTERFACE)
if(WIN32)
    set(QV_BOOST_ONLY ${CMAKE_BINARY_DIR}/boost-include)
    file(MAKE_DIRECTORY ${QV_BOOST_ONLY})
    file(CREATE_LINK /usr/include/boost ${QV_BOOST_ONLY}/boost SYMBOLIC)
    # CLI11 (header-only) likewise, for the server's command line.
    file(CREATE_LINK /usr/include/CLI ${QV_BOOST_ONLY}/CLI SYMBOLIC)
    target_include_directories(qv_boost SYSTEM INTERFACE ${QV_BOOST_ONLY})
    # XP SP3 and later; Asio takes what it needs of newer systems at run time.
    target_compile_definitions(qv_boost INTERFACE _WIN32_WINNT=0x0501 WINVER=0x0501
                               WIN32_LEAN_AND_MEAN NOMINMAX)
    target_link_libraries(qv_boost INTERFACE ws2_32 mswsock)
else()
    find_package(Threads REQUIRED)
    target_link_libraries(qv_boost INTERFACE Threads::Threads)
endif()

# UndefinedBehaviorSanitizer's vptr check misreads Asio's type-erased executors (a typeid taken
# through them is reported as an object of the wrong type); the other checks stay.
if(QV_SANITIZE OR QV_BUILD_FUZZERS)
    target_compile_options(qv_boost INTERFACE -fno-sanitize=vptr)
endif()

add_library(qvbot_http STATIC ${QVBOT_DIR}/src/http_server.cpp ${QVBOT_DIR}/src/random_bytes.cpp)
target_link_libraries(qvbot_http PUBLIC qvbot_core qv_boost)
if(WIN32)
    target_link_libraries(qvbot_http PUBLIC advapi32)
endif()

if(NOT QV_BUILD_FUZZERS)
    add_executable(quorvanel-botserver ${QVBOT_DIR}/src/botserver.cpp)
    target_link_libraries(quorvanel-botserver PRIVATE qvbot_http)
    if(WIN32)
        # Templates recurse through srai; the server's threads get the stack size of the image.
        target_link_options(quorvanel-botserver PRIVATE -Wl,--stack,8388608)
        # XP SP3 for the 32-bit server, XP x64 for the 64-bit one, in the PE header as in the
        # imports (cmake/botserver-imports.txt).
        if(CMAKE_SIZEOF_VOID_P EQUAL 8)
            set(QVBOT_SUBSYSTEM 5 2)
        else()
            set(QVBOT_SUBSYSTEM 5 1)
        endif()
        list(GET QVBOT_SUBSYSTEM 0 QVBOT_MAJOR)
        list(GET QVBOT_SUBSYSTEM 1 QVBOT_MINOR)
        target_link_options(quorvanel-botserver PRIVATE
            -Wl,--major-subsystem-version,${QVBOT_MAJOR} -Wl,--minor-subsystem-version,${QVBOT_MINOR}
            -Wl,--major-os-version,${QVBOT_MAJOR} -Wl,--minor-os-version,${QVBOT_MINOR})
        qv_check_imports(quorvanel-botserver ${CMAKE_SOURCE_DIR}/cmake/botserver-imports.txt)
        if(QV_I486_RUNTIME)
            qv_check_486(quorvanel-botserver)
        endif()
        install(TARGETS quorvanel-botserver RUNTIME DESTINATION .)
        install(DIRECTORY ${QV_STARTER_BOT_DIR} DESTINATION .)
    else()
        # The Debian package (cpack -G DEB in the build folder): the server, its service unit,
        # the settings file and the starter bot as the first bot.
        install(TARGETS quorvanel-botserver RUNTIME DESTINATION bin)
        install(FILES ${QVBOT_DIR}/packaging/quorvanel-botserver.service DESTINATION lib/systemd/system)
        install(FILES ${QVBOT_DIR}/packaging/botserver.conf DESTINATION /etc/quorvanel-botserver)
        install(DIRECTORY ${QV_STARTER_BOT_DIR} DESTINATION share/quorvanel-botserver/bots)
        install(FILES ${CMAKE_SOURCE_DIR}/docs/botserver.md DESTINATION share/doc/quorvanel-botserver)
        set(CPACK_GENERATOR DEB)
        set(CPACK_PACKAGE_NAME quorvanel-botserver)
        set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
        set(CPACK_PACKAGE_CONTACT "Quorvanel developers <quorvanel@localhost>")
        set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "AIML bot server for many bots, conversations in memory or Redis")
        set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
        set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
        set(CPACK_DEBIAN_PACKAGE_SUGGESTS "redis-server")
        set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QVBOT_DIR}/packaging/conffiles)
        include(CPack)
    endif()
endif()

# Called from the top-level tests block, once GoogleTest exists.
function(qvbot_add_tests)
    add_executable(qvbot_tests ${QVBOT_DIR}/tests/conversations_test.cpp
                               ${QVBOT_DIR}/tests/http_server_test.cpp)
    target_link_libraries(qvbot_tests PRIVATE qvbot_http GTest::gtest_main)
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
        add_test(NAME botserver_redis COMMAND sh ${QVBOT_DIR}/tests/botserver_redis_test.sh
                                              $<TARGET_FILE:quorvanel-botserver> ${QV_STARTER_BOT_DIR})
        set_tests_properties(botserver_redis PROPERTIES TIMEOUT 300)
    endif()
endfunction()

if(QV_BUILD_BENCHMARKS AND NOT CMAKE_CROSSCOMPILING AND NOT QV_BUILD_FUZZERS)
    find_package(benchmark REQUIRED)
    add_executable(botserver_bench ${QVBOT_DIR}/bench/botserver_bench.cpp)
    target_compile_definitions(botserver_bench PRIVATE
        BOTSERVER_PATH="$<TARGET_FILE:quorvanel-botserver>" QVBOT_STARTER="${QV_STARTER_BOT_DIR}")
    target_link_libraries(botserver_bench PRIVATE qvbot_core qv_boost benchmark::benchmark)
    add_dependencies(botserver_bench quorvanel-botserver)
endif()

# The AIML engine (included from the top-level CMakeLists.txt): loader, match graph, templates,
# substitutions, properties and per-conversation memory. Portable, no threads, no sockets; used by
# the built-in bot of quorvanel.exe and by quorvanel-botserver.
set(QV_AIML_DIR ${CMAKE_CURRENT_LIST_DIR})

add_library(qv_aiml STATIC
    ${QV_AIML_DIR}/src/text.cpp
    ${QV_AIML_DIR}/src/substitutions.cpp
    ${QV_AIML_DIR}/src/xml.cpp
    ${QV_AIML_DIR}/src/xml_pugixml.cpp
    ${QV_AIML_DIR}/src/graph.cpp
    ${QV_AIML_DIR}/src/bot.cpp
    ${QV_AIML_DIR}/src/dates.cpp
    ${QV_AIML_DIR}/src/sets_maps.cpp
    ${QV_AIML_DIR}/src/conversation_bytes.cpp
    ${QV_AIML_DIR}/src/bot_folder.cpp
    ${QV_AIML_DIR}/src/disk_folder.cpp
    ${QV_AIML_DIR}/src/properties.cpp
)
target_include_directories(qv_aiml PUBLIC ${QV_AIML_DIR}/include)
target_link_libraries(qv_aiml PUBLIC qv_warnings)

# The XML parser is pugixml: Debian's Linux build natively, and compiled from its source for
# Windows (scripts/setup.sh unpacks it), so the programs need no XML library of the system and
# parse the same way on every Windows.
if(WIN32)
    set(QV_PUGIXML_SOURCE_DIR /usr/local/src/pugixml/src CACHE PATH "pugixml's source folder")
    if(NOT EXISTS ${QV_PUGIXML_SOURCE_DIR}/pugixml.cpp)
        message(FATAL_ERROR "pugixml's source is not in ${QV_PUGIXML_SOURCE_DIR}: run scripts/setup.sh")
    endif()
    add_library(qv_pugixml STATIC ${QV_PUGIXML_SOURCE_DIR}/pugixml.cpp)
    # Neither XPath nor the stream interfaces are used; without them the program is smaller by
    # the whole of the C++ streams library.
    target_compile_definitions(qv_pugixml PUBLIC PUGIXML_NO_XPATH PUGIXML_NO_STL)
    target_include_directories(qv_pugixml SYSTEM PUBLIC ${QV_PUGIXML_SOURCE_DIR})
    target_link_libraries(qv_aiml PRIVATE qv_pugixml)
else()
    find_package(pugixml REQUIRED)
    target_link_libraries(qv_aiml PRIVATE pugixml::pugixml)
endif()

# nlohmann-json (Debian nlohmann-json3-dev) reads the JSON forms of set and map files. It is
# header-only: the cross builds take its headers alone, not the rest of the host's include folder.
find_path(QV_NLOHMANN_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(qv_nlohmann_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/host-headers)
    file(CREATE_LINK ${QV_NLOHMANN_JSON_DIR}/nlohmann ${CMAKE_BINARY_DIR}/host-headers/nlohmann SYMBOLIC)
    target_include_directories(qv_nlohmann_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/host-headers)
else()
    target_include_directories(qv_nlohmann_json SYSTEM INTERFACE ${QV_NLOHMANN_JSON_DIR})
endif()
target_link_libraries(qv_aiml PRIVATE qv_nlohmann_json)
add_library(qv_model STATIC ${QV_AIML_DIR}/src/model.cpp)
target_link_libraries(qv_model PUBLIC qv_aiml PRIVATE qv_nlohmann_json)

# The starter bot, carried by quorvanel.exe as resources.
set(QV_STARTER_BOT_DIR ${QV_AIML_DIR}/bots/kestro)

if(QV_BUILD_FUZZERS)
    add_executable(model_answer_fuzz ${QV_AIML_DIR}/tests/model_answer_fuzz.cpp)
    target_link_libraries(model_answer_fuzz PRIVATE qv_model)
    target_link_options(model_answer_fuzz PRIVATE -fsanitize=fuzzer)
    foreach(target aiml_file_fuzz aiml_message_fuzz aiml_sets_fuzz)
        add_executable(${target} ${QV_AIML_DIR}/tests/${target}.cpp)
        target_link_libraries(${target} PRIVATE qv_aiml)
        target_compile_definitions(${target} PRIVATE QVBOT_STARTER="${QV_STARTER_BOT_DIR}")
        target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    endforeach()
endif()

# Called from the top-level tests block, once GoogleTest exists.
function(qv_aiml_add_tests)
    add_executable(qv_aiml_tests
        ${QV_AIML_DIR}/tests/text_test.cpp
        ${QV_AIML_DIR}/tests/aiml_test.cpp
        ${QV_AIML_DIR}/tests/aiml2_test.cpp
        ${QV_AIML_DIR}/tests/model_test.cpp
    )
    target_link_libraries(qv_aiml_tests PRIVATE qv_aiml qv_model qv_nlohmann_json GTest::gtest_main)
    if(WIN32)
        # Templates recurse through srai; give the main thread the stack Linux gives it.
        target_link_options(qv_aiml_tests PRIVATE -Wl,--stack,8388608)
    endif()
    target_compile_definitions(qv_aiml_tests PRIVATE QVBOT_STARTER="${QV_STARTER_BOT_DIR}")
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME aiml_tests_under_wine COMMAND qv_aiml_tests)
    else()
        gtest_discover_tests(qv_aiml_tests DISCOVERY_MODE PRE_TEST)
    endif()
endfunction()

// An AIML folder read through the system's file functions loads as it does through the C++
// library's (tests/built_in_bot_test.cpp).
#include "bot/bot_files_win32.h"

#include <gtest/gtest.h>

#include "sample_bot_folder.h"

TEST(AimlFolder, LoadsThroughTheSystemsFileFunctions) {
    // The temporary folder asked for by the ANSI function: the C++ library asks for it by the
    // wide one, which the program answers as 98 does (not there) on 9x.
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    const auto root = std::filesystem::path(temp) /
                      (L"qv \u00E9 folder " + std::to_wstring(GetCurrentProcessId()));
    quorvanel::testing::WriteSampleBotFolder(root);
    quorvanel::testing::ExpectSampleBotFolderLoads(quorvanel::Win32Folder(root.wstring()));
    std::filesystem::remove_all(root);
}

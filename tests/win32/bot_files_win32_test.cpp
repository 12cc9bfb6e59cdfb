// An AIML folder read through the system's file functions loads as it does through the C++
// library's (tests/built_in_bot_test.cpp).
#include "bot/bot_files_win32.h"

#include <gtest/gtest.h>

#include "sample_bot_folder.h"

TEST(AimlFolder, LoadsThroughTheSystemsFileFunctions) {
    const auto root = std::filesystem::temp_directory_path() /
                      (L"qv \u00E9 folder " + std::to_wstring(GetCurrentProcessId()));
    quorvanel::testing::WriteSampleBotFolder(root);
    quorvanel::testing::ExpectSampleBotFolderLoads(quorvanel::Win32Folder(root.wstring()));
    std::filesystem::remove_all(root);
}

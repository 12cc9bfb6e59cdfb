#pragma once

#include <windows.h>

#include "bot/built_in_bot.h"

namespace quorvanel {

// The starter bot from the program's resources, and a user's AIML folder from the disk.
class Win32BotFiles final : public BotFileSource {
public:
    explicit Win32BotFiles(HINSTANCE instance) : instance_(instance) {}
    BotFiles StarterBot() override;
    bool ReadFolder(const std::wstring& folder, BotFiles& files, std::wstring& error) override;

private:
    HINSTANCE instance_;
};

}  // namespace quorvanel

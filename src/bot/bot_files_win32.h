#pragma once

#include <windows.h>

#include "bot/built_in_bot.h"
#include "qvbot/folder.h"

namespace quorvanel {

// A folder of the disk, through the system's file functions (wide on NT, ANSI on 9x).
class Win32Folder final : public qvbot::FolderReader {
public:
    explicit Win32Folder(std::wstring root);
    bool List(const std::string& path,
              const std::function<void(const std::string&, bool)>& f) const override;
    bool Read(const std::string& path, std::string& bytes, std::size_t maxBytes) const override;

private:
    std::wstring Path(const std::string& path) const;
    std::wstring root_;  // ends in a backslash
};

// The starter bot from the program's resources: its properties and its AIML files, in the
// order they were carried in.
class StarterBotResources final : public qvbot::FolderReader {
public:
    explicit StarterBotResources(HINSTANCE instance) : instance_(instance) {}
    bool List(const std::string& path,
              const std::function<void(const std::string&, bool)>& f) const override;
    bool Read(const std::string& path, std::string& bytes, std::size_t maxBytes) const override;

private:
    HINSTANCE instance_;
};

class Win32BotFiles final : public BotFileSource {
public:
    explicit Win32BotFiles(HINSTANCE instance) : starter_(instance) {}
    const qvbot::FolderReader& StarterBot() override { return starter_; }
    std::unique_ptr<qvbot::FolderReader> Folder(const std::wstring& path) override {
        return std::make_unique<Win32Folder>(path);
    }

private:
    StarterBotResources starter_;
};

}  // namespace quorvanel

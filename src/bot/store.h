#pragma once

#include <optional>
#include <string>

namespace quorvanel {

// What the program keeps between runs, in a file of the user's. Saving never waits for the disk.
class Store {
  public:
    virtual ~Store() = default;
    // The conversation last saved for `contact` of `bot` (the engine's bytes); empty when there
    // is none or it cannot be read; none when the file is busy this moment: ask again later.
    virtual std::optional<std::string> LoadConversation(const std::string& bot,
                                                        const std::string& contact) = 0;
    // Keeps it, written soon after in one transaction; the contact is now the one heard from last.
    virtual void SaveConversation(const std::string& bot, const std::string& contact,
                                  std::string state) = 0;
    // True once, the first time it is asked after a write failed for want of disk space.
    virtual bool TakeDiskFull() = 0;
};

}  // namespace quorvanel

// libFuzzer target: any bytes as the memory file, opened as the program opens it and read as it
// reads it (a contact's conversation, restored; the record, as text); and the same bytes as a
// conversation's own.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "qvbot/bot.h"
#include "store/record_text.h"
#include "store/sqlite_store.h"

using namespace quorvanel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    qvbot::Conversation conversation;
    qvbot::RestoreConversation(bytes, conversation);
    const auto folder =
        std::filesystem::temp_directory_path() / ("qv-store-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "memory.db").string();
    std::ofstream(path, std::ios::binary) << bytes;
    {
        SqliteStore store(path, {});
        qvbot::RestoreConversation(store.LoadConversation("", "Ann").value_or(""), conversation);
        // The record as its window and a saved text show it: any outcome, any bytes.
        for (const RecordContact& contact : store.RecordContacts("").value_or(std::vector<RecordContact>{})) {
            RecordFileText(store.RecordOf(contact.contact, "a", 300).value_or(std::vector<RecordRow>{}));
        }
    }
    std::filesystem::remove_all(folder);
    return 0;
}

#pragma once

#include <memory>
#include <string>

#include "store/sqlite_store.h"

namespace quorvanel {

// The user's database file: "Quorvanel\quorvanel.db" in the application data folder on NT,
// beside the settings file in the Windows directory on 9x. Empty when neither can be had.
std::wstring StoreFilePath();

// The store in that file, its journal chosen for the system (see StoreOptions). A store that
// cannot be opened keeps nothing, and the program answers all the same.
std::unique_ptr<SqliteStore> OpenStoreFile();

// What to tell the user, once, when the store's file had to be moved aside; empty when it was not.
std::wstring MovedAsideMessage(const SqliteStore& store);

}  // namespace quorvanel

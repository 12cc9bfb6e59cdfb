#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_store.h"

namespace quorvanel::testing {

// The settings file as a map of (section, key) to value, with the profile functions' buffer
// behaviour (value cut to size - 1 characters, NUL, the rest of the buffer as it was) and a log
// of every write. Section and key names match without regard to case, as in the file.
class FakeSettings : public SettingsStore {
public:
    struct Access {
        std::wstring section, key, value;
        bool operator==(const Access&) const = default;
    };

    void Set(std::wstring section, std::wstring key, std::wstring value) {
        values_[{Fold(section), Fold(key)}] = std::move(value);
    }
    std::wstring Get(const std::wstring& section, const std::wstring& key) const {
        return values_.at({Fold(section), Fold(key)});
    }

    std::vector<Access> writes;  // value = the value written
    bool failWrites = false;

    std::wstring ReadValue(std::wstring_view section, std::wstring_view key,
                                   std::wstring_view defaultValue, int bufferChars,
                                   int size) override {
        auto it = values_.find({Fold(std::wstring(section)), Fold(std::wstring(key))});
        const std::wstring value = it == values_.end() ? std::wstring(defaultValue) : it->second;
        std::wstring buffer(static_cast<std::size_t>(bufferChars), L' ');
        const std::size_t kept = std::min(value.size(), static_cast<std::size_t>(size - 1));
        value.copy(buffer.data(), kept);
        buffer[kept] = L'\0';
        return buffer;
    }
    bool WriteValue(std::wstring_view section, std::wstring_view key,
                            std::wstring_view value) override {
        writes.push_back({std::wstring(section), std::wstring(key), std::wstring(value)});
        if (failWrites) return false;
        Set(std::wstring(section), std::wstring(key), std::wstring(value));
        return true;
    }

private:
    static std::wstring Fold(std::wstring text) {
        for (wchar_t& c : text) {
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        }
        return text;
    }
    std::map<std::pair<std::wstring, std::wstring>, std::wstring> values_;
};

}  // namespace quorvanel::testing

#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "present/dialogs.h"
#include "present/random_source.h"

namespace quorvanel::testing {

// Counts message boxes; lowers A-Z and the Latin-1 capitals, as a Western system locale does.
class FakeDialogs : public Dialogs {
public:
    int shown = 0;  // message boxes shown

    void ShowMessage(std::wstring_view, std::wstring_view) override { ++shown; }
    std::wstring ToLowerCase(std::wstring_view text) override {
        std::wstring lower(text);
        for (wchar_t& c : lower) {
            if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 0x20;
        }
        return lower;
    }
};

// Scripted draws, in order; running out of them is a test error.
class ScriptedRandom : public RandomSource {
public:
    explicit ScriptedRandom(std::vector<float> draws = {}) : draws_(std::move(draws)) {}
    void Push(float r) { draws_.push_back(r); }
    float NextSingle() override {
        if (taken_ >= draws_.size()) throw std::logic_error("no draw left");
        return draws_[taken_++];
    }

private:
    std::vector<float> draws_;
    std::size_t taken_ = 0;
};

}  // namespace quorvanel::testing

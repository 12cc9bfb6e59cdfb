// The Record window under Wine (or Windows) over the user's own database file, filled first, when
// it holds less, with 10,000 contacts' memories and 100,000 exchanges among them: the window
// opened until its first paint, filled, and a search of the record as the window makes it. The
// file stays, for the start-up bench to start the program over. Usage: record_bench.exe [OPENINGS
// [HOLD_MS]]: with HOLD_MS, the window is kept open that long once more at the end.
#include "app/record_window_win32.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "qvbot/text.h"
#include "store/store_file_win32.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kContacts = 10000;
constexpr int kExchanges = 100000;

double Millis(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The window's first paint has been made when its timer comes: timers come after painting.
class TimedRecordWindow final : public quorvanel::RecordWindow {
  public:
    using RecordWindow::RecordWindow;
    Clock::time_point start = Clock::now();
    double millis = 0;
    UINT holdMs = 0;  // kept open this long after its first paint, for a screenshot

  protected:
    HWND Create(HWND owner) override {
        HWND window = RecordWindow::Create(owner);
        if (window != nullptr) SetTimer(window, kPainted, 0, nullptr);
        return window;
    }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message != WM_TIMER || wParam != kPainted)
            return RecordWindow::HandleMessage(message, wParam, lParam);
        KillTimer(hwnd_, kPainted);
        if (millis == 0) millis = Millis(start);
        if (holdMs != 0) {
            SetTimer(hwnd_, kPainted, holdMs, nullptr);
            holdMs = 0;
            return 0;
        }
        EndModal(IDOK);
        return 0;
    }

  private:
    static constexpr UINT_PTR kPainted = 99;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace quorvanel;
    const int times = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    auto store = OpenStoreFile();
    if (!store->Ok()) {
        std::printf("cannot open %s\n", store->Path().c_str());
        return 1;
    }
    if (store->RecordOf(std::nullopt, "", 1)->empty()) {
        const auto start = Clock::now();
        const std::int64_t now = std::time(nullptr);
        for (int i = 0; i < kContacts; ++i) {
            store->SaveConversation("", "contact " + std::to_string(i), std::string(1500, 's'));
        }
        for (int i = 0; i < kExchanges; ++i) {
            const std::string contact = "contact " + std::to_string(i * 7919 % kContacts);
            store->Record({now - (kExchanges - i), contact,
                           "How is the weather where you are today, " + contact + "?",
                           "It is sunny here, and I would rather talk about you. What do you do?",
                           ReplyOutcome::Sent, "Kestro (built in)"},
                          {.keep = true, .days = 90, .exchanges = kExchanges});
            if (i % 1000 == 0) store->Flush();
        }
        store->Flush();
        std::printf("filled %s in %.0f ms\n", store->Path().c_str(), Millis(start));
    }

    std::vector<double> openings;
    for (int i = 0; i < times; ++i) {
        TimedRecordWindow window(*store);
        window.ShowModal(nullptr);
        openings.push_back(window.millis);
    }
    if (argc > 2) {
        TimedRecordWindow window(*store);
        window.holdMs = static_cast<UINT>(std::atoi(argv[2]));
        window.ShowModal(nullptr);
    }
    // A search as the window makes it: the contacts that match, and the first one's exchanges.
    const auto search = [&](const char* text) {
        const auto start = Clock::now();
        const auto contacts = store->RecordContacts(text);
        if (contacts && !contacts->empty()) store->RecordOf(contacts->front().contact, text, 300);
        return Millis(start);
    };
    std::vector<double> searches, everything;
    for (int i = 0; i < times; ++i) {
        searches.push_back(
            search(i % 2 == 0 ? "contact 4242" : "WEATHER WHERE YOU ARE TODAY, contact 99"));
        everything.push_back(search("weather"));
    }
    const auto all = store->RecordContacts("");
    std::printf(
        "%zu contacts in the record; the Record window opened to its first paint: median %.0f ms, "
        "slowest %.0f ms; a search: median %.0f ms, slowest %.0f ms; one that every exchange "
        "matches: median %.0f ms, slowest %.0f ms (%d times each)\n",
        all ? all->size() : 0, Median(openings),
        *std::max_element(openings.begin(), openings.end()), Median(searches),
        *std::max_element(searches.begin(), searches.end()), Median(everything),
        *std::max_element(everything.begin(), everything.end()), times);
    return 0;
}

#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bot/http_client.h"
#include "bot/transport.h"
#include "platform/scheduler.h"

namespace quorvanel::testing {

// Time for tests: events scheduled at fake milliseconds run when a wait reaches them.
class FakeClock {
public:
    std::int64_t now = 0;
    void At(std::int64_t when, std::function<void()> event) { events_.emplace(when, std::move(event)); }
    std::int64_t NextEvent() const { return events_.empty() ? INT64_MAX : events_.begin()->first; }
    // Moves time on event by event up to `until`.
    void RunUntil(std::int64_t until) {
        while (NextEvent() <= until) {
            now = std::max(now, NextEvent());
            RunDue();
        }
        now = std::max(now, until);
    }
    // Runs the events due now, in time order; events may schedule or wait themselves.
    void RunDue() {
        while (!events_.empty() && events_.begin()->first <= now) {
            auto event = std::move(events_.begin()->second);
            events_.erase(events_.begin());
            event();
        }
    }

private:
    std::multimap<std::int64_t, std::function<void()>> events_;
};

// A server answering by script: each request takes the next scripted response, 100 ms later;
// once the script has run out, requests are never answered.
class ScriptedHttp : public HttpClient {
public:
    struct Started {
        std::string url, body;
    };
    std::vector<Started> started;

    explicit ScriptedHttp(FakeClock& clock) : clock_(clock) {}
    void Answer(std::string body, int status = 200, std::string contentType = "text/html") {
        replies_.push_back({true, status, std::move(contentType), std::move(body)});
    }

    std::unique_ptr<HttpRequest> Start(const std::string& url, const std::string&, const std::string& body,
                                       std::function<void()> whenDone = {}) override {
        started.push_back({url, body});
        if (replies_.empty()) return std::make_unique<Request>(clock_, -1, HttpResponse{});
        HttpResponse response = std::move(replies_.front());
        replies_.pop_front();
        clock_.At(clock_.now + 100, whenDone ? whenDone : [] {});  // a wait stops there too
        return std::make_unique<Request>(clock_, clock_.now + 100, std::move(response));
    }

private:
    struct Request : HttpRequest {
        Request(FakeClock& clock, std::int64_t doneAt, HttpResponse response)
            : clock(clock), doneAt(doneAt), response(std::move(response)) {}
        bool Done() const override { return doneAt >= 0 && clock.now >= doneAt; }
        HttpResponse TakeResponse() override { return std::move(response); }
        FakeClock& clock;
        std::int64_t doneAt;
        HttpResponse response;
    };
    std::deque<HttpResponse> replies_;
    FakeClock& clock_;
};

// Work later on the fake clock; a waker's work runs at the next event run. Timers can be refused,
// as Windows refuses them when it has run out.
class FakeScheduler : public Scheduler {
public:
    explicit FakeScheduler(FakeClock& clock) : clock_(clock) {}
    int refuseTimers = 0;  // the next this many timers are refused

    WorkId After(std::int64_t ms, std::function<void()> f) override {
        if (refuseTimers > 0) return --refuseTimers, 0;
        pending_.emplace(++last_, std::move(f));
        clock_.At(clock_.now + ms, [this, id = last_] { Run(id); });
        return last_;
    }
    Wake Waker(std::function<void()> f) override {
        pending_.emplace(++last_, std::move(f));
        return {last_, [this, id = last_] { clock_.At(clock_.now, [this, id] { Run(id); }); }};
    }
    void Cancel(WorkId id) override { pending_.erase(id); }
    // Timers and wakers not yet run nor cancelled.
    std::size_t Pending() const { return pending_.size(); }

private:
    void Run(WorkId id) {
        const auto it = pending_.find(id);
        if (it == pending_.end()) return;
        auto f = std::move(it->second);
        pending_.erase(it);
        f();
    }
    FakeClock& clock_;
    WorkId last_ = 0;
    std::map<WorkId, std::function<void()>> pending_;
};

// What `start` hands its callback, the fake clock run until it has come (or a day has passed).
template <typename Start>
std::wstring Await(FakeClock& clock, Start start) {
    std::optional<std::wstring> got;
    start([&](std::wstring value) { got = std::move(value); });
    while (!got && clock.NextEvent() < clock.now + 86'400'000) clock.RunUntil(clock.NextEvent());
    return got.value_or(L"(never came)");
}
inline std::wstring FetchNow(Transport& transport, FakeClock& clock, const std::wstring& url,
                             const std::wstring& body) {
    return Await(clock, [&](auto done) { transport.FetchPage(url, body, done); });
}

// The Western code page: one byte per character, '?' for what it cannot hold.
class Latin1Codec : public TextCodec {
public:
    std::string ToAnsi(std::wstring_view text) override {
        std::string bytes;
        for (wchar_t c : text) bytes.push_back(c < 256 ? static_cast<char>(c) : '?');
        return bytes;
    }
    std::wstring FromAnsi(std::string_view bytes) override {
        std::wstring text;
        for (char b : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(b)));
        return text;
    }
    std::wstring FromCodePage(std::string_view bytes, unsigned codePage) override {
        codePages.push_back(codePage);
        return FromAnsi(bytes);
    }
    std::vector<unsigned> codePages;  // asked of FromCodePage, in order
};

}  // namespace quorvanel::testing

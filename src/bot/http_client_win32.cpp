#include "bot/http_client_win32.h"

#include <process.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <vector>

namespace quorvanel {
namespace {

constexpr std::size_t kBodyLimit = 4 * 1024 * 1024;
constexpr DWORD kChunk = 64 * 1024;
// Abandoned requests still end on their own: the network calls give up after this long.
constexpr DWORD kSocketTimeoutMs = 30'000;

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle = nullptr) : handle_(handle) {}
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    ~InternetHandle() {
        if (handle_ != nullptr) InternetCloseHandle(handle_);
    }
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset(HINTERNET handle) {
        if (handle_ != nullptr) InternetCloseHandle(handle_);
        handle_ = handle;
    }

private:
    HINTERNET handle_;
};

// Shared by the request object (UI thread) and its worker; whichever ends last frees it.
struct RequestState {
    std::atomic<bool> finished{false};
    HttpResponse response;
};

class WinInetRequest final : public HttpRequest {
public:
    explicit WinInetRequest(std::shared_ptr<RequestState> state) : state_(std::move(state)) {}
    bool Done() const override { return state_->finished.load(std::memory_order_acquire); }
    HttpResponse TakeResponse() override { return std::move(state_->response); }

private:
    std::shared_ptr<RequestState> state_;
};

HttpResponse Perform(HINTERNET session, const std::string& url, const std::string& headers,
                     const std::string& body) {
    HttpResponse response;
    std::vector<char> host(INTERNET_MAX_HOST_NAME_LENGTH + 1, '\0');
    std::vector<char> path(url.size() + 1, '\0');
    std::vector<char> extra(url.size() + 1, '\0');
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return response;
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return response;

    InternetHandle connection(InternetConnectA(session, host.data(), parts.nPort, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return response;
    std::string target(path.data(), parts.dwUrlPathLength);
    target.append(extra.data(), parts.dwExtraInfoLength);
    if (target.empty()) target.assign(1, '/');
    static const char* kAcceptAll[] = {"*/*", nullptr};
    // Always from the network: pages are never taken from or put into the cache.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                  INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    InternetHandle request(HttpOpenRequestA(connection.get(), body.empty() ? "GET" : "POST",
                                            target.c_str(), nullptr, nullptr, kAcceptAll, flags, 0));
    if (!request) return response;
    if (!HttpSendRequestA(request.get(), headers.c_str(), static_cast<DWORD>(headers.size()),
                          body.empty() ? nullptr : const_cast<char*>(body.data()),
                          static_cast<DWORD>(body.size()))) {
        return response;
    }

    DWORD status = 0;
    DWORD length = sizeof(status);
    if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &length, nullptr)) {
        return response;
    }
    char contentType[512] = {};
    length = sizeof(contentType) - 1;
    if (HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_TYPE, contentType, &length, nullptr)) {
        response.contentType.assign(contentType, length);
    }

    std::vector<char> chunk(kChunk);
    while (response.body.size() < kBodyLimit) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(kChunk, kBodyLimit - response.body.size()));
        DWORD got = 0;
        if (!InternetReadFile(request.get(), chunk.data(), want, &got)) return HttpResponse{};
        if (got == 0) break;
        response.body.append(chunk.data(), got);
    }
    response.status = static_cast<int>(status);
    response.received = true;
    return response;
}

}  // namespace

struct WinInetHttpClient::Session {
    InternetHandle handle;
};

// One request's worker thread and what it needs; the worker frees it.
struct WinInetHttpClient::Work {
    std::shared_ptr<RequestState> state;
    std::shared_ptr<Session> session;
    std::string url, headers, body;
    std::function<void()> whenDone;

    void Finish() {
        state->finished.store(true, std::memory_order_release);
        if (whenDone) whenDone();
    }
    static unsigned __stdcall Run(void* parameter) {
        std::unique_ptr<Work> work(static_cast<Work*>(parameter));
        work->state->response = Perform(work->session->handle.get(), work->url, work->headers,
                                        work->body);
        work->Finish();
        return 0;
    }
};

WinInetHttpClient::WinInetHttpClient() : session_(std::make_shared<Session>()) {
    // The system's connection settings (proxy included) apply, as for the browser.
    HINTERNET session = InternetOpenA("Quorvanel/1.11", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                      nullptr, 0);
    if (session != nullptr) {
        DWORD timeout = kSocketTimeoutMs;
        for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_RECEIVE_TIMEOUT}) {
            InternetSetOptionA(session, option, &timeout, sizeof(timeout));
        }
    }
    session_->handle.reset(session);
}

std::unique_ptr<HttpRequest> WinInetHttpClient::Start(const std::string& url,
                                                      const std::string& headers,
                                                      const std::string& body,
                                                      std::function<void()> whenDone) {
    auto state = std::make_shared<RequestState>();
    if (!session_->handle) {
        state->finished = true;
        if (whenDone) whenDone();
        return std::make_unique<WinInetRequest>(state);
    }
    auto work =
        std::make_unique<Work>(Work{state, session_, url, headers, body, std::move(whenDone)});
    const auto thread = _beginthreadex(nullptr, 0, &Work::Run, work.get(), 0, nullptr);
    if (thread == 0) {
        // No thread for it: the request ends at once, unanswered.
        work->Finish();
    } else {
        work.release();  // the worker frees it
        CloseHandle(reinterpret_cast<HANDLE>(thread));
    }
    return std::make_unique<WinInetRequest>(state);
}

}  // namespace quorvanel

#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quorvanel::testing {

// quorvanel-botserver (the native Linux build) with the starter bot and its test options, started
// from a test under Wine with "start /unix". It stops itself after a bounded time should a test
// fail to stop it.
class TalkServer {
public:
    struct Logged {
        std::string method, target, body;
        std::string contentType;  // the request's Content-Type header, "" when none
        long long ms = 0;         // Unix time of arrival, in milliseconds
    };

    TalkServer() = default;
    TalkServer(const TalkServer&) = delete;
    TalkServer& operator=(const TalkServer&) = delete;
    ~TalkServer();

    // Extra command-line options, e.g. "--token abc --fault talk-post=500".
    bool Start(const std::string& options = {});
    int Port() const { return port_; }
    std::wstring Host() const;  // "127.0.0.1:PORT", as the BotServer setting holds it
    // POST /__control with a form body such as "scope=talk-post&fault=hang".
    bool Control(const std::string& form);
    std::vector<Logged> Log();
    int Posts();  // the POST requests in the log
    void Stop();

private:
    int port_ = 0;
};

// Starts a native Linux server from a test under Wine: `command` runs it with the port file it
// is given, into which the server writes its port. The port, or 0 when none came in time.
int StartUnixServer(const std::function<std::string(const std::string& portFile)>& command);
// Asks the server on the port to stop (POST /__quit).
void QuitServer(int port);

// A port on the loopback that nothing listens on.
int UnusedPort();

}  // namespace quorvanel::testing

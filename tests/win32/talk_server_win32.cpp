#include "win32/talk_server_win32.h"

#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace quorvanel::testing {
namespace {

struct Winsock {
    Winsock() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~Winsock() { WSACleanup(); }
};

// The value of a JSON string field in one log line; enough for the log's own escapes.
std::string JsonField(const std::string& line, const std::string& name, std::size_t from = 0) {
    const std::string key = "\"" + name + "\":\"";
    const std::size_t at = line.find(key, from);
    if (at == std::string::npos) return {};
    std::string value;
    for (std::size_t i = at + key.size(); i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\' || i + 1 >= line.size()) {
            value.push_back(line[i]);
        } else if (const char e = line[++i]; e == 'u') {  // \u00XX: one byte
            value.push_back(static_cast<char>(std::strtoul(line.substr(i + 1, 4).c_str(), nullptr, 16)));
            i += 4;
        } else {
            value.push_back(e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e);
        }
    }
    return value;
}

struct Exchange {
    int status = 0;
    std::string body;
};

// A plain HTTP/1.0 exchange on the loopback, for the tests' own control requests.
Exchange HttpExchange(int port, const std::string& method, const std::string& target,
                      const std::string& body = {}) {
    Winsock winsock;
    Exchange result;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        closesocket(s);
        return result;
    }
    const std::string request = method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                                "Content-Type: application/x-www-form-urlencoded\r\n" +
                                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    send(s, request.data(), static_cast<int>(request.size()), 0);
    std::string response;
    char buffer[8192];
    int got;
    while ((got = recv(s, buffer, sizeof(buffer), 0)) > 0) response.append(buffer, static_cast<std::size_t>(got));
    closesocket(s);
    if (response.rfind("HTTP/", 0) == 0) result.status = std::atoi(response.c_str() + response.find(' ') + 1);
    const std::size_t headEnd = response.find("\r\n\r\n");
    if (headEnd != std::string::npos) result.body = response.substr(headEnd + 4);
    return result;
}

}  // namespace

int UnusedPort() {
    Winsock winsock;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int length = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return ntohs(address.sin_port);
}

TalkServer::~TalkServer() { Stop(); }

bool TalkServer::Start(const std::string& options) {
    static int serial = 0;
    const std::string portFile = "/tmp/qv-talk-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(++serial) + ".port";
    std::string commandLine = std::string("start.exe /unix ") + QV_BOTSERVER_PATH + " --aiml " +
                              QV_STARTER_BOT + " --test-control --port 0 --port-file " + portFile +
                              " --lifetime 300 " + options;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream file("Z:" + portFile);
        std::string text;
        if (std::getline(file, text) && !file.eof()) {  // the whole line, up to its newline
            file.close();
            DeleteFileA(("Z:" + portFile).c_str());
            port_ = std::atoi(text.c_str());
            return port_ > 0;
        }
        Sleep(50);  // test thread only: waiting for the server to come up
    }
    return false;
}

std::wstring TalkServer::Host() const { return L"127.0.0.1:" + std::to_wstring(port_); }

bool TalkServer::Control(const std::string& form) {
    return HttpExchange(port_, "POST", "/__control", form).status == 200;
}

std::vector<TalkServer::Logged> TalkServer::Log() {
    std::vector<Logged> entries;
    std::istringstream log(HttpExchange(port_, "GET", "/__log").body);
    for (std::string line; std::getline(log, line);) {
        entries.push_back({JsonField(line, "method"), JsonField(line, "target"), JsonField(line, "body"),
                           JsonField(line, "Content-Type", line.find("\"headers\":")),
                           std::atoll(line.c_str() + line.find("\"ms\":") + 5)});
    }
    return entries;
}

void TalkServer::Stop() {
    if (port_ == 0) return;
    HttpExchange(port_, "POST", "/__quit");
    port_ = 0;
}

}  // namespace quorvanel::testing

#include "win32/talk_server_win32.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "win32/child_process_win32.h"

namespace quorvanel::testing {
namespace {

// Winsock for one use; it counts the starts, and the test program ends without a clean-up.
void StartWinsock() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

sockaddr_in Loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    return address;
}

// The value of a JSON string field in one log line; enough for the log's own escapes.
std::string JsonField(const std::string& line, const std::string& name, std::size_t from = 0) {
    const std::string key = "\"" + name + "\":\"";
    std::size_t begin = line.find(key, from);
    if (begin == std::string::npos) return {};
    begin += key.size();
    std::size_t end = begin;
    while (end < line.size() && line[end] != '"') end += line[end] == '\\' ? 2 : 1;
    return Unescape(line.substr(begin, end - begin));
}

// A plain HTTP/1.0 exchange on the loopback, for the tests' own control requests: the body of a
// 200 response, or nothing.
std::optional<std::string> HttpExchange(int port, const std::string& method, const std::string& target,
                                        const std::string& body = {}) {
    StartWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const sockaddr_in address = Loopback(port);
    std::string response;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
        const std::string request = method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                                    "Content-Type: application/x-www-form-urlencoded\r\n" +
                                    "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        send(s, request.data(), static_cast<int>(request.size()), 0);
        char buffer[8192];
        for (int got; (got = recv(s, buffer, sizeof(buffer), 0)) > 0;)
            response.append(buffer, static_cast<std::size_t>(got));
    }
    closesocket(s);
    const std::size_t headEnd = response.find("\r\n\r\n");
    if (response.rfind("HTTP/", 0) != 0 || response.compare(response.find(' ') + 1, 4, "200 ") != 0 ||
        headEnd == std::string::npos) {
        return std::nullopt;
    }
    return response.substr(headEnd + 4);
}

}  // namespace

int UnusedPort() {
    StartWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    int length = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    return ntohs(address.sin_port);
}

TalkServer::~TalkServer() { Stop(); }

bool TalkServer::Start(const std::string& options) {
    // A file name made by creating the file: process ids are per Wine prefix, and test programs
    // in other prefixes start servers into the same /tmp at the same time.
    char made[MAX_PATH];
    if (!GetTempFileNameA("Z:\\tmp", "qvt", 0, made)) return false;
    std::string portFile = made + 2;  // past "Z:"
    for (char& c : portFile) c = c == '\\' ? '/' : c;
    std::string commandLine = std::string("start.exe /unix ") + QV_BOTSERVER_PATH + " --aiml " +
                              QV_STARTER_BOT + " --test-control --port 0 --port-file " + portFile +
                              " --lifetime 300 " + options;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        DeleteFileA(made);
        return false;
    }
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    std::string text;
    const bool written = WaitUntil([&] {
        std::ifstream file("Z:" + portFile);
        return std::getline(file, text) && !file.eof();  // the whole line, up to its newline
    }, std::chrono::seconds(90));  // a new prefix on a loaded machine starts it slowly
    DeleteFileA(("Z:" + portFile).c_str());
    port_ = written ? std::atoi(text.c_str()) : 0;
    return port_ > 0;
}

std::wstring TalkServer::Host() const { return L"127.0.0.1:" + std::to_wstring(port_); }

bool TalkServer::Control(const std::string& form) {
    return HttpExchange(port_, "POST", "/__control", form).has_value();
}

std::vector<TalkServer::Logged> TalkServer::Log() {
    std::vector<Logged> entries;
    std::istringstream log(HttpExchange(port_, "GET", "/__log").value_or(""));
    for (std::string line; std::getline(log, line);) {
        entries.push_back({JsonField(line, "method"), JsonField(line, "target"), JsonField(line, "body"),
                           JsonField(line, "Content-Type", line.find("\"headers\":")),
                           std::atoll(line.c_str() + line.find("\"ms\":") + 5)});
    }
    return entries;
}

int TalkServer::Posts() {
    int posts = 0;
    for (const auto& entry : Log()) posts += entry.method == "POST";
    return posts;
}

void TalkServer::Stop() {
    if (port_ == 0) return;
    HttpExchange(port_, "POST", "/__quit");
    port_ = 0;
}

}  // namespace quorvanel::testing

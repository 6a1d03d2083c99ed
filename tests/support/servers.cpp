#include "servers.h"

// winsock2 before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "files.h"
#include "text.h"

namespace TestKit {

namespace {

// "/tmp/x" -> "Z:\tmp\x": Wine maps the Unix root to drive Z.
std::wstring WinePath(const std::string& unixPath)
{
    std::wstring path = L"Z:" + Utils::Utf8ToUnicode(unixPath);
    for (auto& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    while (path.size() > 3 && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

std::string Address(int port, const std::string& path)
{
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

} // namespace

Servers::Servers()
{
    wchar_t file[MAX_PATH * 2] = {};
    DWORD length = ::GetEnvironmentVariableW(L"ZORVA_SERVERS_FILE", file, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) {
        ADD_FAILURE() << "ZORVA_SERVERS_FILE is not set: register the test with zorva_add_tests(... SERVERS)";
        return;
    }
    std::wstring winFile = WinePath(Utils::UnicodeToUtf8(file));
    std::string text = ReadBytes(winFile);
    if (text.empty()) {
        ADD_FAILURE() << "cannot read the servers file " << Utils::UnicodeToUtf8(winFile)
                      << " (did the servers.start test run? scripts/test-servers.sh start DIR)";
        return;
    }
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        if (name == "NGINX_PORT") {
            nginxPort_ = std::atoi(value.c_str());
        } else if (name == "FAULT_PORT") {
            faultPort_ = std::atoi(value.c_str());
        } else if (name == "WWW_DIR") {
            wwwDir_ = WinePath(value);
        }
    }
    ok_ = nginxPort_ > 0 && faultPort_ > 0 && !wwwDir_.empty();
    if (!ok_) {
        ADD_FAILURE() << "incomplete servers file " << Utils::UnicodeToUtf8(winFile) << ":\n" << text;
        nginxPort_ = faultPort_ = 0;
    }
}

std::string Servers::Nginx(const std::string& path) const { return Address(nginxPort_, path); }

std::string Servers::Fault(const std::string& path) const { return Address(faultPort_, path); }

std::wstring Servers::NginxW(const std::string& path) const { return Utils::Utf8ToUnicode(Nginx(path)); }

std::wstring Servers::FaultW(const std::string& path) const { return Utils::Utf8ToUnicode(Fault(path)); }

FaultStats Servers::Stats(const std::string& path) const
{
    FaultStats stats;
    std::string body;
    if (!HttpGet(faultPort_, "/__stats?format=text&path=" + EscapePath(path), &body)) {
        ADD_FAILURE() << "no stats from the fault server for " << path;
        return stats;
    }
    size_t at = 0;
    while (at < body.size()) {
        size_t end = body.find('\n', at);
        if (end == std::string::npos) {
            end = body.size();
        }
        std::string line = body.substr(at, end - at);
        at = end + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        std::string name = line.substr(0, eq), value = line.substr(eq + 1);
        if (name == "head") {
            stats.heads = std::atoi(value.c_str());
        } else if (name == "get") {
            stats.gets = std::atoi(value.c_str());
        } else if (name == "range") {
            stats.ranges.push_back(value);
        }
    }
    return stats;
}

bool Servers::Reset(const std::string& path) const
{
    std::string body;
    return HttpGet(faultPort_, path.empty() ? "/__reset" : "/__reset?path=" + EscapePath(path), &body);
}

std::string EscapePath(const std::string& path)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool HttpGet(int port, const std::string& target, std::string* body)
{
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started || port <= 0) {
        return false;
    }
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return false;
    }
    DWORD timeoutMs = 10000;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string response;
    bool sent = false;
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        // HTTP/1.0: the server closes after the answer, which ends the read.
        std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        sent = ::send(s, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size());
        char block[4096];
        int got = 0;
        while (sent && (got = ::recv(s, block, sizeof(block), 0)) > 0) {
            response.append(block, got);
        }
    }
    ::closesocket(s);
    size_t split = response.find("\r\n\r\n");
    if (!sent || split == std::string::npos || response.compare(0, 12, "HTTP/1.1 200") != 0) {
        return false;
    }
    *body = response.substr(split + 4);
    return true;
}

} // namespace TestKit

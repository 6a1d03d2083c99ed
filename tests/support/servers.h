#pragma once
// The local HTTP servers of the download tests (scripts/test-servers.sh):
// nginx and the fault server (tools/faultserver/fault_server.py, whose top
// lists its URL forms), both on 127.0.0.1 serving WwwDir(). Tests registered
// with zorva_add_tests(... SERVERS) get ZORVA_SERVERS_FILE naming their ports.
#include <string>
#include <vector>

namespace TestKit {

// What the fault server received for one path.
struct FaultStats {
    int heads = 0;
    int gets = 0;
    std::vector<std::string> ranges; // Range header of each GET in order, "" when none
};

class Servers {
public:
    // Reads ZORVA_SERVERS_FILE; a missing or incomplete file is a gtest
    // failure, and the addresses then lead to port 0 (refused).
    Servers();

    bool Ok() const { return ok_; }
    // "http://127.0.0.1:<port>" + path; path starts with '/', in UTF-8.
    std::string Nginx(const std::string& path) const;
    std::string Fault(const std::string& path) const;
    std::wstring NginxW(const std::string& path) const;
    std::wstring FaultW(const std::string& path) const;
    int NginxPort() const { return nginxPort_; }
    int FaultPort() const { return faultPort_; }
    // The folder both serve, as a Windows path without a trailing backslash.
    const std::wstring& WwwDir() const { return wwwDir_; }

    // The fault server's counters of a path such as "/drop/100/<md5>/<name>".
    FaultStats Stats(const std::string& path) const;
    // Forgets a path's counters (all when empty), e.g. before a dropfirst case
    // runs again against the same server.
    bool Reset(const std::string& path = "") const;

private:
    bool ok_ = false;
    int nginxPort_ = 0;
    int faultPort_ = 0;
    std::wstring wwwDir_;
};

// Percent-escapes what a URL path may not carry raw; '/' stays.
std::string EscapePath(const std::string& path);

// GET over plain sockets: the body of a 200 answer, false otherwise.
bool HttpGet(int port, const std::string& target, std::string* body);

} // namespace TestKit

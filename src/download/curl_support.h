#pragma once
// What both curl downloaders share at the libcurl boundary.
#include <curl/curl.h>

#include <string>

namespace CurlSupport {

// libcurl's process-wide set-up, done once before the first handle; call it
// on the owner's thread (a downloader's constructor), never from two at once.
void EnsureGlobalInit();

// The address as libcurl takes it: UTF-8, except "file:///" addresses, which
// are local paths and go in the ANSI code page.
std::string NarrowAddress(const std::wstring& address);

// libcurl's text for a result code, as wide text for log lines.
std::wstring ErrorText(CURLcode code);

// Receive buffer asked for by every transfer: libcurl's default 16 KiB
// writes cost throughput on a fast link.
constexpr long kReceiveBufferBytes = 100 * 1024;

// Discards a body (probes): returns size * count.
size_t DiscardBody(char* data, size_t size, size_t count, void* user);

} // namespace CurlSupport

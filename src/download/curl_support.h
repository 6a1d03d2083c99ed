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

// Receive buffers: libcurl's default 16 KiB means a socket read and a write
// hook call per 16 KiB, which costs throughput on a fast link (most under
// Wine, where every socket read is a round trip to the server). The single
// stream takes 512 KiB at once; each part of the ranged downloader 100 KiB,
// so that two parts stay within the memory budget.
constexpr long kStreamReceiveBufferBytes = 512 * 1024;
constexpr long kPartReceiveBufferBytes = 100 * 1024;

// The C runtime buffer of a file a transfer writes: one system call per
// MiB instead of one per hook call (measured under Wine: a 256 MiB
// download into an "ab+" file takes 1.2 s with the runtime's own buffer,
// 0.8 s with this one, about what curl.exe needs for its "wb" file).
constexpr size_t kFileBufferBytes = 1024 * 1024;

// Discards a body (probes): returns size * count.
size_t DiscardBody(char* data, size_t size, size_t count, void* user);

} // namespace CurlSupport

// dlbench TYPE URL DEST
// Downloads URL to DEST with the downloader DownloadType TYPE selects (1 single
// stream, 3 ranged) and prints one line: "seconds=<s> bytes=<n> peak_ws=<bytes> final=<code>".
// libcurl's headers bring winsock2.h, which must come before windows.h.
#include "curl_downloader.h"
#include "mt_curl_downloader.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <memory>
#include <string>

#include "handle.h"
#include "local_file.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: dlbench TYPE URL DEST\n");
        return 2;
    }
    const int type = _wtoi(argv[1]);
    Utils::UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    volatile LONG finalCode = 0;
    EventCallback callback = [&](int32_t code, double, const std::wstring&) {
        if (code == DL_CODE_SUCCESS || code == DL_CODE_FAIL || code == DL_CODE_RETRY) {
            finalCode = code;
            ::SetEvent(done.Get());
        }
    };
    std::unique_ptr<CDownloader> downloader;
    if (SelectDownloader(type) == DownloaderKind::RangedCurl) {
        downloader = std::make_unique<CMTCurlDownloader>(callback, argv[2], argv[3]);
    } else {
        downloader = std::make_unique<CCurlDownloader>(callback, argv[2], argv[3]);
    }
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    downloader->Start();
    ::WaitForSingleObject(done.Get(), INFINITE);
    ::QueryPerformanceCounter(&end);
    downloader.reset();

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    std::printf("seconds=%.3f bytes=%lld peak_ws=%lu final=%ld\n",
                static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
                static_cast<long long>(LocalFile::Size(argv[3])), static_cast<unsigned long>(memory.PeakWorkingSetSize),
                static_cast<long>(finalCode));
    return finalCode == DL_CODE_SUCCESS ? 0 : 1;
}

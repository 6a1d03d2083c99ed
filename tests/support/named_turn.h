#pragma once
// A turn at a machine-wide resource (a registry key, a program name that
// other cases look up), held through a named mutex for a scope: CTest runs
// cases as parallel processes.
#include <windows.h>

#include "handle.h"

namespace TestKit {

class NamedTurn {
public:
    explicit NamedTurn(const wchar_t* name, DWORD timeoutMs = 120000) : mutex_(::CreateMutexW(nullptr, FALSE, name))
    {
        if (mutex_) {
            const DWORD wait = ::WaitForSingleObject(mutex_.Get(), timeoutMs);
            held_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
        }
    }
    ~NamedTurn()
    {
        if (held_) {
            ::ReleaseMutex(mutex_.Get());
        }
    }
    NamedTurn(const NamedTurn&) = delete;
    NamedTurn& operator=(const NamedTurn&) = delete;

    bool Held() const { return held_; }

private:
    Utils::UniqueHandle mutex_;
    bool held_ = false;
};

// The turn of every case that runs a program under the product's name.
inline constexpr wchar_t kProductNameTurn[] = L"ZorvaInstallChecksTestsProduct";
// The turn of every case that writes the product's record key.
inline constexpr wchar_t kRecordKeyTurn[] = L"ZorvaInstallRecordsTestsKey";

} // namespace TestKit

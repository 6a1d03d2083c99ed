#pragma once
// Destroys an owned object on another thread, so that a destructor that
// hangs fails the case instead of the whole run.
#include <windows.h>

#include <memory>

#include "handle.h"

namespace TestKit {

template <typename T>
bool DestroyWithin(std::unique_ptr<T>& owned, DWORD timeoutMs)
{
    struct Body {
        static DWORD WINAPI Run(void* p)
        {
            static_cast<std::unique_ptr<T>*>(p)->reset();
            return 0;
        }
    };
    Utils::UniqueHandle thread(::CreateThread(nullptr, 0, Body::Run, &owned, 0, nullptr));
    return thread && ::WaitForSingleObject(thread.Get(), timeoutMs) == WAIT_OBJECT_0;
}

} // namespace TestKit

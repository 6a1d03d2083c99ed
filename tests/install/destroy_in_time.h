#pragma once
// Destroys an owned object on another thread, so that a destructor that
// hangs fails the case instead of the whole run.
#include <windows.h>

#include <memory>

#include "handle.h"

namespace TestKit {

// The object moves to the destroying thread: `owned` is empty at once, and a
// destructor that hangs keeps only that thread.
template <typename T>
bool DestroyWithin(std::unique_ptr<T>& owned, DWORD timeoutMs)
{
    struct Body {
        static DWORD WINAPI Run(void* p)
        {
            delete static_cast<std::unique_ptr<T>*>(p);
            return 0;
        }
    };
    auto* holder = new std::unique_ptr<T>(std::move(owned));
    Utils::UniqueHandle thread(::CreateThread(nullptr, 0, Body::Run, holder, 0, nullptr));
    if (!thread) {
        delete holder;
        return true;
    }
    return ::WaitForSingleObject(thread.Get(), timeoutMs) == WAIT_OBJECT_0;
}

} // namespace TestKit

#pragma once
// The wrapper through which every worker thread of the installer starts.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "handle.h"

namespace Utils {

class Thread {
public:
    using Body = std::function<void(void* context)>;

    // Creates the thread suspended and names it; the owner resumes it through
    // Handle() after checking that the handle is set.
    Thread(void* context, const std::wstring& name, Body body);
    // Joins, so the owner must not destroy a thread that waits for the owner.
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Waits without time limit for the thread to end; afterwards Id() is 0xFFFFFFFF.
    void Join();

    HANDLE Handle() const { return handle_.Get(); }
    unsigned Id() const { return id_; }
    const std::wstring& Name() const { return name_; }

    static unsigned __stdcall CallBack(void* self);

private:
    unsigned id_ = 0;
    UniqueHandle handle_;
    Body body_;
    void* context_;
    std::wstring name_;
};

// Creates a named worker and resumes it; null when no thread could be created.
std::unique_ptr<Thread> StartThread(void* context, const std::wstring& name, Thread::Body body);

// Replaces `worker` by a new started worker (null when none could be made).
// Called on `worker` itself (a restart from its own callback) the old thread
// cannot be joined: it moves to `retired`, to be joined by whoever clears
// that slot later; otherwise it is joined here.
void RestartWorker(std::unique_ptr<Thread>& worker, std::unique_ptr<Thread>& retired, void* context,
                   const std::wstring& name, Thread::Body body);

// Names the calling process's thread `threadId` for debuggers (exception 0x406D1388).
void SetThreadNameForDebugger(unsigned threadId, const char* name);

} // namespace Utils

#include "thread.h"

#include <process.h>

#include "log.h"
#include "text.h"

namespace Utils {

namespace {

constexpr DWORD kSetThreadNameException = 0x406D1388;

// The naming exception means nothing without a debugger; this handler, live
// only while the exception is raised, swallows it (GCC has no __try/__except).
LONG CALLBACK SwallowThreadName(EXCEPTION_POINTERS* info)
{
    return info->ExceptionRecord->ExceptionCode == kSetThreadNameException ? EXCEPTION_CONTINUE_EXECUTION
                                                                          : EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

void SetThreadNameForDebugger(unsigned threadId, const char* name)
{
    // The four arguments one pointer-sized slot each: a packed struct would
    // leave padding in the slots of a 64-bit build, where a debugger then
    // fails to see the type 0x1000.
    const ULONG_PTR info[4] = {0x1000, reinterpret_cast<ULONG_PTR>(name), threadId, 0};
    void* handler = ::AddVectoredExceptionHandler(1, SwallowThreadName);
    ::RaiseException(kSetThreadNameException, 0, 4, info);
    if (handler != nullptr) {
        ::RemoveVectoredExceptionHandler(handler);
    }
}

Thread::Thread(void* context, const std::wstring& name, Body body)
    : body_(std::move(body)), context_(context), name_(name)
{
    const uintptr_t h = ::_beginthreadex(nullptr, 0, &Thread::CallBack, this, CREATE_SUSPENDED, &id_);
    if (h == 0) {
        return;
    }
    handle_.Reset(reinterpret_cast<HANDLE>(h));
    const std::string narrow = name_.empty() ? "t" + UIntToString(id_) : UnicodeToMultiByte(name_, CP_ACP);
    SetThreadNameForDebugger(id_, narrow.c_str());
}

Thread::~Thread()
{
    Join();
    name_.clear();
    body_ = nullptr;
}

void Thread::Join()
{
    if (!handle_) {
        return;
    }
    ::WaitForSingleObject(handle_.Get(), INFINITE);
    handle_.Reset();
    id_ = 0xFFFFFFFF;
}

unsigned __stdcall Thread::CallBack(void* self)
{
    auto* thread = static_cast<Thread*>(self);
    LOG_LINE(L"THREAD BEGIN\r\n");
    thread->body_(thread->context_);
    LOG_LINE(L"THREAD END\r\n");
    ::_endthreadex(0);
    return 0;
}

std::unique_ptr<Thread> StartThread(void* context, const std::wstring& name, Thread::Body body)
{
    auto thread = std::make_unique<Thread>(context, name, std::move(body));
    if (!thread->Handle()) {
        return nullptr;
    }
    ::ResumeThread(thread->Handle());
    return thread;
}

void RestartWorker(std::unique_ptr<Thread>& worker, std::unique_ptr<Thread>& retired, void* context,
                   const std::wstring& name, Thread::Body body)
{
    if (worker && worker->Id() == ::GetCurrentThreadId()) {
        retired = std::move(worker);
    } else {
        worker.reset();
    }
    worker = StartThread(context, name, std::move(body));
}

} // namespace Utils

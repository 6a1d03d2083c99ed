#include "worker_stop.h"

namespace Utils {

namespace {

using CancelSynchronousIoFn = BOOL(WINAPI*)(HANDLE);

CancelSynchronousIoFn CancelFunction()
{
    static const auto fn = reinterpret_cast<CancelSynchronousIoFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CancelSynchronousIo")));
    return fn;
}

} // namespace

WorkerStop::WorkerStop() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

bool WorkerStop::SleepFor(DWORD ms) const
{
    if (!event_) {
        ::Sleep(ms);
        return Requested();
    }
    return ::WaitForSingleObject(event_.Get(), ms) == WAIT_OBJECT_0;
}

bool WorkerStop::WaitFor(HANDLE object) const
{
    if (!event_) {
        ::WaitForSingleObject(object, INFINITE);
        return Requested();
    }
    const HANDLE both[2] = {object, event_.Get()};
    return ::WaitForMultipleObjects(2, both, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

void WorkerStop::StopWorker(HANDLE workerThread)
{
    requested_ = true;
    if (event_) {
        ::SetEvent(event_.Get());
    }
    if (!workerThread) {
        return;
    }
    const CancelSynchronousIoFn cancel = CancelFunction();
    while (::WaitForSingleObject(workerThread, 50) == WAIT_TIMEOUT) {
        if (cancel) {
            cancel(workerThread);
        }
    }
}

} // namespace Utils

#include "worker_stop.h"

namespace Utils {

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
    ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
    // Both may be signalled; the wait names only the first, so ask the flag.
    return Requested();
}

} // namespace Utils

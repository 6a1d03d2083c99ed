#include "event_recorder.h"

namespace TestKit {

bool IsFinalDownloadCode(int32_t code) { return code == 1003 || code == 1004; }

EventRecorder::EventRecorder(std::function<bool(int32_t)> isFinal)
    : isFinal_(std::move(isFinal)), finalEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

EventCallback EventRecorder::Callback()
{
    return [this](int32_t code, double value, const std::wstring& text) {
        Event event{code, value, text, ::GetCurrentThreadId()};
        {
            Utils::LockGuard hold(lock_);
            events_.push_back(event);
        }
        if (onEvent_) {
            onEvent_(event);
        }
        if (isFinal_(code)) {
            ::SetEvent(finalEvent_.Get());
        }
    };
}

bool EventRecorder::WaitFinal(DWORD timeoutMs)
{
    return ::WaitForSingleObject(finalEvent_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

void EventRecorder::Reset()
{
    Utils::LockGuard hold(lock_);
    events_.clear();
    ::ResetEvent(finalEvent_.Get());
}

bool EventRecorder::WaitForCount(size_t count, DWORD timeoutMs) const
{
    const DWORD began = ::GetTickCount();
    while (Events().size() < count) {
        if (::GetTickCount() - began > timeoutMs) {
            return false;
        }
        ::Sleep(20);
    }
    return true;
}

std::vector<Event> EventRecorder::Events() const
{
    Utils::LockGuard hold(lock_);
    return events_;
}

std::vector<int32_t> EventRecorder::Codes() const
{
    std::vector<int32_t> codes;
    for (const auto& e : Events()) {
        codes.push_back(e.code);
    }
    return codes;
}

std::vector<int32_t> EventRecorder::CodesWithoutProgress() const
{
    std::vector<int32_t> codes;
    for (const auto& e : Events()) {
        if (e.code != 1002) {
            codes.push_back(e.code);
        }
    }
    return codes;
}

} // namespace TestKit

#pragma once
#include <cstdint>
#include <functional>
#include <string>

// The one event sink of everything below the window: (code, value, text).
// Always set; may be called on any worker thread; the text is empty when there
// is nothing to say.
using EventCallback = std::function<void(int32_t code, double value, const std::wstring& text)>;

#pragma once
#include <exception>

namespace Utils {

// Thrown when a pipe or a child process cannot be created; the type alone is
// the message, so whatever the thrower passes is dropped.
class Exception : public std::exception {
public:
    template <typename T>
    explicit Exception(const T&) noexcept {}
    const char* what() const noexcept override { return ""; }
};

} // namespace Utils

#pragma once
// Owning wrappers for system handles: one close per handle, on every path.
#include <windows.h>

#include <utility>

namespace Utils {

// Traits give the handle type, its "none" value and how it is released.
template <typename Traits>
class UniqueResource {
public:
    using T = typename Traits::Type;

    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    T Get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Empty(); }
    T Release() { return std::exchange(value_, Traits::Empty()); }
    void Reset(T value = Traits::Empty())
    {
        const T old = std::exchange(value_, value);
        if (old != Traits::Empty()) {
            Traits::Close(old);
        }
    }
    // For APIs that fill a handle through a pointer.
    T* Put()
    {
        Reset();
        return &value_;
    }

private:
    T value_ = Traits::Empty();
};

// Kernel objects whose "no handle" value is null (threads, processes, pipes, mutexes).
struct KernelHandleTraits {
    using Type = HANDLE;
    static HANDLE Empty() { return nullptr; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
// Files, whose "no handle" value is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Type = HANDLE;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct LibraryTraits {
    using Type = HMODULE;
    static HMODULE Empty() { return nullptr; }
    static void Close(HMODULE h) { ::FreeLibrary(h); }
};
struct LocalMemoryTraits {
    using Type = void*;
    static void* Empty() { return nullptr; }
    static void Close(void* p) { ::LocalFree(p); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueLibrary = UniqueResource<LibraryTraits>;
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;

} // namespace Utils

#pragma once

#include <utility>

// Owns one operating-system handle of the kind Traits describes:
//   using Handle = ...;                     the handle type
//   static Handle Invalid();                the "no handle" value of that kind
//   static bool Close(Handle);              releases it; false when the system refused
// Move-only; Close() reports whether the release worked.
template <class Traits> class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.Release();
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Close(); }

    Handle get() const { return handle_; }
    bool IsValid() const { return handle_ != Traits::Invalid(); }
    Handle Release() { return std::exchange(handle_, Traits::Invalid()); }
    bool Close() { return !IsValid() || Traits::Close(Release()); }

private:
    Handle handle_ = Traits::Invalid();
};

// ComPtr: owns one reference to a COM interface and releases it when it goes. The Windows
// layers hold every interface they obtain in one, so an early return cannot leak a reference.
// Plain C++ over the Win32 headers; not thread-safe, like the raw pointer it wraps.
#pragma once

#include <unknwn.h>

#include <utility>

template <typename T>
class ComPtr
{
public:
    ComPtr() = default;
    // Takes over a reference the caller already owns (what CoCreateInstance and friends hand out).
    explicit ComPtr(T *owned) : m_ptr(owned) {}
    ComPtr(const ComPtr &other) : m_ptr(other.m_ptr)
    {
        if (m_ptr)
            m_ptr->AddRef();
    }
    ComPtr(ComPtr &&other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ComPtr &operator=(ComPtr other) noexcept
    {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset()
    {
        if (T *old = std::exchange(m_ptr, nullptr))
            old->Release();
    }

    T *get() const { return m_ptr; }
    T *operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

    // For out-parameters: releases what is held and hands out the slot to fill.
    T **put()
    {
        reset();
        return &m_ptr;
    }
    void **putVoid() { return reinterpret_cast<void **>(put()); }

    // QueryInterface for another interface; an empty pointer when the object lacks it.
    template <typename U>
    ComPtr<U> query(REFIID iid) const
    {
        ComPtr<U> result;
        if (m_ptr && FAILED(m_ptr->QueryInterface(iid, result.putVoid())))
            result.reset();
        return result;
    }

private:
    T *m_ptr = nullptr;
};

#pragma once
// Owner of one COM interface reference. Move-only: a second owner is made explicitly with
// share(), so every AddRef is visible in the code.
#include <windows.h>
#include <unknwn.h>

#include <utility>

namespace fw {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ~ComPtr() { reset(); }

    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_ptr(other.detach()) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) attach(other.detach());
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr adopt(T* ptr) {
        ComPtr result;
        result.m_ptr = ptr;
        return result;
    }
    // Adds a reference of its own.
    static ComPtr share(T* ptr) {
        if (ptr) ptr->AddRef();
        return adopt(ptr);
    }
    ComPtr share() const { return share(m_ptr); }

    T* get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }

    // For out-parameters: releases the current reference first.
    T** put() {
        reset();
        return &m_ptr;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    void attach(T* ptr) {
        T* old = m_ptr;
        m_ptr = ptr;
        if (old) old->Release();
    }
    T* detach() {
        T* ptr = m_ptr;
        m_ptr = nullptr;
        return ptr;
    }
    void reset() { attach(nullptr); }

    template <class U>
    ComPtr<U> query() const {
        ComPtr<U> result;
        if (m_ptr) m_ptr->QueryInterface(__uuidof(U), result.putVoid());
        return result;
    }

private:
    T* m_ptr = nullptr;
};

// True when both pointers denote the same COM object (identity through IUnknown).
bool sameObject(IUnknown* a, IUnknown* b);

}  // namespace fw

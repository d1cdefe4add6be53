#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/component/Interfaces.h"

namespace component {

// Owning pointer to a reference-counted interface: releases on destruction.
template <typename T>
class Ref {
  public:
    Ref() = default;
    // Takes over one reference that the caller already holds.
    static Ref Adopt(T* p) {
        Ref r;
        r.m_p = p;
        return r;
    }
    Ref(const Ref& o) : m_p(o.m_p) {
        if (m_p)
            m_p->AddRef();
    }
    Ref(Ref&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    Ref& operator=(Ref o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }
    ~Ref() { Reset(); }

    void Reset() {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out-parameters: releases what is held and gives the slot to fill.
    void** Out() {
        Reset();
        return reinterpret_cast<void**>(&m_p);
    }

    // Asks the object for another interface; empty when it has none.
    template <typename U>
    Ref<U> Query(const Guid& iid) const {
        Ref<U> r;
        if (m_p)
            m_p->QueryInterface(iid, r.Out());
        return r;
    }

  private:
    T* m_p = nullptr;
};

// Counts live objects and server locks of one library, for its can-unload answer.
class ModuleCounter {
  public:
    void Increment() { m_count.fetch_add(1, std::memory_order_relaxed); }
    void Decrement() { m_count.fetch_sub(1, std::memory_order_acq_rel); }
    bool IsIdle() const { return m_count.load(std::memory_order_acquire) == 0; }

  private:
    std::atomic<long> m_count{0};
};

// Reference counting written once: derive, list the interfaces in QueryInterface, and create
// with `new` (the count starts at 1 for the creator; the last Release deletes).
class RefCounted {
  public:
    explicit RefCounted(ModuleCounter* counter = nullptr) : m_counter(counter) {
        if (m_counter)
            m_counter->Increment();
    }
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

  protected:
    virtual ~RefCounted() {
        if (m_counter)
            m_counter->Decrement();
    }
    std::uint32_t AddRefImpl() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t ReleaseImpl() {
        const std::uint32_t left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }

  private:
    std::atomic<std::uint32_t> m_refs{1};
    ModuleCounter* m_counter;
};

}  // namespace component

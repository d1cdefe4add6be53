#include "bench/soak/CountingDisplay.h"

#include "platform/component/Ref.h"

namespace soak {

namespace {

using namespace component;

// Stands in for the control's dispatch interface only; any other interface is the control's
// own, so the control is not one object to QueryInterface any more. The panel does not compare
// interfaces, so that does not matter here.
class CountingDispatch final : public RefCounted, public Dispatch {
  public:
    CountingDispatch(Ref<Unknown> inner, Ref<Dispatch> dispatch, DispId displayId,
                     std::shared_ptr<DisplayCallCount> count)
        : m_inner(std::move(inner)),
          m_dispatch(std::move(dispatch)),
          m_displayId(displayId),
          m_count(std::move(count)) {}

    Result QueryInterface(const Guid& iid, void** out) override {
        if (!out)
            return kNullPointer;
        if (iid == kIidUnknown || iid == kIidDispatch) {
            *out = static_cast<Dispatch*>(this);
            AddRefImpl();
            return kOk;
        }
        return m_inner->QueryInterface(iid, out);
    }
    std::uint32_t AddRef() override { return AddRefImpl(); }
    std::uint32_t Release() override { return ReleaseImpl(); }

    Result GetIdsOfNames(std::span<const char* const> names, DispId* ids) override {
        return m_dispatch->GetIdsOfNames(names, ids);
    }
    Result Invoke(DispId id, InvokeKind kind, std::span<const Variant> args, Variant* result,
                  std::uint32_t* argError) override {
        const Result r = m_dispatch->Invoke(id, kind, args, result, argError);
        if (id == m_displayId && kind == InvokeKind::Method && Succeeded(r))
            ++m_count->displayCalls;
        return r;
    }

  private:
    Ref<Unknown> m_inner;
    Ref<Dispatch> m_dispatch;
    DispId m_displayId;
    std::shared_ptr<DisplayCallCount> m_count;
};

}  // namespace

CLumeq::Creator CountingCreator(std::shared_ptr<DisplayCallCount> count, CLumeq::Creator make) {
    return [count, make](const Guid& clsid, const Guid& iid, void** out) -> Result {
        *out = nullptr;
        Ref<Unknown> inner;
        const Result made = make(clsid, kIidUnknown, inner.Out());
        if (Failed(made))
            return made;
        Ref<Dispatch> dispatch = inner.Query<Dispatch>(kIidDispatch);
        if (!dispatch)
            return inner->QueryInterface(iid, out);  // nothing to count; let the panel decide
        // Looked up by name, as any late-bound caller would.
        const char* const names[] = {"Display"};
        DispId displayId = -1;
        if (Failed(dispatch->GetIdsOfNames(names, &displayId)))
            return kUnknownName;
        auto* wrapper = new CountingDispatch(std::move(inner), std::move(dispatch), displayId,
                                             count);  // the reference the creator holds
        const Result r = wrapper->QueryInterface(iid, out);
        wrapper->Release();
        return r;
    };
}

}  // namespace soak

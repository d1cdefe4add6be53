#pragma once

// A display control that only records the calls it receives by member id, for driving the
// panel without the real control.

#include <vector>

#include "platform/component/Interfaces.h"
#include "platform/component/Ref.h"

namespace fuzz {

struct RecordedCall {
    component::DispId id;
    std::vector<component::Variant> args;
    bool operator==(const RecordedCall&) const = default;
};

class RecordingDisplay final : public component::RefCounted, public component::Dispatch {
  public:
    RecordingDisplay() = default;

    component::Result QueryInterface(const component::Guid& iid, void** out) override;
    std::uint32_t AddRef() override { return AddRefImpl(); }
    std::uint32_t Release() override { return ReleaseImpl(); }
    component::Result GetIdsOfNames(std::span<const char* const> names,
                                    component::DispId* ids) override;
    component::Result Invoke(component::DispId id, component::InvokeKind kind,
                             std::span<const component::Variant> args, component::Variant* result,
                             std::uint32_t* argError) override;

    // Takes the calls recorded since the last take.
    std::vector<RecordedCall> TakeCalls();

  private:
    ~RecordingDisplay() override = default;

    std::vector<RecordedCall> m_calls;
};

}  // namespace fuzz

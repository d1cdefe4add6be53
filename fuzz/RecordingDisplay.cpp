#include "RecordingDisplay.h"

#include <utility>

namespace fuzz {

component::Result RecordingDisplay::QueryInterface(const component::Guid& iid, void** out) {
    if (out == nullptr)
        return component::kNullPointer;
    if (iid != component::kIidUnknown && iid != component::kIidDispatch) {
        *out = nullptr;
        return component::kNoInterface;
    }
    *out = static_cast<component::Dispatch*>(this);
    AddRef();
    return component::kOk;
}

component::Result RecordingDisplay::GetIdsOfNames(std::span<const char* const>,
                                                  component::DispId*) {
    return component::kNotImplemented;
}

component::Result RecordingDisplay::Invoke(component::DispId id, component::InvokeKind kind,
                                           std::span<const component::Variant> args,
                                           component::Variant*, std::uint32_t*) {
    if (kind != component::InvokeKind::Method)
        return component::kMemberNotFound;
    m_calls.push_back({id, std::vector<component::Variant>(args.begin(), args.end())});
    return component::kOk;
}

std::vector<RecordedCall> RecordingDisplay::TakeCalls() {
    return std::exchange(m_calls, {});
}

}  // namespace fuzz

#include "platform/component/DispatchTable.h"

#include <strings.h>

namespace component {

const DispatchMember* DispatchTable::Find(DispId id) const {
    for (const DispatchMember& m : m_members) {
        if (m.id == id)
            return &m;
    }
    return nullptr;
}

Result DispatchTable::GetIdsOfNames(std::span<const char* const> names, DispId* ids) const {
    if (ids == nullptr)
        return kNullPointer;
    Result r = kOk;
    for (std::size_t i = 0; i < names.size(); ++i) {
        ids[i] = -1;
        if (names[i] == nullptr) {
            r = kUnknownName;
            continue;
        }
        const std::string_view wanted = names[i];
        // Only the first name is a member; the others would name its parameters.
        if (i == 0) {
            for (const DispatchMember& m : m_members) {
                if (m.name.size() == wanted.size() &&
                    strncasecmp(m.name.data(), wanted.data(), wanted.size()) == 0) {
                    ids[i] = m.id;
                    break;
                }
            }
        }
        if (ids[i] == -1)
            r = kUnknownName;
    }
    return r;
}

Result DispatchTable::Prepare(DispId id, InvokeKind kind, std::span<const Variant> args,
                              std::vector<Variant>* converted, std::uint32_t* argError) const {
    const DispatchMember* member = Find(id);
    if (member == nullptr)
        return kMemberNotFound;
    if (kind != InvokeKind::Method)
        return kMemberNotFound;
    if (args.size() != member->params.size())
        return kBadParamCount;
    converted->clear();
    converted->reserve(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        Variant v;
        const Result r = args[i].ConvertTo(member->params[i], &v);
        if (Failed(r)) {
            if (argError != nullptr)
                *argError = static_cast<std::uint32_t>(i);
            return r;
        }
        converted->push_back(std::move(v));
    }
    return kOk;
}

}  // namespace component

#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/component/Interfaces.h"

namespace component {

struct DispatchMember {
    DispId id;
    std::string_view name;
    std::span<const VarType> params;  // declared parameter types, in call order
};

// One table from member id to name and parameter types. An object's Invoke calls Prepare and
// then runs the member on the converted arguments; unknown ids, wrong counts and failed
// conversions are rejected here, before any member runs.
class DispatchTable {
  public:
    explicit DispatchTable(std::span<const DispatchMember> members) : m_members(members) {}

    Result GetIdsOfNames(std::span<const char* const> names, DispId* ids) const;

    // On success `converted` holds one argument per declared parameter, of the declared type.
    Result Prepare(DispId id, InvokeKind kind, std::span<const Variant> args,
                   std::vector<Variant>* converted, std::uint32_t* argError) const;

    const DispatchMember* Find(DispId id) const;

  private:
    std::span<const DispatchMember> m_members;
};

}  // namespace component

#pragma once

// The automation members of the control: one table from which both the dispatch table and the
// type library's member list are made, so that the two cannot disagree.

#include <span>

#include "platform/component/DispatchTable.h"
#include "platform/component/TypeLibrary.h"

namespace lumeq {

class CLumeqCtrl;

// Runs one member on arguments already converted to its declared parameter types.
using MemberRunner = component::Result (*)(CLumeqCtrl& ctrl,
                                           std::span<const component::Variant> args);

const component::DispatchTable& LumeqDispatchTable();

// The members as the type library describes them, in table order.
std::span<const component::MemberInfo> LumeqTypeLibMembers();

// The runner of member `id`, or null for an id that is not a member.
MemberRunner LumeqMemberRunner(component::DispId id);

}  // namespace lumeq

#pragma once

#include "platform/component/TypeLibrary.h"

namespace lumeq {

// The type library LumeqLib 1.0 that the library carries: the dispatch interface, the empty
// event interface and the control's coclass. Static; lives as long as the library.
const component::TypeLibraryInfo& LumeqTypeLibrary();

}  // namespace lumeq

#pragma once

// Identifiers of the two small component libraries the tests load (built from one source as
// libfake_component_a.so and libfake_component_b.so), and what their one member answers.

#include "platform/component/Interfaces.h"

namespace fake {

struct Ids {
    component::Guid clsid;      // a creatable class with Unknown and Dispatch
    component::Guid pageClsid;  // registered as a property page class only
    component::Guid libid;      // its type library, version 1.0, locale 0
    component::Guid iid;        // the dispatch interface the type library describes
    const char* progId;
    int answer;  // what member 1 ("Answer") returns, so a test can tell the libraries apart
};

inline constexpr Ids kA{component::MakeGuid("{A0000001-1111-4111-8111-111111111111}"),
                        component::MakeGuid("{A0000002-1111-4111-8111-111111111111}"),
                        component::MakeGuid("{A0000003-1111-4111-8111-111111111111}"),
                        component::MakeGuid("{A0000004-1111-4111-8111-111111111111}"),
                        "Fake.ComponentA.1",
                        41};
inline constexpr Ids kB{component::MakeGuid("{B0000001-2222-4222-8222-222222222222}"),
                        component::MakeGuid("{B0000002-2222-4222-8222-222222222222}"),
                        component::MakeGuid("{B0000003-2222-4222-8222-222222222222}"),
                        component::MakeGuid("{B0000004-2222-4222-8222-222222222222}"),
                        "Fake.ComponentB.1",
                        42};

// Named by no library.
inline constexpr component::Guid kUnknownClsid =
    component::MakeGuid("{C0000001-3333-4333-8333-333333333333}");

inline constexpr component::DispId kAnswerId = 1;

}  // namespace fake

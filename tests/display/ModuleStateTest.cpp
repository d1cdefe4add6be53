#include <gtest/gtest.h>

#include <thread>

#include "display/CModuleState.h"

namespace lumeq {
namespace {

CModuleState g_host = {"host", ":/host"};
CModuleState g_library = {"library", ":/library"};

int ReturnsEarly(bool early, CModuleState** seen) {
    CModuleStateScope scope(&g_library);
    *seen = AfxGetModuleState();
    if (early)
        return 1;
    return 0;
}

TEST(LumeqModuleStateTest, ScopeRestoresTheCallersStateOnEveryWayOut) {
    ASSERT_EQ(AfxGetModuleState(), nullptr);
    {
        CModuleStateScope outer(&g_host);
        for (bool early : {true, false}) {
            CModuleState* seen = nullptr;
            ReturnsEarly(early, &seen);
            EXPECT_EQ(seen, &g_library);
            EXPECT_EQ(AfxGetModuleState(), &g_host);
        }
        {
            CModuleStateScope inner(&g_library);
            CModuleStateScope again(&g_library);
        }
        EXPECT_EQ(AfxGetModuleState(), &g_host);

        CModuleState* onOtherThread = &g_library;
        std::thread([&] { onOtherThread = AfxGetModuleState(); }).join();
        EXPECT_EQ(onOtherThread, nullptr) << "the state is the calling thread's own";
    }
    EXPECT_EQ(AfxGetModuleState(), nullptr);
}

}  // namespace
}  // namespace lumeq

#include "display/res/LumeqTypeLib.h"

#include "display/LumeqIds.h"
#include "display/LumeqMembers.h"

namespace lumeq {

namespace {

using namespace component;

const InterfaceInfo kInterfaces[] = {
    {"_DLumeq", kIidDLumeq, kTypeFlagHidden | kTypeFlagDispatchable,
     "Dispatch interface for Lumeq Control", LumeqTypeLibMembers()},
    {"_DLumeqEvents",
     kIidDLumeqEvents,
     kTypeFlagDispatchable,
     "Event interface for Lumeq Control",
     {}},
};

constexpr ImplementedInterface kLumeqImplements[] = {
    {kIidDLumeq, kImplFlagDefault},
    {kIidDLumeqEvents, kImplFlagDefault | kImplFlagSource},
};

const CoclassInfo kCoclasses[] = {
    {"Lumeq", kClsidLumeqCtrl, kTypeFlagCanCreate | kTypeFlagControl, "Lumeq Control",
     kLumeqImplements},
};

const TypeLibraryInfo kTypeLibrary = {
    "LumeqLib",
    kLibidLumeqLib,
    kLumeqLibMajor,
    kLumeqLibMinor,
    kLumeqLibLcid,
    kLibFlagControl,
    "Lumeq ActiveX Control module",
    "Lumeq.hlp",
    kInterfaces,
    kCoclasses,
};

}  // namespace

const TypeLibraryInfo& LumeqTypeLibrary() {
    return kTypeLibrary;
}

}  // namespace lumeq

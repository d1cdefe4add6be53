#include "display/CLumeqCtrlFactory.h"

#include <string>

#include "display/CLumeqCtrl.h"
#include "display/LumeqIds.h"
#include "display/LumeqServer.h"
#include "display/res/LumeqStrings.h"
#include "platform/component/Registration.h"

namespace lumeq {

using component::Result;

CLumeqCtrlFactory::CLumeqCtrlFactory() : CLumeqFactory(kClsidLumeqCtrl) {}

Result CLumeqCtrlFactory::CreateObject(const component::Guid& iid, void** out) {
    // The creator's reference is given up once the caller holds its own (or the object goes).
    component::Ref<CLumeqCtrl> ctrl =
        component::Ref<CLumeqCtrl>::Adopt(new CLumeqCtrl(LumeqObjectCounter()));
    return ctrl->QueryInterface(iid, out);
}

Result CLumeqCtrlFactory::UpdateRegistry(bool bRegister) {
    if (!bRegister)
        return component::UnregisterClass(kClsidLumeqCtrl, kProgIdLumeqCtrl);
    component::ControlClassRegistration reg;
    reg.libraryPath = LumeqLibraryPath();
    reg.clsid = kClsidLumeqCtrl;
    reg.progId = std::string(kProgIdLumeqCtrl);
    reg.userTypeName = std::string(LoadLumeqString(IDS_LUMEQ));
    reg.toolboxBitmapId = IDB_LUMEQ;
    reg.flags = component::kRegApartmentThreading;  // not insertable
    reg.miscStatus = kLumeqMiscStatus;
    reg.libid = kLibidLumeqLib;
    reg.libMajor = kLumeqLibMajor;
    reg.libMinor = kLumeqLibMinor;
    return component::RegisterControlClass(reg);
}

}  // namespace lumeq

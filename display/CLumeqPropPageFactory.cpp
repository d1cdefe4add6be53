#include "display/CLumeqPropPageFactory.h"

#include <optional>
#include <string>

#include "display/CLumeqPropPage.h"
#include "display/LumeqIds.h"
#include "display/LumeqServer.h"
#include "display/res/LumeqStrings.h"
#include "platform/component/Registration.h"

namespace lumeq {

using component::Result;

CLumeqPropPageFactory::CLumeqPropPageFactory() : CLumeqFactory(kClsidLumeqPropPage) {}

Result CLumeqPropPageFactory::CreateObject(const component::Guid& iid, void** out) {
    component::Ref<CLumeqPropPage> page =
        component::Ref<CLumeqPropPage>::Adopt(new CLumeqPropPage(LumeqObjectCounter()));
    return page->QueryInterface(iid, out);
}

Result CLumeqPropPageFactory::UpdateRegistry(bool bRegister) {
    if (!bRegister)
        return component::UnregisterClass(kClsidLumeqPropPage, std::nullopt);
    return component::RegisterPropertyPageClass(LumeqLibraryPath(), kClsidLumeqPropPage,
                                                std::string(LoadLumeqString(IDS_LUMEQ_PPG)));
}

}  // namespace lumeq

#include "display/CLumeqPropPage.h"

#include "display/DestroyWidget.h"
#include "display/LumeqIds.h"
#include "display/res/LumeqStrings.h"
#include "ui_CLumeqPropPage.h"

namespace lumeq {

using component::Result;

CLumeqPropPage::CLumeqPropPage(component::ModuleCounter* counter) : RefCounted(counter) {}

CLumeqPropPage::~CLumeqPropPage() {
    DestroyWidget(m_pPage);
}

Result CLumeqPropPage::QueryInterface(const component::Guid& iid, void** out) {
    if (out == nullptr)
        return component::kNullPointer;
    if (iid == component::kIidUnknown || iid == kIidPropertyPage) {
        *out = static_cast<PropertyPage*>(this);
        AddRef();
        return component::kOk;
    }
    if (iid == component::kIidObjectIdentity) {
        *out = static_cast<component::ObjectIdentity*>(this);
        AddRef();
        return component::kOk;
    }
    *out = nullptr;
    return component::kNoInterface;
}

std::uint32_t CLumeqPropPage::AddRef() {
    return AddRefImpl();
}

std::uint32_t CLumeqPropPage::Release() {
    return ReleaseImpl();
}

Result CLumeqPropPage::SetObjects(std::span<component::Unknown* const> objects) {
    std::vector<component::Ref<component::Unknown>> held;
    held.reserve(objects.size());
    for (component::Unknown* object : objects) {
        if (object == nullptr)
            return component::kInvalidArgument;
        object->AddRef();
        held.push_back(component::Ref<component::Unknown>::Adopt(object));
    }
    m_objects = std::move(held);
    return component::kOk;
}

Result CLumeqPropPage::Activate(QWidget* parent) {
    if (parent == nullptr)
        return component::kInvalidArgument;
    if (m_pPage == nullptr) {
        m_pPage = new QWidget(parent);
        Ui::CLumeqPropPage ui;
        ui.setupUi(m_pPage);
        DoDataExchange(false);
    }
    return component::kOk;
}

Result CLumeqPropPage::Deactivate() {
    DestroyWidget(m_pPage);
    return component::kOk;
}

QWidget* CLumeqPropPage::Widget() {
    return m_pPage;
}

QString CLumeqPropPage::Title() {
    return QString::fromUtf8(LoadLumeqString(IDS_LUMEQ_PPG_CAPTION));
}

Result CLumeqPropPage::IsPageDirty() {
    return component::kFalse;
}

Result CLumeqPropPage::Apply() {
    DoDataExchange(true);
    return component::kOk;
}

Result CLumeqPropPage::GetClassId(component::Guid* clsid) {
    if (clsid == nullptr)
        return component::kNullPointer;
    *clsid = kClsidLumeqPropPage;
    return component::kOk;
}

const char* CLumeqPropPage::RuntimeClassName() {
    return "CLumeqPropPage";
}

void CLumeqPropPage::DoDataExchange(bool) {
    // No control of the page is bound to a property: the closing step of the exchange is all
    // that runs, and it has nothing to write.
}

}  // namespace lumeq

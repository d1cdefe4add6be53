#pragma once

#include <vector>

#include <QPointer>
#include <QWidget>

#include "display/PropertyPage.h"
#include "platform/component/Identity.h"
#include "platform/component/Ref.h"

namespace lumeq {

// The control's one property page, "General", built on dialog 200. It binds no control to any
// property, so applying it changes nothing.
class CLumeqPropPage final : public component::RefCounted,
                             public PropertyPage,
                             public component::ObjectIdentity {
  public:
    explicit CLumeqPropPage(component::ModuleCounter* counter);

    component::Result QueryInterface(const component::Guid& iid, void** out) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

    component::Result SetObjects(std::span<component::Unknown* const> objects) override;
    component::Result Activate(QWidget* parent) override;
    component::Result Deactivate() override;
    QWidget* Widget() override;
    QString Title() override;
    component::Result IsPageDirty() override;
    component::Result Apply() override;

    component::Result GetClassId(component::Guid* clsid) override;
    const char* RuntimeClassName() override;

  private:
    ~CLumeqPropPage() override;
    // Exchanges the page's controls with its objects' properties; there are none to exchange.
    void DoDataExchange(bool saveAndValidate);

    std::vector<component::Ref<component::Unknown>> m_objects;
    QPointer<QWidget> m_pPage;
};

}  // namespace lumeq

#pragma once

// A page of a property frame, served by a component library like any other object.

#include <QString>

#include "platform/component/Interfaces.h"

class QWidget;

namespace lumeq {

// Called on the UI thread only.
class PropertyPage : public component::Unknown {
  public:
    // The objects the page edits; the page holds a reference to each until it is given others
    // (an empty list releases them).
    virtual component::Result SetObjects(std::span<component::Unknown* const> objects) = 0;
    // Creates the page's widget as a child of `parent`; the page owns it until Deactivate.
    virtual component::Result Activate(QWidget* parent) = 0;
    virtual component::Result Deactivate() = 0;
    // The active widget, or null.
    virtual QWidget* Widget() = 0;
    // The caption of the page's tab.
    virtual QString Title() = 0;
    // kOk when the page holds changes not yet applied, kFalse otherwise.
    virtual component::Result IsPageDirty() = 0;
    // Writes the page's changes to its objects.
    virtual component::Result Apply() = 0;

  protected:
    ~PropertyPage() = default;
};
inline constexpr component::Guid kIidPropertyPage =
    component::MakeGuid("{B196B28D-BAB4-101A-B69C-00AA00341D07}");

}  // namespace lumeq

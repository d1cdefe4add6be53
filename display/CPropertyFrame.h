#pragma once

#include <vector>

#include <QDialog>

#include "display/PropertyPage.h"
#include "platform/component/Ref.h"

class QTabWidget;
class QPushButton;

namespace lumeq {

// The frame that shows an object's property pages, one tab each, with OK, Cancel and Apply.
// The frame holds its pages for its own life and deactivates them when it goes.
class CPropertyFrame : public QDialog {
    Q_OBJECT

  public:
    CPropertyFrame(QWidget* parent, const QString& caption);
    ~CPropertyFrame() override;

    // Activates `page` in a new tab captioned with the page's title.
    component::Result AddPage(component::Ref<PropertyPage> page);

  private:
    void ApplyDirtyPages();
    void UpdateApplyButton();

    QTabWidget* m_pTabs;
    QPushButton* m_pApply;
    std::vector<component::Ref<PropertyPage>> m_pages;
};

}  // namespace lumeq

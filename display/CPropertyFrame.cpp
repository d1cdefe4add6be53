#include "display/CPropertyFrame.h"

#include <memory>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace lumeq {

using component::Result;

CPropertyFrame::CPropertyFrame(QWidget* parent, const QString& caption)
    : QDialog(parent), m_pTabs(new QTabWidget(this)) {
    setWindowTitle(caption);
    setModal(true);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    m_pApply = buttons->button(QDialogButtonBox::Apply);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        ApplyDirtyPages();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pApply, &QPushButton::clicked, this, [this] { ApplyDirtyPages(); });
    UpdateApplyButton();
}

CPropertyFrame::~CPropertyFrame() {
    for (component::Ref<PropertyPage>& page : m_pages) {
        page->Deactivate();
        page->SetObjects({});
    }
}

Result CPropertyFrame::AddPage(component::Ref<PropertyPage> page) {
    if (!page)
        return component::kInvalidArgument;
    auto tab = std::make_unique<QWidget>();  // given to the tabs once the page is in it
    auto* tabLayout = new QVBoxLayout(tab.get());
    tabLayout->setContentsMargins(0, 0, 0, 0);
    const Result r = page->Activate(tab.get());
    if (component::Failed(r))
        return r;
    tabLayout->addWidget(page->Widget());
    m_pTabs->addTab(tab.release(), page->Title());
    m_pages.push_back(std::move(page));
    UpdateApplyButton();
    return component::kOk;
}

void CPropertyFrame::ApplyDirtyPages() {
    for (component::Ref<PropertyPage>& page : m_pages) {
        if (page->IsPageDirty() == component::kOk)
            page->Apply();
    }
    UpdateApplyButton();
}

void CPropertyFrame::UpdateApplyButton() {
    bool dirty = false;
    for (const component::Ref<PropertyPage>& page : m_pages)
        dirty = dirty || page->IsPageDirty() == component::kOk;
    m_pApply->setEnabled(dirty);
}

}  // namespace lumeq

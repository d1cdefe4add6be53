#include "app/BrokerTrouble.h"

#include "app/TroubleTip.h"

namespace {

constexpr char kSource[] = "mqtt";

}  // namespace

void BrokerTrouble::ShowOn(QLabel& statusLine, QLabel& lamp) {
    m_statusLine = &statusLine;
    m_lamp = &lamp;
    Show();
}

void BrokerTrouble::Tell(const std::string& trouble) {
    m_inbox.Post([this, trouble] {
        m_trouble = QString::fromStdString(trouble);
        Show();
        emit changed(m_trouble);
    });
}

void BrokerTrouble::Show() {
    if (m_statusLine)
        SetTroubleLine(*m_statusLine, kSource, m_trouble);
    if (m_lamp)
        SetTroubleLine(*m_lamp, kSource, m_trouble);
}

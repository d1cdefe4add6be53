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
    QMetaObject::invokeMethod(
        this,
        [this, text = QString::fromStdString(trouble)] {
            m_trouble = text;
            Show();
            emit changed(m_trouble);
        },
        Qt::QueuedConnection);
}

void BrokerTrouble::Show() {
    if (m_statusLine)
        SetTroubleLine(*m_statusLine, kSource, m_trouble);
    if (m_lamp)
        SetTroubleLine(*m_lamp, kSource, m_trouble);
}

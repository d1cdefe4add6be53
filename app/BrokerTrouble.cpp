#include "app/BrokerTrouble.h"

#include <utility>

#include "app/CStatusLine.h"
#include "app/TroubleTip.h"

namespace {

constexpr char kSource[] = "mqtt";
// What waits for the window is a start's worth of lines, not a long session's.
constexpr qsizetype kMostUnshown = 40;

}  // namespace

void BrokerTrouble::ShowOn(QLabel& statusLine, QLabel& lamp) {
    m_statusLine = &statusLine;
    m_lamp = &lamp;
    Show();
    for (const QString& line : std::exchange(m_unshown, {}))
        Note(line);
}

void BrokerTrouble::Say(const std::string& line) {
    m_inbox.Post([this, line] { Note(QString::fromStdString(line)); });
}

void BrokerTrouble::Note(const QString& line) {
    if (auto* status = qobject_cast<CStatusLine*>(m_statusLine.data()))
        status->AddToNote(line);
    else if (m_unshown.size() < kMostUnshown)
        m_unshown.push_back(line);
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

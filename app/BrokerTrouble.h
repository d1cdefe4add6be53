#pragma once

// What keeps the broker from taking the panel's readings, shown where the panel shows trouble:
// in the tooltips of the status line and of the lamp. It is told from any thread (the
// publisher's network thread) and shows on its own thread. Made on the thread it shows on.
// What the mirror says besides goes into the status line's note, as the panel's own words do.

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <string>

#include "platform/window/Inbox.h"

class BrokerTrouble : public QObject {
    Q_OBJECT

  public:
    // Shows the trouble on these labels from now on (and what was told before). Thread: own.
    void ShowOn(QLabel& statusLine, QLabel& lamp);
    // Empty: the broker takes readings again. Thread: any.
    void Tell(const std::string& trouble);
    QString Trouble() const { return m_trouble; }
    // A line said on standard error, for the status line's note (kept until ShowOn when said
    // before it). Thread: any.
    void Say(const std::string& line);

  signals:
    void changed(const QString& trouble);

  private:
    void Show();
    void Note(const QString& line);

    QString m_trouble;
    QStringList m_unshown;  // said before ShowOn
    QPointer<QLabel> m_statusLine;
    QPointer<QLabel> m_lamp;
    // Not Qt's event queue: the thread checker cannot see a hand-over through it.
    window::Inbox m_inbox;
};

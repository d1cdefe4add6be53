#pragma once

// What keeps the broker from taking the panel's readings, shown where the panel shows trouble:
// in the tooltips of the status line and of the lamp. It is told from any thread (the
// publisher's network thread) and shows on its own thread.

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>
#include <string>

class BrokerTrouble : public QObject {
    Q_OBJECT

  public:
    // Shows the trouble on these labels from now on (and what was told before). Thread: own.
    void ShowOn(QLabel& statusLine, QLabel& lamp);
    // Empty: the broker takes readings again. Thread: any.
    void Tell(const std::string& trouble);
    QString Trouble() const { return m_trouble; }

  signals:
    void changed(const QString& trouble);

  private:
    void Show();

    QString m_trouble;
    QPointer<QLabel> m_statusLine;
    QPointer<QLabel> m_lamp;
};

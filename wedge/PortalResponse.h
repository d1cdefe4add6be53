#pragma once

// Hears the Response signal of one portal Request object.
//
// Thread: lives on the thread that waits for the response.

#include <QObject>
#include <QVariantMap>

#include <optional>

namespace wedge {

class PortalResponse : public QObject {
    Q_OBJECT
  public:
    struct Answer {
        unsigned code = 0;  // 0 granted, 1 cancelled by the user, 2 ended otherwise
        QVariantMap results;
    };
    const std::optional<Answer>& Received() const { return m_answer; }

  signals:
    void received();

  public slots:
    void OnResponse(uint code, const QVariantMap& results) {
        m_answer = Answer{code, results};
        emit received();
    }

  private:
    std::optional<Answer> m_answer;
};

}  // namespace wedge

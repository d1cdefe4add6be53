#include "app/typing/TypingCompanion.h"

#include <QApplication>
#include <QMetaObject>

#include <chrono>
#include <cstdio>
#include <utility>

#include "app/CScalePanelDlg.h"
#include "app/readings/PanelCapture.h"
#include "app/typing/TypingSettings.h"

TypingCompanion::TypingCompanion(CScalePanelDlg& panel, const wedge::TypeOptions& options,
                                 Recorder& capture, QObject* parent)
    : TypingCompanion(panel, options, nullptr, &capture, parent) {}

TypingCompanion::TypingCompanion(CScalePanelDlg& panel, const wedge::TypeOptions& options,
                                 record::CaptureRule rule, std::optional<double> minWeight,
                                 QObject* parent)
    : TypingCompanion(panel, options,
                      std::make_unique<PanelCapture>(panel, rule, minWeight, nullptr), nullptr,
                      parent) {}

TypingCompanion::TypingCompanion(CScalePanelDlg& panel, const wedge::TypeOptions& options,
                                 std::unique_ptr<PanelCapture> own, Recorder* capture,
                                 QObject* parent)
    : QObject(parent),
      m_panel(panel),
      m_options(options),
      m_sink(
          nullptr, [this](const std::string& text) { Note(QString::fromStdString(text)); },
          std::chrono::milliseconds(0), [this] { return MayType(); }),
      m_ownCapture(std::move(own)) {
    m_item = m_panel.SystemMenu().addAction(tr("&Type readings into the focused window"));
    m_item->setCheckable(true);
    connect(m_item, &QAction::toggled, this, &TypingCompanion::OnItemToggled);
    (capture ? *capture : m_ownCapture->Get()).AddSink(std::make_unique<record::LentSink>(m_sink));
    // Said as it happens, so that the user knows why a weighing did not arrive.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                m_toldFocus = false;
                if (Typing())
                    Note(state == Qt::ApplicationActive
                             ? tr("typing paused: a Karvel window has the focus")
                             : tr("typing into the focused window again"));
            });
    m_badge.setParent(&m_panel.Lamp());
    m_badge.setText(QStringLiteral("\u2328"));  // a keyboard
    m_badge.setAccessibleName(tr("Typing on"));
    m_badge.adjustSize();
    m_badge.hide();
    if (options.enabled) {
        const QSignalBlocker quiet(m_item);
        m_item->setChecked(Start(options));
    }
}

TypingCompanion::~TypingCompanion() {
    m_ownCapture.reset();
    m_badge.setParent(nullptr);
    m_sink.SetWedge(nullptr);
}

void TypingCompanion::OnItemToggled(bool checked) {
    if (!checked) {
        Stop();
        return;
    }
    TypingSettings box(m_options, &m_panel);
    const bool chosen = box.exec() == QDialog::Accepted && Start(box.Options());
    const QSignalBlocker quiet(m_item);
    m_item->setChecked(chosen);
}

bool TypingCompanion::Start(const wedge::TypeOptions& options) {
    m_sink.SetWedge(nullptr);
    m_options = options;
    std::string error;
    std::unique_ptr<wedge::Wedge> wedge = wedge::Wedge::Start(
        options, wedge::Session::FromProcess(),
        [this](const std::string& text) {
            // From the typing thread too: shown on the UI thread.
            m_notes.Post([this, text] { Note(QString::fromStdString(text)); });
        },
        &error);
    const bool started = wedge != nullptr;
    m_sink.SetWedge(std::move(wedge));
    if (!started) {
        const QString why = QString::fromStdString(error);
        std::fprintf(stderr, "Karvel: %s\n", why.toLocal8Bit().constData());
        MessageBoxRequest box;
        box.icon = QMessageBox::Warning;
        box.caption = tr("Typing readings");
        box.text = why;
        m_panel.Presenter()(&m_panel, box);
    }
    m_toldFocus = false;
    m_lastNote.clear();
    ShowState();
    return started;
}

void TypingCompanion::Stop() {
    m_sink.SetWedge(nullptr);
    ShowState();
}

bool TypingCompanion::MayType() {
    // The keys would land in the panel or one of its boxes.
    if (QGuiApplication::applicationState() == Qt::ApplicationActive ||
        QApplication::activePopupWidget() != nullptr) {
        if (!std::exchange(m_toldFocus, true))
            Note(tr("not typed: a Karvel window has the focus"));
        return false;
    }
    m_toldFocus = false;
    return true;
}

void TypingCompanion::Note(const QString& text) {
    std::fprintf(stderr, "Karvel: %s\n", text.toLocal8Bit().constData());
    m_lastNote = text;
    ShowState();
    emit noted(text);
}

void TypingCompanion::ShowState() {
    QString tip;
    if (Typing()) {
        tip =
            tr("Typing readings into the focused window (%1, %2)")
                .arg(QString::fromStdString(m_options.format),
                     QString::fromLatin1(
                         wedge::ViaName(wedge::Choose(m_options.via, wedge::Session::FromProcess()))
                             .data()));
        if (!m_lastNote.isEmpty())
            tip += QStringLiteral("\n") + m_lastNote;
    }
    m_badge.move(m_panel.Lamp().width() - m_badge.width(), 0);
    m_badge.setVisible(Typing());
    m_badge.setToolTip(tip);
    m_panel.Lamp().setToolTip(tip);
    m_panel.Lamp().setAccessibleDescription(tip);
}

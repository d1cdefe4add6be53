#include "app/CScalePanelApp.h"

#include <QFileInfo>
#include <QPalette>
#include <QTextStream>

#include <cstdio>

#include "app/Resources.h"
#include "platform/component/Activation.h"
#include "platform/component/Result.h"

CScalePanelApp::CScalePanelApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Named after the program file itself, however it was started: the caption of the panel's
    // message boxes.
    setApplicationName(QFileInfo(applicationFilePath()).completeBaseName());
    resources::Init();
    // The running windows belong to the desktop entry of this name (its StartupWMClass is the
    // application name).
    setDesktopFileName(QStringLiteral(KARVEL_APP_ID));
}

void CScalePanelApp::SetDialogBkColor(const QColor& background, const QColor& text) {
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    QApplication::setPalette(palette, "QDialog");
    // Message boxes have a palette of their own from the platform theme.
    QApplication::setPalette(palette, "QMessageBox");
}

bool CScalePanelApp::InitInstance() {
    SetDialogBkColor(QColor(0x9C, 0x9C, 0x9C), QColor(0, 0, 0));
    {
        PanelServices services;
        services.ports = m_ports;
        services.receiveWindow = m_rxWindow;
        services.hid = m_hid;
        CScalePanelDlg panel(std::move(services));
        panel.SetStartPort(m_startPort);
        if (m_family)
            panel.SetFamily(*m_family);
        if (m_ownWire)
            panel.SetOwnWire(*m_ownWire);
        for (scale::FrameObserver* observer : m_observers)
            panel.AttachObserver(observer);
        const std::unique_ptr<QObject> companion = m_companion ? m_companion(panel) : nullptr;
        component::Result displayResult = component::kOk;
        if (panel.DoModal(&displayResult) == -1 && component::Failed(displayResult)) {
            const QString message = DisplayUnavailableMessage(
                displayResult, QString::fromStdString(component::LastActivationError()));
            ReportDisplayUnavailable(message, MessageBoxesVisible(), ShowMessageBox);
            m_exitCode = 1;
        }
    }
    return false;
}

QString DisplayUnavailableMessage(component::Result result, const QString& lookupAccount) {
    QString text;
    QTextStream out(&text);
    out << "Karvel: cannot create the display control "
        << QString::fromStdString(CLumeq::kClassId.ToString()) << " ("
        << component::DescribeResult(result)
        << QStringLiteral(", 0x%1).\n").arg(static_cast<quint32>(result), 8, 16, QChar('0'));
    if (!lookupAccount.isEmpty())
        out << "Looked at: " << lookupAccount.trimmed() << "\n";
    out << "The control is served by libLumeq.so. Make it available in one of these ways:\n"
        << "  - run the Karvel of a build tree or of an install (the package, or cmake "
           "--install), whose Karvel.manifest (beside the program, or in ../lib/karvel from "
           "its folder) names libLumeq.so;\n"
        << "  - set KARVEL_COMPONENT_MANIFEST to such a manifest;\n"
        << "  - register the library once: lumeq-register /path/to/libLumeq.so\n"
        << "No serial port was opened.\n";
    return text;
}

void ReportDisplayUnavailable(const QString& message, bool onScreen,
                              const MessagePresenter& presenter) {
    std::fputs(message.toLocal8Bit().constData(), stderr);
    if (!onScreen)
        return;
    // The first line is the failure, the rest what was looked at and how to fix it.
    const qsizetype firstEnd = message.indexOf(QLatin1Char('\n'));
    MessageBoxRequest request;
    request.icon = QMessageBox::Critical;
    request.caption = QGuiApplication::applicationDisplayName();
    request.text = message.left(firstEnd);
    if (request.text.startsWith(QLatin1String("Karvel: ")))
        request.text.replace(0, 8, QStringLiteral("Karvel "));
    request.detail = firstEnd < 0 ? QString() : message.mid(firstEnd + 1).trimmed();
    presenter(nullptr, request);
}

bool MessageBoxesVisible() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

#include "CScalePanelApp.h"

#include <QFileInfo>
#include <QPalette>
#include <QTextStream>

#include <cstdio>

#include "Resources.h"
#include "component/Activation.h"
#include "component/Result.h"

CScalePanelApp::CScalePanelApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Named after the program file itself, however it was started: the caption of the panel's
    // message boxes.
    setApplicationName(QFileInfo(applicationFilePath()).completeBaseName());
    resources::Init();
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
        CScalePanelDlg panel;
        panel.SetStartPort(m_startPort);
        component::Result displayResult = component::kOk;
        if (panel.DoModal(&displayResult) == -1 && component::Failed(displayResult)) {
            const QString message = DisplayUnavailableMessage(
                displayResult, QString::fromStdString(component::LastActivationError()));
            std::fputs(message.toLocal8Bit().constData(), stderr);
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
        << "  - run the Karvel of a build tree, whose Karvel.manifest beside the program names "
           "libLumeq.so;\n"
        << "  - set KARVEL_COMPONENT_MANIFEST to such a manifest;\n"
        << "  - register the library once: lumeq-register /path/to/libLumeq.so\n"
        << "No serial port was opened.\n";
    return text;
}

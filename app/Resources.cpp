#include "app/Resources.h"

#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>

static void InitKarvelResources() {
    // Outside any namespace: the macro declares a global function.
    Q_INIT_RESOURCE(Karvel);
}

namespace resources {

void Init() {
    static const bool done = [] {
        InitKarvelResources();
        return true;
    }();
    (void)done;
}

QIcon LoadIcon(int id) {
    Init();
    QIcon icon;
    for (int size : {16, 32}) {
        const QString path = QStringLiteral(":/karvel/icon%1_%2.png").arg(id).arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));  // takes the "@2x" file beside it too
    }
    return icon;
}

QPixmap LoadBitmap(int id) {
    Init();
    // On a dense screen the face drawn at twice the resolution, shown at the same size.
    const QString path = QStringLiteral(":/karvel/bitmap%1.png").arg(id);
    const QString dense = QStringLiteral(":/karvel/bitmap%1@2x.png").arg(id);
    if (qGuiApp != nullptr && qGuiApp->devicePixelRatio() > 1 && QFile::exists(dense)) {
        QPixmap pixmap(dense);
        pixmap.setDevicePixelRatio(2);
        return pixmap;
    }
    return QPixmap(path);
}

QString LoadString(int id) {
    Init();
    QFile file(QStringLiteral(":/karvel/Strings.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().value(QString::number(id)).toString();
}

std::vector<std::uint8_t> PanelDisplayState() {
    Init();
    QFile file(QStringLiteral(":/karvel/DisplayState.bin"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace resources

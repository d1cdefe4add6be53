#include "app/VersionInfo.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "app/Resources.h"

namespace {

QString Dotted(const QJsonValue& v) {
    QStringList parts;
    for (const QJsonValue& part : v.toArray())
        parts << QString::number(part.toInt());
    return parts.join(u'.');
}

}  // namespace

QString VersionInfo::Value(const QString& name) const {
    for (const auto& entry : strings) {
        if (entry.first == name)
            return entry.second;
    }
    return {};
}

VersionInfo LoadVersionInfo() {
    resources::Init();
    VersionInfo info;
    QFile file(QStringLiteral(":/karvel/Version.json"));
    if (!file.open(QIODevice::ReadOnly))
        return info;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    info.fileVersion = Dotted(root.value("FileVersion"));
    info.productVersion = Dotted(root.value("ProductVersion"));
    const QJsonObject table = root.value("StringTable").toObject().value("040904B0").toObject();
    for (auto it = table.begin(); it != table.end(); ++it)
        info.strings.append({it.key(), it.value().toString()});
    return info;
}

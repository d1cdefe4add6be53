#pragma once

// The program's version block, kept as data among its resources.

#include <QList>
#include <QPair>
#include <QString>

struct VersionInfo {
    QString fileVersion;     // "1.0.0.1"
    QString productVersion;  // "1.0.0.1"
    // The string table's entries in a stable order (name, value).
    QList<QPair<QString, QString>> strings;

    QString Value(const QString& name) const;
};

VersionInfo LoadVersionInfo();

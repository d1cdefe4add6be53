#include "PortDirectory.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace apptest {

PortDirectory::PortDirectory() {
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a port directory");
    m_map = std::make_shared<serial_port::PortMap>(QFile::encodeName(m_dir.path()).toStdString());
}

PortDirectory::~PortDirectory() = default;

void PortDirectory::Map(int n, const std::string& device) {
    Unmap(n);
    const QString link = QDir(m_dir.path()).filePath(QStringLiteral("COM%1").arg(n));
    if (!QFile::link(QString::fromStdString(device), link))
        throw std::runtime_error("cannot map COM" + std::to_string(n));
}

void PortDirectory::Unmap(int n) {
    QFile::remove(QDir(m_dir.path()).filePath(QStringLiteral("COM%1").arg(n)));
}

}  // namespace apptest

#include "app/DemoFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/posix/SystemError.h"

namespace {

// Made under a name the cleaner passes by, and renamed once locked: a folder that is being made
// is never taken for a stale one.
constexpr char kNewPrefix[] = ".karvel-demo-new-";
constexpr char kPrefix[] = "karvel-demo-";

// Opens `path` (not a link) and takes its lock without waiting; an empty descriptor when
// another program holds it.
posix::UniqueFd LockFolder(const QByteArray& path) {
    posix::UniqueFd fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd && ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        fd.Reset();
    return fd;
}

// Removes the entries of the locked folder `fd` (links and files, never folders) and the folder.
bool RemoveLockedFolder(int fd, const QByteArray& path) {
    const int listFd = ::dup(fd);
    if (listFd < 0)
        return false;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listFd), ::closedir);
    if (!dir) {
        ::close(listFd);
        return false;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            ::unlinkat(fd, entry->d_name, 0);
    }
    return ::rmdir(path.constData()) == 0;
}

}  // namespace

QString DemoParent(const posix::Environment& environment) {
    const QString runtime = QFile::decodeName(environment.runtimeDir.c_str());
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists())
        return runtime;
    return {};
}

int RemoveStaleDemoFolders(const QString& parent) {
    int removed = 0;
    const QStringList names =
        QDir(parent).entryList({QString::fromLatin1(kPrefix) + "*"}, QDir::Dirs | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(QDir(parent).filePath(name));
        const posix::UniqueFd lock = LockFolder(path);
        struct stat st {};
        if (!lock || ::fstat(lock.Get(), &st) != 0 || st.st_uid != ::geteuid())
            continue;
        if (RemoveLockedFolder(lock.Get(), path))
            ++removed;
    }
    return removed;
}

DemoFolder::DemoFolder(const QString& parent) {
    const QString where = parent.isEmpty() ? QDir::tempPath() : parent;
    RemoveStaleDemoFolders(where);
    QByteArray made =
        QFile::encodeName(QDir(where).filePath(QString::fromLatin1(kNewPrefix))) + "XXXXXX";
    // mkdtemp makes it 0700: no one else may change which ports it names.
    if (::mkdtemp(made.data()) == nullptr) {
        m_error = QString::fromLocal8Bit(posix::ErrnoText(errno));
        return;
    }
    posix::UniqueFd lock = LockFolder(made);
    const QByteArray named =
        QFile::encodeName(QDir(where).filePath(QString::fromLatin1(kPrefix))) + made.right(6);
    if (!lock || ::rename(made.constData(), named.constData()) != 0) {
        m_error = QString::fromLocal8Bit(posix::ErrnoText(errno));
        ::rmdir(made.constData());
        return;
    }
    m_path = QFile::decodeName(named);
    m_lock = std::move(lock);
}

DemoFolder::~DemoFolder() {
    if (m_lock)
        RemoveLockedFolder(m_lock.Get(), QFile::encodeName(m_path));
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "assets/AssetDirectory.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pgw {

namespace {

qint64 toMilliseconds(const timespec &time)
{
    return qint64(time.tv_sec) * 1000 + time.tv_nsec / 1'000'000;
}

timespec fromMilliseconds(qint64 ms)
{
    const qint64 seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    return timespec {time_t(seconds), long((ms - seconds * 1000) * 1'000'000)};
}

std::optional<QByteArray> readBounded(int fd, qint64 size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, bytes.data() + done, size_t(size - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;
        done += got;
    }
    return bytes;
}

} // namespace

AssetDirectory::AssetDirectory(const QString &path)
    : m_path(QDir::cleanPath(path))
{ }

std::optional<QString> AssetDirectory::filePath(const QString &name) const
{
    if (name.isEmpty() || name == u'.' || name == u".." || name.contains(u'/') || name.contains(QChar(0)))
        return std::nullopt;
    return m_path + u'/' + name;
}

void AssetDirectory::create() const
{
    if (!QDir().mkpath(m_path))
        qCWarning(lcAssets, "Could not create the cache directory %s", qUtf8Printable(m_path));
}

AssetLedger AssetDirectory::listing() const
{
    AssetLedger ledger;
    QDirIterator it(m_path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        AssetLedger::Entry entry;
        struct stat info;
        if (::lstat(QFile::encodeName(it.filePath()).constData(), &info) == 0) {
            entry.size = S_ISREG(info.st_mode) ? qint64(info.st_size) : 0;
            entry.lastUsed = toMilliseconds(info.st_mtim);
        }
        ledger.setEntry(it.fileName(), entry);
    }
    return ledger;
}

std::optional<QByteArray> AssetDirectory::readAndTouch(const QString &name, qint64 touchTime) const
{
    const auto path = filePath(name);
    if (!path)
        return std::nullopt;
    // No following links, and no waiting on a FIFO someone left here.
    const int fd
        = ::open(QFile::encodeName(*path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        // A missing file is an ordinary miss.
        if (error == ELOOP)
            qCWarning(lcAssets, "Refusing cache file %s: a symbolic link", qUtf8Printable(name));
        else if (error != ENOENT)
            qCWarning(lcAssets, "Could not read cache file %s: %s", qUtf8Printable(name), strerror(error));
        return std::nullopt;
    }
    std::optional<QByteArray> bytes;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        qCWarning(lcAssets, "Refusing cache file %s: not a regular file", qUtf8Printable(name));
    } else if (info.st_size <= 0 || info.st_size > maxFileBytes) {
        qCWarning(lcAssets, "Refusing cache file %s: %lld bytes", qUtf8Printable(name), qint64(info.st_size));
    } else {
        bytes = readBounded(fd, info.st_size);
        if (!bytes)
            qCWarning(lcAssets, "Could not read cache file %s", qUtf8Printable(name));
        const timespec times[2] = {{0, UTIME_OMIT}, fromMilliseconds(touchTime)};
        ::futimens(fd, times);
    }
    ::close(fd);
    return bytes;
}

bool AssetDirectory::exists(const QString &name) const
{
    const auto path = filePath(name);
    struct stat info;
    return path && ::lstat(QFile::encodeName(*path).constData(), &info) == 0;
}

bool AssetDirectory::rename(const QString &from, const QString &to) const
{
    const auto fromPath = filePath(from);
    const auto toPath = filePath(to);
    return fromPath && toPath && QDir().rename(*fromPath, *toPath);
}

bool AssetDirectory::writeAtomically(
    const QString &path, const QByteArray &bytes, const QLoggingCategory &category)
{
    // QSaveFile writes through a link to its target; a link here must be replaced, not followed.
    if (QFileInfo(path).isSymLink() && !removeItem(path, category))
        return false;
    QSaveFile file(path);
    QString reason;
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
    } else if (file.write(bytes) != bytes.size()) {
        // A short write on a full disk sets no error of its own; the reason is only in errno.
        reason = file.error() != QFileDevice::NoError ? file.errorString()
                                                      : QString::fromLocal8Bit(strerror(errno));
        file.cancelWriting();
    } else if (!file.commit()) {
        reason = file.errorString();
    } else {
        return true;
    }
    qCWarning(category, "Could not write %s: %s", qUtf8Printable(path), qUtf8Printable(reason));
    return false;
}

bool AssetDirectory::removeItem(const QString &path, const QLoggingCategory &category)
{
    QFile file(path);
    if (file.remove())
        return true;
    // Nothing there is the caller's business, not a failure to report.
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        qCWarning(
            category, "Could not remove %s: %s", qUtf8Printable(path), qUtf8Printable(file.errorString()));
    }
    return false;
}

} // namespace pgw

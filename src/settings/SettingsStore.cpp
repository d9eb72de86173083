// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {

namespace {

// The end of a file whose in-place rewrite is under way: the tag, where the
// pending copy starts and how long it is (16 hex digits each), its SHA-256.
const QByteArray PendingTag = QByteArray(1, '\0') + "Sortello pending copy ";
constexpr qsizetype DigestHexSize = 64;
const qsizetype TrailerSize = PendingTag.size() + 16 + 1 + 16 + 1 + DigestHexSize + 1;

QByteArray digestOf(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QByteArray trailerFor(qint64 offset, const QByteArray& copy) {
    return PendingTag + QByteArray::number(offset, 16).rightJustified(16, '0') + ' ' +
           QByteArray::number(copy.size(), 16).rightJustified(16, '0') + ' ' + digestOf(copy) +
           '\n';
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

// A settings path that is a symbolic link stays one: the file it points to is
// the one replaced.
QByteArray followLinks(QByteArray path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat status;
        if (::lstat(path.constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        QByteArray target(qMax<qsizetype>(status.st_size, 255) + 1, '\0');
        const ssize_t length = ::readlink(path.constData(), target.data(), target.size());
        if (length <= 0 || length >= target.size())
            return path;
        target.truncate(length);
        path = target.startsWith('/') ? target : folderOf(path) + '/' + target;
    }
    return path; // a loop of links: the write below fails on it
}

bool writeAllAt(int fd, const QByteArray& bytes, off_t offset) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::pwrite(fd, bytes.constData() + done, bytes.size() - done, offset + done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

void syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // Some file systems cannot sync a folder; the rename has happened either way.
    ::fsync(fd);
    ::close(fd);
}

bool rewriteInPlace(const QByteArray& target, const QByteArray& content) {
    const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat status;
    bool ok = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    const off_t oldSize = ok ? status.st_size : 0;
    // Behind both the old and the new content, so copying the new content to
    // the front never touches the pending copy. Its first byte, or the hole
    // before it, is the NUL that ends the old content for a reader.
    const off_t at = std::max<off_t>(oldSize, content.size());
    ok = ok && writeAllAt(fd, pendingRecord(at, content), at) && ::fdatasync(fd) == 0;
    if (!ok) {
        // The front is untouched: cutting off what was appended gives the old file.
        [[maybe_unused]] const int restored = ::ftruncate(fd, oldSize);
        ::close(fd);
        return false;
    }
    // From here a whole pending copy stands behind whatever the front holds.
    // The front is synced before the cut, so the cut never keeps a half-copied front.
    ok = writeAllAt(fd, content, 0) && ::fdatasync(fd) == 0 &&
         ::ftruncate(fd, static_cast<off_t>(content.size())) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

enum class Beside { Done, Refused, NotHere };

// Writes content to a new file beside the target and renames it over the
// target. NotHere when the folder takes no new file, or the new file cannot be
// given the old one's owner: then only an in-place rewrite keeps the file as it is.
Beside replaceBeside(const QByteArray& target, const QByteArray& content, const struct stat* old) {
    const QByteArray folder = folderOf(target);
    const QByteArray base = target.mid(target.lastIndexOf('/') + 1);
    QByteArray temp;
    int fd = -1;
    // A new file gets 0666 less the umask from open() itself; an existing
    // file's mode is copied below.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/." + base + ".tmp" +
               QByteArray::number(QRandomGenerator::global()->generate(), 16);
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, old ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            return errno == EACCES || errno == EPERM ? Beside::NotHere : Beside::Refused;
    }
    if (fd < 0)
        return Beside::Refused;

    const auto dropTemp = [&](Beside outcome) {
        ::unlink(temp.constData());
        return outcome;
    };
    if (old &&
        (::fchown(fd, old->st_uid, old->st_gid) != 0 || ::fchmod(fd, old->st_mode & 07777) != 0)) {
        ::close(fd);
        return dropTemp(Beside::NotHere);
    }
    bool ok = writeAllAt(fd, content, 0) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        return dropTemp(Beside::Refused);
    if (::rename(temp.constData(), target.constData()) != 0)
        return dropTemp(errno == EACCES || errno == EPERM ? Beside::NotHere : Beside::Refused);
    syncFolder(folder);
    return Beside::Done;
}

} // namespace

QByteArray pendingRecord(qint64 at, const QByteArray& content) {
    return QByteArray(1, '\0') + content + trailerFor(at + 1, content);
}

bool replaceSettingsFile(const QByteArray& path, const QByteArray& content) {
    const QByteArray target = followLinks(path);
    struct stat old;
    if (::stat(target.constData(), &old) == 0) {
        // root passes access() on any file, so the mode bits are asked as well.
        if (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0 ||
            ::access(target.constData(), W_OK) != 0)
            return false;
        switch (replaceBeside(target, content, &old)) {
        case Beside::Done:
            return true;
        case Beside::Refused:
            return false;
        case Beside::NotHere:
            return rewriteInPlace(target, content);
        }
        return false;
    }
    return errno == ENOENT && replaceBeside(target, content, nullptr) == Beside::Done;
}

QByteArray settledContent(const QByteArray& bytes) {
    if (bytes.size() >= TrailerSize) {
        const QByteArray trailer = bytes.right(TrailerSize);
        bool offsetRead = false;
        bool sizeRead = false;
        const qsizetype fields = PendingTag.size();
        const qint64 offset = trailer.mid(fields, 16).toLongLong(&offsetRead, 16);
        const qint64 size = trailer.mid(fields + 17, 16).toLongLong(&sizeRead, 16);
        if (trailer.startsWith(PendingTag) && trailer.endsWith('\n') && offsetRead && sizeRead &&
            offset >= 0 && size >= 0 && offset + size == bytes.size() - TrailerSize) {
            const QByteArray copy = bytes.mid(offset, size);
            if (digestOf(copy) == trailer.mid(fields + 34, DigestHexSize))
                return copy;
        }
    }
    const qsizetype end = bytes.indexOf('\0');
    return end < 0 ? bytes : bytes.left(end);
}

} // namespace sortello

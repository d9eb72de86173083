// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/Trash.h"
#include "fileops/FileSystemDetail.h"

#include <QDateTime>
#include <QFile>
#include <QUrl>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {

using namespace detail;

namespace {

struct TrashFolder {
    QByteArray root;    // the trash itself, holding "files" and "info"
    QByteArray topDir;  // the file system's top folder; empty for the home trash
    bool found = false; // false: no trash the user may use
};

bool isOwnFolder(const QByteArray& path, dev_t device) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           st.st_dev == device;
}

// Makes the folder, 0700, unless it is there; true when it is a folder now.
bool ensureFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder with every missing folder above it made.
bool ensureFolders(const QByteArray& path) {
    if (path.isEmpty() || path == "/" || ensureFolder(path))
        return !path.isEmpty();
    return errno == ENOENT && ensureFolders(folderOf(path)) && ensureFolder(path);
}

QByteArray canonicalFolder(const QByteArray& path) {
    char* real = ::realpath(folderOf(path).constData(), nullptr);
    if (!real)
        return {};
    QByteArray folder(real);
    std::free(real);
    return folder;
}

// The device the path is on, or would be on once made: that of the nearest
// folder above it that is there.
bool deviceOf(QByteArray path, dev_t& device) {
    struct stat st;
    while (::stat(path.constData(), &st) != 0) {
        if (path.isEmpty() || path == "/" || errno != ENOENT)
            return false;
        path = folderOf(path);
    }
    device = st.st_dev;
    return true;
}

// The highest folder above `folder` on the same file system.
QByteArray topDirOf(QByteArray folder, dev_t device) {
    while (folder != "/") {
        const QByteArray parent = folderOf(folder);
        struct stat st;
        if (::stat(parent.constData(), &st) != 0 || st.st_dev != device)
            break;
        folder = parent;
    }
    return folder;
}

TrashFolder trashFor(const QByteArray& folder, dev_t device) {
    const QByteArray home = dataHome();
    dev_t homeDevice = 0;
    if (!home.isEmpty() && deviceOf(home, homeDevice) && homeDevice == device)
        return {home + "/Trash", {}, ensureFolders(home + "/Trash")};
    const QByteArray top = topDirOf(folder, device);
    const QByteArray base = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(::getuid());
    // An administrator's shared trash counts only when it is a real folder
    // with the sticky bit, so that no user can empty another's.
    const QByteArray shared = base + "/.Trash";
    struct stat st;
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        st.st_dev == device) {
        const QByteArray own = shared + '/' + uid;
        if (ensureFolder(own) && isOwnFolder(own, device))
            return {own, top, true};
    }
    const QByteArray own = base + "/.Trash-" + uid;
    return {own, top, ensureFolder(own) && isOwnFolder(own, device)};
}

// "a.jpg", then "a.2.jpg", "a.3.jpg", ...
QByteArray candidateName(const QByteArray& name, int attempt) {
    if (attempt == 1)
        return name;
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray number = '.' + QByteArray::number(attempt);
    return dot <= 0 ? name + number : name.left(dot) + number + name.mid(dot);
}

QByteArray infoText(const QByteArray& original, const QByteArray& topDir) {
    // Inside a file system's own trash the path is relative to its top folder,
    // so that the trash still works when the file system is mounted elsewhere.
    QByteArray path = original;
    if (!topDir.isEmpty() && topDir != "/")
        path = original.mid(topDir.size() + 1);
    else if (!topDir.isEmpty())
        path = original.mid(1);
    return "[Trash Info]\nPath=" + QUrl::toPercentEncoding(QFile::decodeName(path), "/") +
           "\nDeletionDate=" +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toUtf8() +
           '\n';
}

// Writes the .trashinfo whole before the file moves, so that a trashed file
// never lacks one; EEXIST when the name is taken.
FileResult writeInfo(const QByteArray& path, const QByteArray& text) {
    SysCalls& sys = sysCalls();
    Fd fd(sys.openat(AT_FDCWD, path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd.valid())
        return failed("write the trash information");
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = sys.write(fd.get(), text.constData() + done, size_t(text.size() - done));
        if (n <= 0 || sys.fsync(fd.get()) != 0) {
            const FileResult failure = n == 0
                                           ? FileResult::failure(EIO, "write the trash information")
                                           : failed("write the trash information");
            fd.reset();
            sys.unlinkat(AT_FDCWD, path.constData(), 0);
            return failure;
        }
        done += n;
    }
    return FileResult::success();
}

// A rename that never replaces; on file systems without that flag, a second
// name and then the old one dropped. Never a copy.
FileResult renameNoReplace(const QByteArray& from, const QByteArray& to) {
    SysCalls& sys = sysCalls();
    if (sys.renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return FileResult::success();
    if (!renameFlagsUnsupported(errno))
        return failed("rename into the trash");
    if (sys.link(from.constData(), to.constData()) != 0)
        return failed("link into the trash");
    if (sys.unlink(from.constData()) != 0) {
        const FileResult failure = failed("remove the source");
        sys.unlinkat(AT_FDCWD, to.constData(), 0);
        return failure;
    }
    return FileResult::success();
}

FileResult noTrash() {
    FileResult result = FileResult::failure(ENOENT, "find a trash");
    result.noTrash = true;
    return result;
}

} // namespace

QByteArray dataHome() {
    QByteArray folder = qgetenv("XDG_DATA_HOME");
    if (!folder.startsWith('/')) {
        const QByteArray home = qgetenv("HOME");
        folder = home.startsWith('/') ? home + "/.local/share" : QByteArray();
    }
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    return folder;
}

FileResult moveToTrash(const QString& filePath, TrashedFile& trashed) {
    const QByteArray path = QFile::encodeName(filePath);
    struct stat st;
    if (sysCalls().fstatat(AT_FDCWD, path.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return failed("find the file");
    if (FileResult refused = checkRemovable(path, st); !refused) {
        refused.targetUndeletable = false;
        return refused;
    }
    const QByteArray folder = canonicalFolder(path);
    if (folder.isEmpty())
        return failed("find the folder");
    const TrashFolder trash = trashFor(folder, st.st_dev);
    if (!trash.found || !ensureFolder(trash.root + "/files") || !ensureFolder(trash.root + "/info"))
        return noTrash();
    const QByteArray original = (folder == "/" ? QByteArray() : folder) + '/' + nameOf(path);
    const QByteArray text = infoText(original, trash.topDir);
    for (int attempt = 1; attempt < INT_MAX; ++attempt) {
        const QByteArray name = candidateName(nameOf(path), attempt);
        const QByteArray info = trash.root + "/info/" + name + ".trashinfo";
        const QByteArray into = trash.root + "/files/" + name;
        if (const FileResult written = writeInfo(info, text); !written) {
            if (written.error == EEXIST)
                continue;
            return written;
        }
        const FileResult moved = renameNoReplace(path, into);
        if (!moved) {
            const int error = errno;
            sysCalls().unlinkat(AT_FDCWD, info.constData(), 0);
            errno = error;
            if (moved.error == EEXIST)
                continue;
            // A trash that turns out to be elsewhere is no trash for this file.
            return moved.error == EXDEV ? noTrash() : moved;
        }
        trashed = {original, into, info};
        return moved;
    }
    return FileResult::failure(EEXIST, "name the file in the trash");
}

FileResult restoreFromTrash(const TrashedFile& trashed) {
    const FileResult moved = moveFile(trashed.path, trashed.original);
    if (moved)
        sysCalls().unlinkat(AT_FDCWD, trashed.info.constData(), 0);
    return moved;
}

FileResult replaceIntoTrash(const QString& from, const QString& to, TrashedFile& trashed) {
    const QByteArray target = QFile::encodeName(to);
    struct stat fromSt;
    struct stat toSt;
    if (sysCalls().fstatat(AT_FDCWD, QFile::encodeName(from).constData(), &fromSt,
                           AT_SYMLINK_NOFOLLOW) != 0)
        return failed("find the source");
    if (sysCalls().fstatat(AT_FDCWD, target.constData(), &toSt, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? moveFile(from, to) : failed("find the file to replace");
    if (const FileResult refused = checkRemovable(target, toSt); !refused)
        return refused;
    if (sameFile(fromSt, toSt))
        return FileResult::failure(EEXIST, "move a file onto itself");
    if (FileResult binned = moveToTrash(to, trashed); !binned) {
        binned.targetUndeletable = !binned.noTrash;
        return binned;
    }
    FileResult moved = moveFile(from, to);
    if (!moved) {
        const int error = moved.error;
        moved.targetRemoved = !restoreFromTrash(trashed);
        moved.error = error;
    }
    return moved;
}

} // namespace sortello

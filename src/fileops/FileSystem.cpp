// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/FileSystem.h"
#include "fileops/FileSystemDetail.h"
#include "fileops/Temporaries.h"

#include <QFile>
#include <QtGlobal>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {

using namespace detail;

namespace {

const SysCalls realTable = {
    [](int dirFd, const char* path, struct stat* st, int flags) {
        return ::fstatat(dirFd, path, st, flags);
    },
    [](int fd, struct stat* st) { return ::fstat(fd, st); },
    [](int dirFd, const char* path, int flags, mode_t mode) {
        return ::openat(dirFd, path, flags, mode);
    },
    [](int fd) { return ::close(fd); },
    [](int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
        return ::renameat2(fromDir, from, toDir, to, flags);
    },
    [](const char* from, const char* to) { return ::link(from, to); },
    [](int fromDir, const char* from, int toDir, const char* to, int flags) {
        return ::linkat(fromDir, from, toDir, to, flags);
    },
    [](const char* path) { return ::unlink(path); },
    [](int dirFd, const char* path, int flags) { return ::unlinkat(dirFd, path, flags); },
    [](const char* path, char* buffer, size_t size) { return ::readlink(path, buffer, size); },
    [](const char* target, int dirFd, const char* path) {
        return ::symlinkat(target, dirFd, path);
    },
    [](int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); },
    [](int fd, const void* buffer, size_t size) { return ::write(fd, buffer, size); },
    [](int in, off_t* inOffset, int out, off_t* outOffset, size_t size, unsigned flags) {
        return ::copy_file_range(in, inOffset, out, outOffset, size, flags);
    },
    [](int fd, uid_t owner, gid_t group) { return ::fchown(fd, owner, group); },
    [](int fd, mode_t mode) { return ::fchmod(fd, mode); },
    [](int fd, const struct timespec times[2]) { return ::futimens(fd, times); },
    [](int fd) { return ::fsync(fd); },
    [](int dirFd, const char* path, int mode, int flags) {
        return ::faccessat(dirFd, path, mode, flags);
    },
};

SysCalls& activeTable() {
    static SysCalls table = realTable;
    return table;
}

bool swapUnsupported(const FileResult& r) {
    return !r.ok && r.step == SwapStep && renameFlagsUnsupported(r.error);
}

FileResult refuseUndeletable(const struct stat& st) {
    if (S_ISDIR(st.st_mode))
        return FileResult::failure(EISDIR, "delete a folder");
    // unlink ignores the file's own mode, and root passes every check, so the
    // read-only protection users expect has to be ours.
    if (!S_ISLNK(st.st_mode) && (st.st_mode & 0222) == 0)
        return FileResult::failure(EACCES, "delete a read-only file");
    return FileResult::success();
}

// Whether the file at path, found as st, may be removed from its folder: the
// file itself, a folder we may change, a file system that is not read-only,
// and the rule of folders such as /tmp where only owners remove files.
FileResult refuseUndeletableAt(const QByteArray& path, const struct stat& st) {
    FileResult refused = refuseUndeletable(st);
    const QByteArray folder = folderOf(path);
    struct stat folderSt;
    if (refused && sysCalls().faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        refused = failed("change the folder");
    else if (refused && ::stat(folder.constData(), &folderSt) == 0 &&
             (folderSt.st_mode & S_ISVTX)) {
        const uid_t self = ::geteuid();
        if (self != 0 && st.st_uid != self && folderSt.st_uid != self)
            refused = FileResult::failure(EPERM, "remove someone else's file");
    }
    refused.targetUndeletable = !refused.ok;
    return refused;
}

FileResult moveByLink(const QByteArray& from, const QByteArray& to, const struct stat& fromSt) {
    SysCalls& sys = sysCalls();
    if (sys.link(from.constData(), to.constData()) != 0) {
        if (errno == EXDEV)
            return moveAcrossDevices(from, to, fromSt);
        return failed("link to the new name");
    }
    if (sys.unlink(from.constData()) != 0) {
        const int error = errno;
        // Both names are the same file now, so dropping the new one loses nothing.
        sys.unlinkat(AT_FDCWD, to.constData(), 0);
        return FileResult::failure(error, "remove the source");
    }
    return FileResult::success();
}

// What moveFile and replaceFile check first: both names given, a source that
// is there and is no folder.
FileResult findSource(const QByteArray& from, const QByteArray& to, struct stat& fromSt) {
    if (from.isEmpty() || to.isEmpty())
        return FileResult::failure(ENOENT, "name the files");
    if (sysCalls().fstatat(AT_FDCWD, from.constData(), &fromSt, AT_SYMLINK_NOFOLLOW) != 0)
        return failed("find the source");
    if (S_ISDIR(fromSt.st_mode))
        return FileResult::failure(EISDIR, "move a folder");
    return FileResult::success();
}

} // namespace

namespace detail {

const char SwapStep[] = "swap in the new file";

FileResult checkRemovable(const QByteArray& path, const struct stat& st) {
    return refuseUndeletableAt(path, st);
}

QByteArray folderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

void swapBack(int newDir, const char* newName, int dir, const char* name) {
    const int saved = errno;
    sysCalls().renameat2(newDir, newName, dir, name, RENAME_EXCHANGE);
    errno = saved;
}

FileResult swapIn(int newDir, const char* newName, int dir, const char* name,
                  const struct stat& replaced) {
    SysCalls& sys = sysCalls();
    if (sys.renameat2(newDir, newName, dir, name, RENAME_EXCHANGE) != 0)
        return FileResult::failure(errno, SwapStep);
    struct stat old;
    if (sys.fstatat(newDir, newName, &old, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(old, replaced)) {
        swapBack(newDir, newName, dir, name);
        return FileResult::failure(EEXIST, "replace a file that changed meanwhile");
    }
    return FileResult::success();
}

} // namespace detail

QString FileResult::message() const {
    return ok ? QString() : qt_error_string(error);
}

QString FileResult::detail() const {
    if (ok || !step)
        return message();
    return QString::fromUtf8(step) + QStringLiteral(": ") + message();
}

SysCalls& sysCalls() {
    return activeTable();
}

const SysCalls& realSysCalls() {
    return realTable;
}

ScopedSysCalls::ScopedSysCalls(const SysCalls& replacement) : saved(sysCalls()) {
    sysCalls() = replacement;
}

ScopedSysCalls::~ScopedSysCalls() {
    sysCalls() = saved;
}

bool fileExists(const QByteArray& nativePath) {
    struct stat st;
    if (::lstat(nativePath.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return !S_ISLNK(st.st_mode) || ::stat(nativePath.constData(), &st) != 0 || !S_ISDIR(st.st_mode);
}

bool fileExists(const QString& path) {
    return fileExists(QFile::encodeName(path));
}

FileResult deleteFile(const QByteArray& nativePath) {
    SysCalls& sys = sysCalls();
    struct stat st;
    if (sys.fstatat(AT_FDCWD, nativePath.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return failed("find the file");
    if (const FileResult refused = refuseUndeletable(st); !refused)
        return refused;
    if (sys.unlink(nativePath.constData()) != 0)
        return failed("delete");
    return FileResult::success();
}

FileResult deleteFile(const QString& path) {
    return deleteFile(QFile::encodeName(path));
}

FileResult moveFile(const QByteArray& from, const QByteArray& to) {
    SysCalls& sys = sysCalls();
    struct stat fromSt;
    if (const FileResult found = findSource(from, to, fromSt); !found)
        return found;
    removeStaleTemporariesOnce(folderOf(to));
    if (from == to)
        return FileResult::failure(EEXIST, "move a file onto itself");
    // The common case costs one call: the kernel refuses a taken name, the
    // file's own second name included, without a look beforehand.
    if (sys.renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return FileResult::success();
    if (errno == EXDEV)
        return moveAcrossDevices(from, to, fromSt);
    if (!renameFlagsUnsupported(errno))
        return failed("rename");
    // Moving a file onto itself by a second name would, on the fallback,
    // remove the only copy; it is simply a name that is taken.
    struct stat toSt;
    if (sys.fstatat(AT_FDCWD, to.constData(), &toSt, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(fromSt, toSt))
        return FileResult::failure(EEXIST, "move a file onto itself");
    return moveByLink(from, to, fromSt);
}

FileResult moveFile(const QString& from, const QString& to) {
    return moveFile(QFile::encodeName(from), QFile::encodeName(to));
}

FileResult replaceFile(const QByteArray& from, const QByteArray& to) {
    SysCalls& sys = sysCalls();
    struct stat fromSt;
    if (const FileResult found = findSource(from, to, fromSt); !found)
        return found;
    struct stat toSt;
    if (sys.fstatat(AT_FDCWD, to.constData(), &toSt, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? moveFile(from, to) : failed("find the file to replace");
    // Refused before anything changes, so that the user hears which file is
    // in the way rather than that the move failed.
    if (const FileResult refused = refuseUndeletableAt(to, toSt); !refused)
        return refused;
    removeStaleTemporariesOnce(folderOf(to));
    if (sameFile(fromSt, toSt))
        return FileResult::failure(EEXIST, "move a file onto itself");

    FileResult r = swapIn(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), toSt);
    if (r) {
        // The replaced file now has the source's name and goes last.
        if (sys.unlinkat(AT_FDCWD, from.constData(), 0) != 0) {
            const FileResult failure = failed("remove the replaced file");
            swapBack(AT_FDCWD, from.constData(), AT_FDCWD, to.constData());
            return failure;
        }
        return r;
    }
    if (r.step == SwapStep && r.error == EXDEV)
        r = moveAcrossDevices(from, to, fromSt, &toSt);
    if (!swapUnsupported(r))
        return r;

    // Without swapping two names the replaced file has to go first, and only
    // while it is still the one meant to go.
    struct stat now;
    if (sys.fstatat(AT_FDCWD, to.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameFile(now, toSt))
        return FileResult::failure(EEXIST, "replace a file that changed meanwhile");
    if (sys.unlinkat(AT_FDCWD, to.constData(), 0) != 0) {
        FileResult refused = failed("delete the file to replace");
        refused.targetUndeletable = true;
        return refused;
    }
    r = moveFile(from, to);
    r.targetRemoved = !r.ok;
    return r;
}

FileResult replaceFile(const QString& from, const QString& to) {
    return replaceFile(QFile::encodeName(from), QFile::encodeName(to));
}

QString joinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

} // namespace sortello

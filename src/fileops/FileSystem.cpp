// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/FileSystem.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtGlobal>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace sortello {

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
};

SysCalls& activeTable() {
    static SysCalls table = realTable;
    return table;
}

FileResult failed(const char* step) {
    return FileResult::failure(errno, step);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool unchanged(const struct stat& now, const struct stat& before) {
    return sameFile(now, before) && now.st_size == before.st_size &&
           now.st_mtim.tv_sec == before.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == before.st_mtim.tv_nsec;
}

bool renameFlagsUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool kernelCopyUnsupported(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Which failure of a swap means the file system cannot swap at all.
const char SwapStep[] = "swap in the new file";

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

void swapBack(int newDir, const char* newName, int dir, const char* name) {
    const int saved = errno;
    sysCalls().renameat2(newDir, newName, dir, name, RENAME_EXCHANGE);
    errno = saved;
}

// Swaps the new file in for the file at (dir, name), which must still be the
// one meant to go; someone else's file put there meanwhile gets its name back.
// Afterwards the replaced file sits at (newDir, newName).
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

QByteArray temporaryName() {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray name(".sortello-");
    for (int i = 0; i < 6; ++i)
        name += alphabet[QRandomGenerator::global()->bounded(int(sizeof alphabet - 1))];
    return name;
}

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd& operator=(Fd&& other) noexcept {
        reset();
        std::swap(fd, other.fd);
        return *this;
    }
    int get() const { return fd; }
    bool valid() const { return fd >= 0; }
    void reset() {
        if (fd >= 0) {
            const int saved = errno;
            sysCalls().close(fd);
            errno = saved;
            fd = -1;
        }
    }

private:
    int fd = -1;
};

// What a cross-device move has put into the destination folder. Unless kept,
// it goes again, and the final name only while it is still our own file, so a
// file someone else put there meanwhile survives.
class Staging {
public:
    explicit Staging(int dirFd) : dir(dirFd) {}
    ~Staging() {
        const int saved = errno;
        SysCalls& sys = sysCalls();
        if (!temporary.isEmpty())
            sys.unlinkat(dir, temporary.constData(), 0);
        struct stat st;
        if (!kept && !finalName.isEmpty() &&
            sys.fstatat(dir, finalName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            sameFile(st, placed))
            sys.unlinkat(dir, finalName.constData(), 0);
        errno = saved;
    }
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    void linked(const QByteArray& name, const struct stat& st) {
        finalName = name;
        placed = st;
    }
    // Gives the temporary name's file the final name, failing if that is taken.
    FileResult publish(const QByteArray& name, const struct stat& st) {
        SysCalls& sys = sysCalls();
        if (sys.linkat(dir, temporary.constData(), dir, name.constData(), 0) == 0) {
            linked(name, st);
            if (sys.unlinkat(dir, temporary.constData(), 0) != 0)
                return failed("remove the temporary name");
        } else if (errno == EPERM || errno == EOPNOTSUPP) {
            // FAT and exFAT sticks have no hard links but can rename without replacing.
            if (sys.renameat2(dir, temporary.constData(), dir, name.constData(),
                              RENAME_NOREPLACE) != 0)
                return failed("rename to the new name");
            linked(name, st);
        } else {
            return failed("link to the new name");
        }
        temporary.clear();
        return FileResult::success();
    }

    QByteArray temporary;
    bool kept = false;

private:
    int dir;
    QByteArray finalName;
    struct stat placed {};
};

constexpr size_t kernelChunk = size_t(64) << 20;
constexpr size_t bufferSize = size_t(1) << 20;

// Copies from the current offsets to the end; returns the bytes copied or -1.
qint64 copyContents(int in, int out, qint64 expectedSize) {
    SysCalls& sys = sysCalls();
    qint64 copied = 0;
    bool kernelCopy = true;
    std::vector<char> buffer;
    for (;;) {
        if (kernelCopy) {
            const ssize_t n = sys.copyFileRange(in, nullptr, out, nullptr, kernelChunk, 0);
            if (n > 0) {
                copied += n;
                continue;
            }
            // Some file systems report an early end; plain reads tell the truth.
            if (n == 0 && copied >= expectedSize)
                return copied;
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && !kernelCopyUnsupported(errno))
                return -1;
            kernelCopy = false;
            buffer.resize(bufferSize);
        }
        const ssize_t got = sys.read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? -1 : copied;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = sys.write(out, buffer.data() + done, size_t(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) {
                if (put == 0)
                    errno = ENOSPC;
                return -1;
            }
            done += put;
        }
        copied += got;
    }
}

FileResult stageLink(const QByteArray& from, const struct stat& fromSt, int dir,
                     const QByteArray& name, Staging& staging) {
    SysCalls& sys = sysCalls();
    std::vector<char> target(size_t(qMax<qint64>(fromSt.st_size, 255)) + 1);
    ssize_t length;
    while ((length = sys.readlink(from.constData(), target.data(), target.size())) ==
           ssize_t(target.size()))
        target.resize(target.size() * 2);
    if (length < 0)
        return failed("read the link");
    target[size_t(length)] = '\0';

    for (int attempt = 0; staging.temporary.isEmpty(); ++attempt) {
        const QByteArray candidate = temporaryName();
        if (sys.symlinkat(target.data(), dir, candidate.constData()) == 0)
            staging.temporary = candidate;
        else if (errno != EEXIST || attempt == 100)
            return failed("create the link");
    }
    struct stat linkSt;
    if (sys.fstatat(dir, staging.temporary.constData(), &linkSt, AT_SYMLINK_NOFOLLOW) != 0)
        return failed("check the new link");
    return staging.publish(name, linkSt);
}

FileResult stageCopy(const QByteArray& from, const struct stat& fromSt, int dir,
                     const QByteArray& name, Staging& staging, struct stat& copiedSt) {
    SysCalls& sys = sysCalls();
    // O_NONBLOCK so that a fifo swapped in for the file cannot hang the open.
    Fd in(
        sys.openat(AT_FDCWD, from.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0));
    if (!in.valid())
        return failed("open the source");
    if (sys.fstat(in.get(), &copiedSt) != 0)
        return failed("read the source's details");
    if (!S_ISREG(copiedSt.st_mode) || !sameFile(copiedSt, fromSt))
        return FileResult::failure(EBUSY, "source changed while copying");

    // An unnamed file shows up only when complete, and vanishes by itself on a crash.
    Fd out(sys.openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    const bool unnamed = out.valid();
    for (int attempt = 0; !out.valid(); ++attempt) {
        const QByteArray candidate = temporaryName();
        out = Fd(sys.openat(dir, candidate.constData(),
                            O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (out.valid())
            staging.temporary = candidate;
        else if (errno != EEXIST || attempt == 100)
            return failed("create the copy");
    }

    const qint64 copied = copyContents(in.get(), out.get(), copiedSt.st_size);
    if (copied < 0)
        return failed("copy the contents");
    if (copied != copiedSt.st_size)
        return FileResult::failure(EBUSY, "source changed while copying");
    // Ownership only carries over where allowed; a move by its owner needs none.
    sys.fchown(out.get(), copiedSt.st_uid, copiedSt.st_gid);
    if (sys.fchmod(out.get(), copiedSt.st_mode & 07777) != 0)
        return failed("copy the permissions");
    const struct timespec times[2] = {copiedSt.st_atim, copiedSt.st_mtim};
    if (sys.futimens(out.get(), times) != 0)
        return failed("copy the dates");
    if (sys.fsync(out.get()) != 0)
        return failed("flush the copy");
    struct stat outSt;
    if (sys.fstat(out.get(), &outSt) != 0)
        return failed("check the copy");

    if (unnamed) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(out.get());
        int rc = sys.linkat(AT_FDCWD, self.constData(), dir, name.constData(), AT_SYMLINK_FOLLOW);
        if (rc != 0 && errno == ENOENT) // no /proc: works with the right privilege
            rc = sys.linkat(out.get(), "", dir, name.constData(), AT_EMPTY_PATH);
        if (rc != 0)
            return failed("link to the new name");
        staging.linked(name, outSt);
        return FileResult::success();
    }
    return staging.publish(name, outSt);
}

// Copies the file into the destination folder and removes the source. With
// `replaced`, the copy lands under a temporary name and is swapped in for that
// file, which goes only once the source is gone.
FileResult moveAcrossDevices(const QByteArray& from, const QByteArray& to,
                             const struct stat& fromSt, const struct stat* replaced = nullptr) {
    if (!S_ISREG(fromSt.st_mode) && !S_ISLNK(fromSt.st_mode))
        return FileResult::failure(EOPNOTSUPP, "copy something that is not a file");
    SysCalls& sys = sysCalls();
    const qsizetype slash = to.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? "/" : to.left(slash);
    const QByteArray name = to.mid(slash + 1);
    if (name.isEmpty())
        return FileResult::failure(EISDIR, "name the target");

    Fd dir(sys.openat(AT_FDCWD, folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (!dir.valid())
        return failed("open the destination folder");
    Staging staging(dir.get());
    const QByteArray landing = replaced ? temporaryName() : name;
    struct stat sourceSt = fromSt;
    FileResult staged = S_ISLNK(fromSt.st_mode)
                            ? stageLink(from, fromSt, dir.get(), landing, staging)
                            : stageCopy(from, fromSt, dir.get(), landing, staging, sourceSt);
    if (staged && replaced)
        staged = swapIn(dir.get(), landing.constData(), dir.get(), name.constData(), *replaced);
    if (!staged)
        return staged;
    // From here on a failure puts the replaced file back; the copy then holds
    // the landing name again and goes with the staging.
    const auto undo = [&](const FileResult& failure) {
        if (replaced)
            swapBack(dir.get(), landing.constData(), dir.get(), name.constData());
        return failure;
    };
    if (sys.fsync(dir.get()) != 0)
        return undo(failed("flush the destination folder"));

    struct stat now;
    if (sys.fstatat(AT_FDCWD, from.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0)
        return undo(failed("check the source"));
    if (!unchanged(now, sourceSt))
        return undo(FileResult::failure(EBUSY, "source changed while copying"));
    if (sys.unlink(from.constData()) != 0)
        return undo(failed("remove the source"));
    staging.kept = true;
    // The picture is safe in its place; the file it replaced goes last.
    if (replaced)
        sys.unlinkat(dir.get(), landing.constData(), 0);
    return FileResult::success();
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

FileResult checkDeletable(const QString& path) {
    struct stat st;
    if (sysCalls().fstatat(AT_FDCWD, QFile::encodeName(path).constData(), &st,
                           AT_SYMLINK_NOFOLLOW) != 0)
        return failed("find the file");
    return refuseUndeletable(st);
}

FileResult moveFile(const QByteArray& from, const QByteArray& to) {
    SysCalls& sys = sysCalls();
    struct stat fromSt;
    if (const FileResult found = findSource(from, to, fromSt); !found)
        return found;
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
    if (const FileResult refused = refuseUndeletable(toSt); !refused)
        return refused;
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
    if (sys.unlinkat(AT_FDCWD, to.constData(), 0) != 0)
        return failed("delete the file to replace");
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

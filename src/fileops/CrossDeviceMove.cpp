// SPDX-License-Identifier: GPL-3.0-or-later
// A move across file systems: copy into the destination folder, flush, and
// remove the source only once the copy is whole under its name. The copy is
// written into an unnamed file wherever the file system has them, so that a
// run killed half-way leaves nothing behind; a name it needs on the way is a
// temporary marked as in use (Temporaries.h).
#include "fileops/FileSystemDetail.h"
#include "fileops/Temporaries.h"

#include <QtGlobal>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace sortello::detail {

namespace {

bool kernelCopyUnsupported(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// What a cross-device move has put into the destination folder. Unless kept,
// it goes again, and the final name only while it is still our own file, so a
// file someone else put there meanwhile survives. The names go before the
// locks that mark them as in use.
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
    Fd copy;     // open, and marked as in use, while the move runs
    Fd replaced; // the same for the file a replace swaps out

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

// A link is made under its name at once: making it fails when the name is taken.
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
    if (sys.symlinkat(target.data(), dir, name.constData()) != 0)
        return failed("create the link");
    struct stat linkSt;
    if (sys.fstatat(dir, name.constData(), &linkSt, AT_SYMLINK_NOFOLLOW) != 0)
        return failed("check the new link");
    staging.linked(name, linkSt);
    return FileResult::success();
}

// Creates the copy: unnamed where the file system allows, else under a
// temporary name.
FileResult createCopy(int dir, Staging& staging, bool& unnamed) {
    SysCalls& sys = sysCalls();
    staging.copy = Fd(sys.openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    unnamed = staging.copy.valid();
    for (int attempt = 0; !staging.copy.valid(); ++attempt) {
        const QByteArray candidate = temporaryName();
        staging.copy = Fd(sys.openat(dir, candidate.constData(),
                                     O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (staging.copy.valid())
            staging.temporary = candidate;
        else if (errno != EEXIST || attempt == 100)
            return failed("create the copy");
    }
    markInUse(staging.copy.get());
    return FileResult::success();
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

    bool unnamed = false;
    if (const FileResult created = createCopy(dir, staging, unnamed); !created)
        return created;
    const int out = staging.copy.get();
    const qint64 copied = copyContents(in.get(), out, copiedSt.st_size);
    if (copied < 0)
        return failed("copy the contents");
    if (copied != copiedSt.st_size)
        return FileResult::failure(EBUSY, "source changed while copying");
    // Ownership only carries over where allowed; a move by its owner needs none.
    sys.fchown(out, copiedSt.st_uid, copiedSt.st_gid);
    if (sys.fchmod(out, copiedSt.st_mode & 07777) != 0)
        return failed("copy the permissions");
    const struct timespec times[2] = {copiedSt.st_atim, copiedSt.st_mtim};
    if (sys.futimens(out, times) != 0)
        return failed("copy the dates");
    if (sys.fsync(out) != 0)
        return failed("flush the copy");
    struct stat outSt;
    if (sys.fstat(out, &outSt) != 0)
        return failed("check the copy");

    if (unnamed) {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(out);
        int rc = sys.linkat(AT_FDCWD, self.constData(), dir, name.constData(), AT_SYMLINK_FOLLOW);
        if (rc != 0 && errno == ENOENT) // no /proc: works with the right privilege
            rc = sys.linkat(out, "", dir, name.constData(), AT_EMPTY_PATH);
        if (rc != 0)
            return failed("link to the new name");
        staging.linked(name, outSt);
        return FileResult::success();
    }
    return staging.publish(name, outSt);
}

// Marks the file a replace swaps out, so that it is not taken for a stale
// temporary while it bears the temporary name; best effort.
void markReplaced(int dir, const QByteArray& name, const struct stat& replaced, Staging& staging) {
    if (!S_ISREG(replaced.st_mode))
        return;
    Fd fd(sysCalls().openat(dir, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                            0));
    struct stat st;
    if (fd.valid() && sysCalls().fstat(fd.get(), &st) == 0 && sameFile(st, replaced) &&
        markInUse(fd.get()))
        staging.replaced = std::move(fd);
}

} // namespace

FileResult moveAcrossDevices(const QByteArray& from, const QByteArray& to,
                             const struct stat& fromSt, const struct stat* replaced) {
    if (!S_ISREG(fromSt.st_mode) && !S_ISLNK(fromSt.st_mode))
        return FileResult::failure(EOPNOTSUPP, "copy something that is not a file");
    SysCalls& sys = sysCalls();
    const QByteArray folder = folderOf(to);
    const QByteArray name = nameOf(to);
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
    if (staged && replaced) {
        markReplaced(dir.get(), name, *replaced, staging);
        staged = swapIn(dir.get(), landing.constData(), dir.get(), name.constData(), *replaced);
    }
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

} // namespace sortello::detail

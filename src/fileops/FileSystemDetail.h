// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What FileSystem.cpp and CrossDeviceMove.cpp share; not for other modules.
#include "fileops/FileSystem.h"

#include <QByteArray>
#include <cerrno>
#include <sys/stat.h>
#include <utility>

namespace sortello::detail {

inline FileResult failed(const char* step) {
    return FileResult::failure(errno, step);
}

inline bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

inline bool unchanged(const struct stat& now, const struct stat& before) {
    return sameFile(now, before) && now.st_size == before.st_size &&
           now.st_mtim.tv_sec == before.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == before.st_mtim.tv_nsec;
}

inline bool renameFlagsUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// The folder part of a path ("." for a bare name) and the name part.
QByteArray folderOf(const QByteArray& path);
QByteArray nameOf(const QByteArray& path);

// Whether the file at path, found as st, may be removed from its folder; a
// refusal has targetUndeletable set.
FileResult checkRemovable(const QByteArray& path, const struct stat& st);

// Which failure of a swap means the file system cannot swap at all.
extern const char SwapStep[];

// Swaps the new file in for the file at (dir, name), which must still be the
// one meant to go; someone else's file put there meanwhile gets its name back.
// Afterwards the replaced file sits at (newDir, newName).
FileResult swapIn(int newDir, const char* newName, int dir, const char* name,
                  const struct stat& replaced);
void swapBack(int newDir, const char* newName, int dir, const char* name);

// Copies the file into the destination folder and removes the source. With
// `replaced`, the copy is swapped in for that file, which goes only once the
// source is gone.
FileResult moveAcrossDevices(const QByteArray& from, const QByteArray& to,
                             const struct stat& fromSt, const struct stat* replaced = nullptr);

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

} // namespace sortello::detail

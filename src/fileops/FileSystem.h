// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File primitives that never lose a picture: a move never replaces an existing
// name and removes its source only once the file is safely in place.
#include <QByteArray>
#include <QString>
#include <sys/stat.h>
#include <sys/types.h>

namespace sortello {

struct FileResult {
    bool ok = true;
    int error = 0;              // errno of the failed step, 0 on success
    const char* step = nullptr; // the failed step in plain words, for logs
    // replaceFile only: the file to be replaced is gone although the move
    // failed (on file systems that cannot swap two names).
    bool targetRemoved = false;
    // replaceFile only: the file to be replaced may not be removed (read-only,
    // a folder, in a folder or on a file system we may not change), so
    // nothing was done.
    bool targetUndeletable = false;
    // moveToTrash only: the file's file system has no trash we may use, so
    // nothing was done.
    bool noTrash = false;

    static FileResult success() { return {}; }
    static FileResult failure(int error, const char* step) { return {false, error, step}; }

    // The system's text for the error, e.g. "File exists"; empty on success.
    QString message() const;
    // The message preceded by the failed step, e.g. "link to the new name: File exists".
    QString detail() const;
    explicit operator bool() const { return ok; }
};

// Every system call deleteFile and moveFile make goes through this table so
// tests can make any single step fail.
struct SysCalls {
    int (*fstatat)(int dirFd, const char* path, struct stat* st, int flags);
    int (*fstat)(int fd, struct stat* st);
    int (*openat)(int dirFd, const char* path, int flags, mode_t mode);
    int (*close)(int fd);
    int (*renameat2)(int fromDir, const char* from, int toDir, const char* to, unsigned flags);
    int (*link)(const char* from, const char* to); // same-device fallback only
    int (*linkat)(int fromDir, const char* from, int toDir, const char* to, int flags);
    int (*unlink)(const char* path); // the source or the file deleteFile removes
    // everything else: cleanup, and the file a replace leaves behind
    int (*unlinkat)(int dirFd, const char* path, int flags);
    ssize_t (*readlink)(const char* path, char* buffer, size_t size);
    int (*symlinkat)(const char* target, int dirFd, const char* path);
    ssize_t (*read)(int fd, void* buffer, size_t size);
    ssize_t (*write)(int fd, const void* buffer, size_t size);
    ssize_t (*copyFileRange)(int in, off_t* inOffset, int out, off_t* outOffset, size_t size,
                             unsigned flags);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*fchmod)(int fd, mode_t mode);
    int (*futimens)(int fd, const struct timespec times[2]);
    int (*fsync)(int fd);
    // whether the destination folder may be changed
    int (*faccessat)(int dirFd, const char* path, int mode, int flags);
};

// The table in use; tests swap it with ScopedSysCalls.
SysCalls& sysCalls();
// The table that calls the C library directly.
const SysCalls& realSysCalls();

class ScopedSysCalls {
public:
    explicit ScopedSysCalls(const SysCalls& replacement);
    ~ScopedSysCalls();
    ScopedSysCalls(const ScopedSysCalls&) = delete;
    ScopedSysCalls& operator=(const ScopedSysCalls&) = delete;

private:
    SysCalls saved;
};

// True when the name is taken by anything but a folder (or a link to one);
// a dangling link counts, as its name cannot be used.
bool fileExists(const QString& path);
bool fileExists(const QByteArray& nativePath);

// Removes the file for good. A read-only file (no write bit at all) is refused
// with EACCES, even for root; a folder with EISDIR; a link loses only itself.
FileResult deleteFile(const QString& path);
FileResult deleteFile(const QByteArray& nativePath);

// Moves a file without ever replacing an existing name (EEXIST). On failure the
// source is untouched and nothing is left at the target or beside it. A link is
// moved as a link; a folder is refused with EISDIR. Hidden temporaries that a
// killed run left in the destination folder go the first time a run moves
// into it (see Temporaries.h).
FileResult moveFile(const QString& from, const QString& to);
FileResult moveFile(const QByteArray& nativeFrom, const QByteArray& nativeTo);

// Moves a file onto the name of an existing file, which goes: either both
// happen, or both files stay as they were. The file at `to` must be the one
// found there at the start, else EEXIST and someone else's file stays; a
// read-only file or a folder is refused as deleteFile refuses it, and so is a
// file in a folder we may not change (targetUndeletable). Where the
// file system cannot swap two names, the file at `to` is deleted first and a
// failed move then says so by targetRemoved. A missing `to` is a plain move.
FileResult replaceFile(const QString& from, const QString& to);
FileResult replaceFile(const QByteArray& nativeFrom, const QByteArray& nativeTo);

// folder + "/" + name, without doubling a trailing "/"; an empty folder gives name.
QString joinPath(const QString& folder, const QString& name);

} // namespace sortello

// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/Temporaries.h"

#include <QRandomGenerator>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {

namespace {

constexpr char Prefix[] = ".sortello-";
constexpr size_t PrefixLength = sizeof Prefix - 1;
constexpr size_t RandomLength = 6;
constexpr char Alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

bool inAlphabet(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

QByteArray temporaryName() {
    QByteArray name(Prefix);
    for (size_t i = 0; i < RandomLength; ++i)
        name += Alphabet[QRandomGenerator::global()->bounded(int(sizeof Alphabet - 1))];
    return name;
}

bool isTemporaryName(const char* name) {
    if (std::strncmp(name, Prefix, PrefixLength) != 0 ||
        std::strlen(name) != PrefixLength + RandomLength)
        return false;
    for (size_t i = PrefixLength; i < PrefixLength + RandomLength; ++i)
        if (!inAlphabet(name[i]))
            return false;
    return true;
}

bool markInUse(int fd) {
    return ::flock(fd, LOCK_SH | LOCK_NB) == 0;
}

bool removeIfStale(int dirFd, const char* name) {
    if (!isTemporaryName(name))
        return false;
    // A file we may not open is someone else's; a link or a folder is none of ours.
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool removed = false;
    struct stat opened;
    struct stat named;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == opened.st_dev &&
        named.st_ino == opened.st_ino)
        removed = ::unlinkat(dirFd, name, 0) == 0;
    ::close(fd);
    return removed;
}

void removeStaleTemporariesOnce(const QByteArray& folder) {
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(dirFd), ::closedir);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    // The path alone could name a new folder on the same place; the inode
    // alone could be reused by another folder.
    struct stat st;
    if (::fstat(dirFd, &st) != 0)
        return;
    static QSet<QByteArray> swept;
    const QByteArray key = folder + '\0' + QByteArray::number(quint64(st.st_dev)) + ':' +
                           QByteArray::number(quint64(st.st_ino));
    if (swept.contains(key))
        return;
    swept.insert(key);
    while (const dirent* entry = ::readdir(dir.get()))
        if (entry->d_name[0] == '.')
            removeIfStale(dirFd, entry->d_name);
}

} // namespace sortello

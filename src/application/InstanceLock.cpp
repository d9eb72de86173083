// SPDX-License-Identifier: GPL-3.0-or-later
#include "application/InstanceLock.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace sortello {

namespace {

QByteArray readSome(int fd, qsizetype limit) {
    QByteArray bytes(limit, '\0');
    const ssize_t n = ::pread(fd, bytes.data(), size_t(limit), 0);
    bytes.truncate(n > 0 ? n : 0);
    return bytes;
}

// "T" is a stop by a signal, "t" one by a debugger; both last until someone
// lets the process go on.
bool isStopped(qint64 pid) {
    const int fd =
        ::open(("/proc/" + QByteArray::number(pid) + "/stat").constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const QByteArray stat = readSome(fd, 512);
    ::close(fd);
    // The command name in parentheses may hold anything, ")" included.
    const qsizetype end = stat.lastIndexOf(')');
    if (end < 0 || end + 2 >= stat.size())
        return false;
    const char state = stat[end + 2];
    return state == 'T' || state == 't';
}

} // namespace

InstanceLock::~InstanceLock() {
    release();
}

bool InstanceLock::acquire(const QString& path) {
    release();
    const int opened = ::open(QFile::encodeName(path).constData(),
                              O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (opened < 0)
        return false;
    if (::flock(opened, LOCK_EX | LOCK_NB) != 0) {
        ::close(opened);
        return false;
    }
    // The file stays when the lock goes: removing it would let two processes
    // lock two different files of the same name.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(opened, 0) != 0 ||
        ::pwrite(opened, pid.constData(), size_t(pid.size()), 0) != ssize_t(pid.size())) {
        ::close(opened);
        return false;
    }
    fd = opened;
    return true;
}

void InstanceLock::release() {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

LockHolder lockHolder(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    LockHolder holder;
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
    } else if (errno == EWOULDBLOCK) {
        bool ok = false;
        const qint64 pid = readSome(fd, 32).trimmed().toLongLong(&ok);
        holder.pid = ok && pid > 0 ? pid : 0;
        holder.state = holder.pid != 0 && isStopped(holder.pid) ? LockHolder::State::Stopped
                                                                : LockHolder::State::Running;
    }
    ::close(fd);
    return holder;
}

} // namespace sortello

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a running instance is alive, told by a lock it holds for as long as
// it runs: the kernel drops the lock when the process ends, however it ends,
// and keeps it while the process is busy or stopped. The lock file names the
// holder's process, so a waiting second start can tell busy from stopped.
#include <QString>

namespace sortello {

// Held from acquire() until release(), destruction or the end of the process.
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False when another holds it or the file cannot be used.
    bool acquire(const QString& path);
    void release();
    bool held() const { return fd >= 0; }

private:
    int fd = -1;
};

struct LockHolder {
    enum class State { None, Running, Stopped };
    State state = State::None;
    qint64 pid = 0; // 0 when not known
};

// Who holds the lock at path right now; never waits.
LockHolder lockHolder(const QString& path);

} // namespace sortello

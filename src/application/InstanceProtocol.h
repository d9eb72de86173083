// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the two sides of the single-instance hand-off share; not for other
// modules. The protocol itself is described in PrevInst.h.
#include <QByteArray>
#include <QByteArrayView>
#include <QDeadlineTimer>
#include <QString>
#include <QtGlobal>
#include <unistd.h>

namespace sortello::instance {

constexpr QByteArrayView GetIdMessage = "wm_KVAppGetID";
constexpr QByteArrayView RestoreMessage = "wm_KVAppRestore";
constexpr QByteArrayView ParametersMessage = "wm_KVAppPrevInstParm";
constexpr QByteArrayView DoneAnswer = "done";

constexpr qsizetype MaxMessageBytes = 1024;

struct Socket {
    Socket() = default;
    Q_DISABLE_COPY(Socket)
    ~Socket() { reset(); }
    void reset(int newFd = -1) {
        if (fd >= 0)
            ::close(fd);
        fd = newFd;
    }
    int fd = -1;
};

enum class Reach { Connected, Refused, Unreachable };

// Connects without blocking; a full backlog (a live server that does not
// accept) is tried again until the deadline.
Reach connectTo(const QString& path, Socket& socket, QDeadlineTimer deadline);

inline QByteArray message(QByteArrayView name) {
    return name.toByteArray() + '\n';
}

} // namespace sortello::instance

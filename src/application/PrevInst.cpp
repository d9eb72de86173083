// SPDX-License-Identifier: GPL-3.0-or-later
// The second start's side of the single-instance hand-off, and where the
// instances meet. The running instance's side is in InstanceServer.cpp.
#include "application/PrevInst.h"
#include "application/InstanceProtocol.h"
#include "base/Error.h"
#include "base/Misc.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace sortello {

QString ParamSeparator = QStringLiteral(" ");

namespace instance {

Reach connectTo(const QString& path, Socket& socket, QDeadlineTimer deadline) {
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (encoded.size() >= qsizetype(sizeof(address.sun_path)))
        return Reach::Unreachable;
    std::memcpy(address.sun_path, encoded.constData(), encoded.size() + 1);
    for (;;) {
        socket.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (socket.fd < 0)
            return Reach::Unreachable;
        if (::connect(socket.fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
            return Reach::Connected;
        const int error = errno;
        socket.reset();
        if (error == ECONNREFUSED)
            return Reach::Refused;
        // A full backlog means a live server that does not accept; try again
        // until the deadline.
        if ((error != EAGAIN && error != EINTR) || deadline.hasExpired())
            return Reach::Unreachable;
        ::poll(nullptr, 0, 10);
    }
}

} // namespace instance

using namespace instance;

namespace {

// The limit of the atom names that carried the text on the platform Sortello
// came from; kept so that both sides behave the same on every platform.
constexpr qsizetype MaxSentText = 255;
constexpr qsizetype MaxClassNameChars = 29;
// Keeps the socket path well inside the 108 bytes a Unix socket address holds.
constexpr qsizetype MaxDisplayChars = 32;

QString fileNamePart(const QString& text, qsizetype maxChars) {
    QString part;
    for (QChar c : text.left(maxChars)) {
        const char16_t u = c.unicode();
        const bool keep = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                          (u >= '0' && u <= '9') || u == '.' || u == '_' || u == '-';
        part += keep ? c : QLatin1Char('_');
    }
    return part;
}

bool isPrivateFolder(const QByteArray& path, bool followLinks, bool exactMode) {
    struct stat info;
    const int result =
        followLinks ? ::stat(path.constData(), &info) : ::lstat(path.constData(), &info);
    if (result != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    return exactMode ? (info.st_mode & 0777) == 0700 : (info.st_mode & 077) == 0;
}

// How long a second start waits on the instance that holds a lock: as long as
// it is alive and runs, up to a limit; not long once it stays stopped; not at
// all once it has ended. The waits are plain polls on non-blocking sockets, so
// that a second start needs no event loop.
class Patience {
public:
    enum class Verdict { Waiting, Gone, Stopped, TooLong };

    Patience(QString lockPath, const InstanceWait& wait)
        : lockPath(std::move(lockPath)), wait(wait) {
        clock.start();
    }

    // 0 once fd is ready for the events, else the errno value to give up with.
    int waitFor(int fd, short events) {
        for (;;) {
            pollfd watched{fd, events, 0};
            const int result = ::poll(&watched, 1, SliceMs);
            if (result > 0)
                return 0;
            if (result < 0 && errno != EINTR)
                return errno;
            if (!stillWaiting())
                return ETIMEDOUT;
        }
    }
    // A pause before trying again; false once the wait is over.
    bool pause() {
        ::poll(nullptr, 0, SliceMs);
        return stillWaiting();
    }

    Verdict verdict = Verdict::Waiting;
    qint64 pid = 0;

private:
    static constexpr int SliceMs = 100;

    bool stillWaiting() {
        const LockHolder holder = lockHolder(lockPath);
        if (holder.state == LockHolder::State::None) {
            verdict = Verdict::Gone;
            return false;
        }
        if (holder.pid != 0)
            pid = holder.pid;
        if (!told && wait.waiting && clock.elapsed() >= wait.noticeMs) {
            told = true;
            wait.waiting(pid);
        }
        if (holder.state != LockHolder::State::Stopped)
            stoppedClock.invalidate();
        else if (!stoppedClock.isValid())
            stoppedClock.start();
        if (stoppedClock.isValid() && stoppedClock.elapsed() >= wait.stoppedMs)
            verdict = Verdict::Stopped;
        else if (clock.elapsed() >= wait.answerMs)
            verdict = Verdict::TooLong;
        return verdict == Verdict::Waiting;
    }

    QString lockPath;
    const InstanceWait& wait;
    QElapsedTimer clock;
    QElapsedTimer stoppedClock;
    bool told = false;
};

// After a failed call: 0 to try again, else the errno value to give up with.
int waitToRetry(int fd, short events, Patience& patience) {
    if (errno == EINTR)
        return 0;
    if (errno != EAGAIN && errno != EWOULDBLOCK)
        return errno;
    return patience.waitFor(fd, events);
}

// These return 0 or an errno value.
int sendAll(int fd, const QByteArray& bytes, Patience& patience) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n >= 0)
            sent += n;
        else if (const int error = waitToRetry(fd, POLLOUT, patience))
            return error;
    }
    return 0;
}

int readLine(int fd, Patience& patience, QByteArray& line) {
    line.clear();
    char chunk[256];
    for (;;) {
        const qsizetype end = line.indexOf('\n');
        if (end >= 0) {
            line.truncate(end);
            return 0;
        }
        if (line.size() > MaxMessageBytes)
            return EPROTO;
        const ssize_t n = ::recv(fd, chunk, sizeof(chunk), 0);
        if (n > 0)
            line.append(chunk, n);
        else if (n == 0)
            return ECONNRESET;
        else if (const int error = waitToRetry(fd, POLLIN, patience))
            return error;
    }
}

QByteArray escapeText(const QString& text) {
    QByteArray escaped;
    for (char c : text.toUtf8()) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

QString notAnsweringText(const Patience& patience) {
    const QString who = patience.pid > 0
                            ? QStringLiteral("Sortello is already running (process %1)")
                                  .arg(QString::number(patience.pid))
                            : QStringLiteral("Sortello is already running");
    if (patience.verdict == Patience::Verdict::Stopped)
        return who + QStringLiteral(" but it is stopped and does not answer; let it go on or "
                                    "end it, then start Sortello again.");
    return who + QStringLiteral(" but it does not answer; end it, then start Sortello again.");
}

void handOff(int fd, const QStringList& parameters, Patience& patience) {
    // Like a posted window message: nobody hears about a lost restore request.
    sendAll(fd, message(RestoreMessage), patience);
    if (parameters.isEmpty())
        return;
    const QString text = joinParameters(parameters);
    if (text.size() > MaxSentText)
        throw Error(systemErrorText(E2BIG));
    int error =
        sendAll(fd, ParametersMessage.toByteArray() + ' ' + escapeText(text) + '\n', patience);
    QByteArray answer;
    if (error == 0)
        error = readLine(fd, patience, answer);
    if (error == 0 && answer != DoneAnswer)
        error = EPROTO;
    if (patience.verdict == Patience::Verdict::Stopped ||
        patience.verdict == Patience::Verdict::TooLong)
        throw Error(notAnsweringText(patience));
    if (error != 0)
        throw Error(systemErrorText(error));
}

enum class Outcome { HandedOff, NotOurs, Gone };

// Talks to the instance that holds the lock, trying again while it is alive:
// it may not listen yet, may be ending, or may have dropped us.
Outcome talkTo(const QString& path, qint32 identification, const QStringList& parameters,
               Patience& patience) {
    do {
        Socket socket;
        if (connectTo(path, socket, QDeadlineTimer(0)) != Reach::Connected)
            continue;
        QByteArray answer;
        int error = sendAll(socket.fd, message(GetIdMessage), patience);
        if (error == 0)
            error = readLine(socket.fd, patience, answer);
        // Someone else's server that happens to hold our lock is passed over
        // like a foreign window of the same class.
        if (error == EPROTO || (error == 0 && answer != QByteArray::number(identification)))
            return Outcome::NotOurs;
        if (error == 0) {
            handOff(socket.fd, parameters, patience);
            return Outcome::HandedOff;
        }
    } while (patience.verdict == Patience::Verdict::Waiting && patience.pause());
    if (patience.verdict == Patience::Verdict::Gone)
        return Outcome::Gone;
    throw Error(notAnsweringText(patience));
}

} // namespace

QString systemErrorText(int errorNumber) {
    if (errorNumber == 0)
        return QStringLiteral("A call to an OS function failed");
    return QStringLiteral("System Error.  Code: %1.\r\n%2")
        .arg(QString::number(errorNumber), QString::fromLocal8Bit(std::strerror(errorNumber)));
}

void checkParamSeparator() {
    if (ParamSeparator.isEmpty())
        throw Error(QStringLiteral("Command line seperater is empty!"));
    for (QChar c : ParamSeparator)
        if (c.unicode() > 32)
            throw Error(QStringLiteral(
                "Command line separater contains characters larger than character 32!"));
}

QString joinParameters(const QStringList& parameters) {
    QString text;
    for (const QString& parameter : parameters)
        text += ParamSeparator + parameter;
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= 32)
        ++first;
    while (last > first && text[last - 1].unicode() <= 32)
        --last;
    return text.mid(first, last - first);
}

QString runtimeFolder() {
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    if (xdg.startsWith('/') && isPrivateFolder(xdg, true, true))
        return QDir::cleanPath(QFile::decodeName(xdg));
    const QByteArray own = "/tmp/sortello-" + QByteArray::number(::geteuid());
    // An odd umask must not leave the folder without access for ourselves.
    if (::mkdir(own.constData(), 0700) == 0)
        ::chmod(own.constData(), 0700);
    if (!isPrivateFolder(own, false, false))
        return {};
    return QFile::decodeName(own);
}

QString instanceSocketPath(const QString& className, int candidate) {
    if (candidate < 0 || candidate >= InstanceCandidates)
        return {};
    const QString folder = runtimeFolder();
    if (folder.isEmpty())
        return {};
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = QStringLiteral("none");
    QString path = QStringLiteral("%1/%2-%3-%4")
                       .arg(folder, fileNamePart(asciiLower(className), MaxClassNameChars),
                            QString::number(::geteuid()), fileNamePart(display, MaxDisplayChars));
    if (candidate > 0)
        path += QLatin1Char('-') + QString::number(candidate);
    return path + QStringLiteral(".sock");
}

QString instanceLockPath(const QString& className, int candidate) {
    QString path = instanceSocketPath(className, candidate);
    if (!path.isEmpty())
        path.replace(path.size() - 5, 5, QStringLiteral(".lock"));
    return path;
}

bool CheckPrevInstance(const QString& className, qint32 identification,
                       const QStringList& parameters, const InstanceWait& wait) {
    checkParamSeparator();
    for (int candidate = 0; candidate < InstanceCandidates; ++candidate) {
        const QString path = instanceSocketPath(className, candidate);
        if (path.isEmpty())
            return false;
        const QString lockPath = instanceLockPath(className, candidate);
        // Nobody alive here: a free name, a squatter, or the socket of an
        // instance that has ended.
        if (lockHolder(lockPath).state == LockHolder::State::None)
            continue;
        Patience patience(lockPath, wait);
        if (talkTo(path, identification, parameters, patience) == Outcome::HandedOff)
            return true;
    }
    return false;
}

} // namespace sortello

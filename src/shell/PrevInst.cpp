// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/PrevInst.h"
#include "shell/Error.h"
#include "shell/Misc.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>
#include <QWidget>
#include <cerrno>
#include <cstring>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace sortello {

QString ParamSeparator = QStringLiteral(" ");

namespace {

constexpr QByteArrayView GetIdMessage = "wm_KVAppGetID";
constexpr QByteArrayView RestoreMessage = "wm_KVAppRestore";
constexpr QByteArrayView ParametersMessage = "wm_KVAppPrevInstParm";
constexpr QByteArrayView DoneAnswer = "done";

constexpr qsizetype MaxMessageBytes = 1024;
// The limits of the atom names that carried the text on the platform Sortello
// came from; kept so that both sides behave the same on every platform.
constexpr qsizetype MaxSentText = 255;
constexpr qsizetype MaxReceivedText = 260;
constexpr qsizetype MaxClassNameChars = 29;
// Keeps the socket path well inside the 108 bytes a Unix socket address holds.
constexpr qsizetype MaxDisplayChars = 32;

constexpr int ConnectTimeoutMs = 500;
constexpr int IdleTimeoutMs = 2000;
// A real second start sends three messages; a peer that keeps on talking or a
// flood of connections is somebody else.
constexpr int MaxMessagesPerConnection = 16;
constexpr int MaxOpenConnections = 16;

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

// ---- Client side: plain non-blocking socket calls with deadlines, so that a
// second start needs no event loop and never waits for ever.

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

// How long a second start waits on the instance that holds a lock: as long as
// it is alive and runs, up to a limit; not long once it stays stopped; not at
// all once it has ended.
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

QByteArray message(QByteArrayView name) {
    return name.toByteArray() + '\n';
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

bool unescapeText(QByteArrayView escaped, QString& text) {
    QByteArray raw;
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        char c = escaped[i];
        // Anything but the two escapes, and any NUL, is not from a Sortello.
        if (c == '\\')
            c = ++i == escaped.size() ? '\0'
                : escaped[i] == 'n'   ? '\n'
                : escaped[i] == '\\'  ? c
                                      : '\0';
        if (c == '\0')
            return false;
        raw += c;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decoder.decode(raw);
    return !decoder.hasError();
}

bool parseParametersMessage(QByteArrayView line, QString& text) {
    if (!line.startsWith(ParametersMessage))
        return false;
    QByteArrayView rest = line.sliced(ParametersMessage.size());
    if (!rest.isEmpty()) {
        if (rest.front() != ' ')
            return false;
        rest = rest.sliced(1);
    }
    return unescapeText(rest, text);
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

// A path can be taken when nothing is there, or a socket nobody listens on any
// more (left behind by an instance that crashed).
bool claimSocketPath(const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info;
    if (::lstat(encoded.constData(), &info) != 0)
        return errno == ENOENT;
    if (!S_ISSOCK(info.st_mode))
        return false;
    Socket probe;
    if (connectTo(path, probe, QDeadlineTimer(ConnectTimeoutMs)) != Reach::Refused)
        return false;
    return ::unlink(encoded.constData()) == 0 || errno == ENOENT;
}

struct PeerState {
    QByteArray buffer;
    int messages = 0;
    bool busy = false;
    bool closed = false;
};

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

std::optional<InstanceMessage> parseInstanceMessage(QByteArrayView line) {
    if (line == GetIdMessage)
        return InstanceMessage{InstanceMessage::Type::GetId, {}};
    if (line == RestoreMessage)
        return InstanceMessage{InstanceMessage::Type::Restore, {}};
    InstanceMessage parameters{InstanceMessage::Type::Parameters, {}};
    if (!parseParametersMessage(line, parameters.text))
        return std::nullopt;
    return parameters;
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

// ---- Running instance ------------------------------------------------------

InstanceServer::InstanceServer(QObject* parent) : QObject(parent) {}

InstanceServer::~InstanceServer() {
    if (!server)
        return;
    // Closing the peers must not call back into a half-destroyed object.
    for (QLocalSocket* socket : server->findChildren<QLocalSocket*>())
        socket->disconnect(this);
    delete server;
}

bool InstanceServer::listen(const QString& className, qint32 id) {
    delete server;
    server = nullptr;
    identification = id;
    for (int candidate = 0; candidate < InstanceCandidates; ++candidate) {
        const QString path = instanceSocketPath(className, candidate);
        if (path.isEmpty())
            return false;
        if (!alive.acquire(instanceLockPath(className, candidate)))
            continue;
        if (!claimSocketPath(path)) {
            alive.release();
            continue;
        }
        auto* listener = new QLocalServer(this);
        listener->setSocketOptions(QLocalServer::UserAccessOption);
        if (!listener->listen(path) || ::chmod(QFile::encodeName(path).constData(), 0600) != 0) {
            delete listener;
            alive.release();
            continue;
        }
        server = listener;
        connect(server, &QLocalServer::newConnection, this, &InstanceServer::acceptConnections);
        return true;
    }
    return false;
}

QString InstanceServer::socketPath() const {
    return server ? server->fullServerName() : QString();
}

void InstanceServer::acceptConnections() {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        if (openConnections >= MaxOpenConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        serve(socket);
    }
}

void InstanceServer::serve(QLocalSocket* socket) {
    ++openConnections;
    auto state = std::make_shared<PeerState>();
    // Bounds what one peer can make us hold; a message never needs more.
    socket->setReadBufferSize(2 * MaxMessageBytes);
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->setInterval(IdleTimeoutMs);

    // Answers already given still reach the peer; a peer that does not take
    // them is cut off after the idle time all the same.
    const auto drop = [this, socket, state, idle] {
        if (state->closed)
            return;
        state->closed = true;
        --openConnections;
        idle->stop();
        socket->disconnectFromServer();
        if (socket->state() != QLocalSocket::UnconnectedState)
            QTimer::singleShot(IdleTimeoutMs, socket, [socket] {
                socket->abort();
                socket->deleteLater();
            });
    };
    const auto answer = [socket](const QByteArray& bytes) {
        if (socket->state() == QLocalSocket::ConnectedState)
            socket->write(bytes);
    };

    const auto readInput = [this, socket, state, idle, drop, answer] {
        // A slot of ours may run a nested event loop; the outer call goes on
        // with whatever arrived meanwhile.
        if (state->busy || state->closed)
            return;
        const QPointer<InstanceServer> self(this);
        const QPointer<QLocalSocket> peer(socket);
        state->busy = true;
        while (!state->closed) {
            state->buffer += socket->readAll();
            const qsizetype end = state->buffer.indexOf('\n');
            if (end < 0 || end >= MaxMessageBytes) {
                if (end >= 0 || state->buffer.size() >= MaxMessageBytes)
                    drop();
                break;
            }
            const QByteArray line = state->buffer.left(end);
            state->buffer.remove(0, end + 1);
            if (++state->messages > MaxMessagesPerConnection) {
                drop();
                break;
            }
            idle->start();
            const std::optional<InstanceMessage> received = parseInstanceMessage(line);
            if (!received) {
                drop();
                break;
            }
            if (received->type == InstanceMessage::Type::GetId) {
                answer(QByteArray::number(identification) + '\n');
                continue;
            }
            if (received->type == InstanceMessage::Type::Restore) {
                Q_EMIT restoreRequested();
                if (!self || !peer)
                    return;
                continue;
            }
            Q_EMIT parametersReceived(received->text.left(MaxReceivedText));
            if (!self || !peer)
                return;
            if (!state->closed)
                answer(message(DoneAnswer));
        }
        state->busy = false;
    };

    connect(idle, &QTimer::timeout, this, drop);
    connect(socket, &QLocalSocket::readyRead, this, readInput);
    // What a peer sent right before it hung up still counts.
    connect(socket, &QLocalSocket::disconnected, this, [socket, readInput, drop] {
        readInput();
        drop();
        socket->deleteLater();
    });
    idle->start();
    if (socket->bytesAvailable() > 0)
        readInput();
}

// ---- Bringing the window forward ---------------------------------------------

void closeActiveDialogAsCancelled(QWidget* mainWindow) {
    QWidget* active = QApplication::activeModalWidget();
    if (!active || active == mainWindow)
        return;
    if (auto* dialog = qobject_cast<QDialog*>(active))
        dialog->reject();
    else
        active->close();
}

void bringApplicationForward(QWidget* mainWindow) {
    if (!mainWindow)
        return;
    if (mainWindow->isMinimized()) {
        // Keeps a maximised window maximised; Qt hands the focus back to the
        // control that had it when the window is activated again.
        mainWindow->setWindowState(mainWindow->windowState() & ~Qt::WindowMinimized);
        mainWindow->show();
        mainWindow->activateWindow();
        return;
    }
    QWidget* last = QApplication::activeModalWidget();
    if (!last)
        last = mainWindow;
    if (last->isVisible() && last->isEnabled()) {
        last->raise();
        last->activateWindow();
    }
}

} // namespace sortello

// SPDX-License-Identifier: GPL-3.0-or-later
// The running instance's side of the single-instance hand-off.
#include "application/InstanceProtocol.h"
#include "application/PrevInst.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>
#include <cerrno>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {

using namespace instance;

namespace {

// The limit of the atom names that carried the text on the platform Sortello
// came from.
constexpr qsizetype MaxReceivedText = 260;
constexpr int ConnectTimeoutMs = 500;
constexpr int IdleTimeoutMs = 2000;
// A real second start sends three messages; a peer that keeps on talking or a
// flood of connections is somebody else.
constexpr int MaxMessagesPerConnection = 16;
constexpr int MaxOpenConnections = 16;

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

// Answers already given still reach the peer; a peer that does not take
// them is cut off after the idle time all the same.
std::function<void()> dropper(QLocalSocket* socket, std::shared_ptr<PeerState> state, QTimer* idle,
                              int& openConnections) {
    return [socket, state, idle, &openConnections] {
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
}

} // namespace

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

    const auto drop = dropper(socket, state, idle, openConnections);
    const auto readInput = [this, socket, state, idle, drop] {
        // A slot of ours may run a nested event loop; the outer call goes on
        // with whatever arrived meanwhile.
        if (state->busy || state->closed)
            return;
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
            if (!obey(*received, socket, state->closed))
                return;
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

bool InstanceServer::obey(const InstanceMessage& received, QLocalSocket* socket,
                          const bool& closed) {
    const auto answer = [socket](const QByteArray& bytes) {
        if (socket->state() == QLocalSocket::ConnectedState)
            socket->write(bytes);
    };
    const QPointer<InstanceServer> self(this);
    const QPointer<QLocalSocket> peer(socket);
    if (received.type == InstanceMessage::Type::GetId) {
        answer(QByteArray::number(identification) + '\n');
        return true;
    }
    if (received.type == InstanceMessage::Type::Restore) {
        Q_EMIT restoreRequested();
        return self && peer;
    }
    Q_EMIT parametersReceived(received.text.left(MaxReceivedText));
    if (!self || !peer)
        return false;
    if (!closed)
        answer(message(DoneAnswer));
    return true;
}

} // namespace sortello

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One Sortello per user desktop. A second start looks for a running instance,
// asks it to come forward, hands it the command line and ends; the running
// instance answers through an InstanceServer owned by its main window.
//
// The two processes talk over a Unix socket in the user's private runtime
// folder. Every message is one line ending in "\n", at most 1024 bytes:
//   "wm_KVAppGetID"              answered with the identification number
//   "wm_KVAppRestore"            no answer
//   "wm_KVAppPrevInstParm TEXT"  answered with "done" once handled
// Inside TEXT a backslash travels as "\\" and a line feed as "\n", so that a
// parameter holding a line break cannot end the message early.
#include "application/InstanceLock.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace sortello {

// Put in front of every forwarded parameter. Trimming the joined text is what
// removes the one before the first parameter, so it must be non-empty and hold
// only characters up to code 32.
extern QString ParamSeparator;

// The text of a failed system call with the given errno, as the program shows
// it everywhere.
QString systemErrorText(int errorNumber);

// Throws sortello::Error when ParamSeparator is unusable.
void checkParamSeparator();
// ParamSeparator before each parameter, then everything up to code 32 trimmed
// from both ends.
QString joinParameters(const QStringList& parameters);

// The folder that holds the instance sockets: $XDG_RUNTIME_DIR when it is ours
// and 0700, else /tmp/sortello-<uid> (created when missing). Empty when neither
// is a private folder of ours; then there is no single-instance check at all.
QString runtimeFolder();
// Socket path number `candidate` (0 to 7) for this class name, user and display;
// empty without a runtime folder.
QString instanceSocketPath(const QString& className, int candidate);
// The lock the instance on that socket holds while it runs (see InstanceLock).
QString instanceLockPath(const QString& className, int candidate);
inline constexpr int InstanceCandidates = 8;

// How long a second start waits for a running instance that is alive: a busy
// one (a batch of thousands of moves runs to its end before the next event)
// answers late, a stopped one never.
struct InstanceWait {
    int answerMs = 30 * 60 * 1000; // for an instance that runs
    int stoppedMs = 2000;          // for one that stays stopped
    int noticeMs = 1000;           // before `waiting` is told, once
    std::function<void(qint64 pid)> waiting;
};

// The second start's side. False when no running instance is alive (the caller
// goes on starting); true after the hand-off (the caller then exits with 0).
// Throws sortello::Error for an unusable separator, for a joined text of more
// than 255 characters (after the running instance was told to come forward),
// when the running instance does not confirm the parameters, and when an
// instance is alive but does not answer within the wait: a second instance
// beside it would write the same settings file.
bool CheckPrevInstance(const QString& className, qint32 identification,
                       const QStringList& parameters, const InstanceWait& wait = {});

// One message a peer sent, as the running instance understands it.
struct InstanceMessage {
    enum class Type { GetId, Restore, Parameters };
    Type type = Type::GetId;
    QString text; // Parameters only: the text with its escapes undone
};

// Reads one received line without its line feed; nothing for a line that a
// Sortello never sends, which makes the server drop the peer.
std::optional<InstanceMessage> parseInstanceMessage(QByteArrayView line);

// The running instance's side. Never blocks on a peer: a peer that sends too
// much, something unknown or nothing at all is dropped.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // Listens on the first free candidate path, holding its lock for as long
    // as it listens; false when none is free or there is no runtime folder.
    bool listen(const QString& className, qint32 identification);
    QString socketPath() const;

Q_SIGNALS:
    void restoreRequested();
    // At most 260 characters; emitted before the sender is told "done".
    void parametersReceived(const QString& text);

private:
    void acceptConnections();
    void serve(QLocalSocket* socket);
    // Does what one message asks and answers it; false when the server or the
    // peer went away meanwhile. `closed` is the peer's state, which a nested
    // event loop may change.
    bool obey(const InstanceMessage& received, QLocalSocket* socket, const bool& closed);

    QLocalServer* server = nullptr;
    InstanceLock alive;
    qint32 identification = 0;
    int openConnections = 0;
};

} // namespace sortello

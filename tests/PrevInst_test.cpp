// SPDX-License-Identifier: GPL-3.0-or-later
#include "application/PrevInst.h"
#include "base/Error.h"
#include "support/TempFiles.h"
#include "widgets/Utility.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace sortello;

namespace {

const QString ClassName = QStringLiteral("TFrmSRMain");
constexpr qint32 Identification = 123471;
const char* const VariableNames[] = {"XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY"};

bool waitUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QTest::qWait(5);
    return done();
}

struct ProbeRun {
    int exitCode = -1;
    QString output;
    qint64 elapsedMs = 0;
};

using Variables = QList<std::pair<QString, QString>>;

void startProbe(QProcess& process, const QStringList& parameters, const Variables& variables) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    for (const auto& [name, value] : variables)
        environment.insert(name, value);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PREVINST_PROBE), parameters);
    EXPECT_TRUE(process.waitForStarted(5000));
}

// A running instance in a process of its own, to be stopped, let go on and killed.
class InstanceProcess {
public:
    InstanceProcess() {
        startProbe(process, {}, {{QStringLiteral("PROBE_SERVE"), QStringLiteral("1")}});
        ready = waitUntil([this] { return output().contains(QStringLiteral("ready\n")); }, 10000);
    }
    ~InstanceProcess() {
        ::kill(pid_t(process.processId()), SIGCONT);
        process.kill();
        process.waitForFinished();
    }
    QString output() {
        process.waitForReadyRead(0);
        return seen += QString::fromUtf8(process.readAllStandardOutput());
    }
    qint64 pid() const { return process.processId(); }

    QProcess process;
    bool ready = false;

private:
    QString seen;
};

// Every test gets its own runtime folder and display, so that it never meets a
// Sortello that really runs, nor the leftovers of another test.
class PrevInst : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime.isValid());
        ::chmod(QFile::encodeName(runtime.path()).constData(), 0700);
        for (int i = 0; i < 3; ++i)
            saved[i] = qgetenv(VariableNames[i]);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        qputenv("DISPLAY", ":t" + QByteArray::number(::getpid()) + "-" +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        qunsetenv("WAYLAND_DISPLAY");
    }
    void TearDown() override {
        for (int i = 0; i < 3; ++i)
            saved[i].isNull() ? qunsetenv(VariableNames[i]) : qputenv(VariableNames[i], saved[i]);
    }

    // Runs the second start while this process keeps serving its events.
    ProbeRun runProbe(const QStringList& parameters, const Variables& variables = {}) {
        QProcess process;
        QElapsedTimer clock;
        clock.start();
        startProbe(process, parameters, variables);
        while (process.state() != QProcess::NotRunning && clock.elapsed() < 20000) {
            QTest::qWait(5);
            process.waitForFinished(5);
        }
        ProbeRun run;
        run.elapsedMs = clock.elapsed();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "the second start hung";
            return run;
        }
        run.exitCode = process.exitCode();
        run.output = QString::fromUtf8(process.readAllStandardOutput());
        return run;
    }

    QString candidate(int number) const { return instanceSocketPath(ClassName, number); }

    QTemporaryDir runtime;
    QByteArray saved[3];
};

// ---- Separator, joining and error texts ----------------------------------------

TEST_F(PrevInst, RefusesAnUnusableSeparatorBeforeLookingForAnInstance) {
    const QString original = ParamSeparator;
    const std::pair<QString, QString> cases[] = {
        {QString(), QStringLiteral("Command line seperater is empty!")},
        {QStringLiteral(" x"),
         QStringLiteral("Command line separater contains characters larger than character 32!")},
        {QStringLiteral("\x7f"),
         QStringLiteral("Command line separater contains characters larger than character 32!")},
    };
    for (const auto& [separator, expected] : cases) {
        ParamSeparator = separator;
        try {
            CheckPrevInstance(ClassName, Identification, {});
            ADD_FAILURE() << "no error for " << separator.toStdString();
        } catch (const Error& error) {
            EXPECT_EQ(error.message(), expected);
        }
    }
    ParamSeparator = QStringLiteral("\t");
    EXPECT_EQ(joinParameters({QStringLiteral("a"), QStringLiteral("b")}), QStringLiteral("a\tb"));
    ParamSeparator = original;
}

struct JoinCase {
    QStringList parameters;
    QString expected;
};

class Joining : public ::testing::TestWithParam<JoinCase> {};

TEST_P(Joining, SeparatesBySingleSpacesAndTrimsControlCharacters) {
    EXPECT_EQ(joinParameters(GetParam().parameters), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Joining,
    ::testing::Values(JoinCase{{}, ""}, JoinCase{{"a", "b", "c"}, "a b c"},
                      JoinCase{{"x y"}, "x y"}, JoinCase{{"", " ", "a", "b\t\n"}, "a b"},
                      JoinCase{{"a", "", "b"}, "a  b"},
                      JoinCase{{QString(QChar(0xA0)) + "a"}, QString(QChar(0xA0)) + "a"}));

TEST(SystemErrorText, NamesTheErrorNumber) {
    EXPECT_EQ(systemErrorText(0), QStringLiteral("A call to an OS function failed"));
    const QString text = systemErrorText(E2BIG);
    EXPECT_TRUE(text.startsWith(QStringLiteral("System Error.  Code: 7.\r\n")));
    EXPECT_GT(text.size(), 24);
}

// ---- Reading one received line ----------------------------------------------------

struct LineCase {
    QByteArray line;
    std::optional<InstanceMessage::Type> type; // none: the peer is dropped
    QString text;
};

class ReceivedLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ReceivedLine, IsUnderstoodOnlyAsASortelloSendsIt) {
    const std::optional<InstanceMessage> message = parseInstanceMessage(GetParam().line);
    ASSERT_EQ(message.has_value(), GetParam().type.has_value());
    if (!message)
        return;
    EXPECT_EQ(message->type, *GetParam().type);
    EXPECT_EQ(message->text, GetParam().text);
}

using Type = InstanceMessage::Type;

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceivedLine,
    ::testing::Values(LineCase{"wm_KVAppGetID", Type::GetId, {}},
                      LineCase{"wm_KVAppRestore", Type::Restore, {}},
                      LineCase{"wm_KVAppPrevInstParm", Type::Parameters, {}},
                      LineCase{"wm_KVAppPrevInstParm ", Type::Parameters, {}},
                      LineCase{"wm_KVAppPrevInstParm a\\\\b\\nc", Type::Parameters, "a\\b\nc"},
                      LineCase{"wm_KVAppPrevInstParm \xc3\xa9", Type::Parameters,
                               QString(QChar(0xE9))},
                      LineCase{"", std::nullopt, {}}, LineCase{"wm_KVAppGetID ", std::nullopt, {}},
                      LineCase{"wm_kvappgetid", std::nullopt, {}},
                      LineCase{"wm_KVAppPrevInstParmx", std::nullopt, {}},
                      LineCase{"wm_KVAppPrevInstParm a\\", std::nullopt, {}},
                      LineCase{"wm_KVAppPrevInstParm a\\t", std::nullopt, {}},
                      LineCase{QByteArray("wm_KVAppPrevInstParm a\0b", 24), std::nullopt, {}},
                      LineCase{"wm_KVAppPrevInstParm \xff", std::nullopt, {}},
                      LineCase{"wm_KVAppPrevInstParm \xc3", std::nullopt, {}}));

// ---- Where the socket lives ---------------------------------------------------

TEST_F(PrevInst, SocketPathStaysInThePrivateFolder) {
    qputenv("DISPLAY", "../../elsewhere/:0");
    const QString first = candidate(0);
    EXPECT_EQ(QFileInfo(first).absolutePath(), runtime.path());
    EXPECT_EQ(QFileInfo(first).fileName(),
              QStringLiteral("tfrmsrmain-%1-.._.._elsewhere__0.sock").arg(::geteuid()));
    EXPECT_EQ(instanceSocketPath(QStringLiteral("tfrmSRMAIN"), 0), first);
    EXPECT_TRUE(candidate(7).endsWith(QStringLiteral("-7.sock")));
    EXPECT_TRUE(candidate(8).isEmpty());
    qputenv("WAYLAND_DISPLAY", "wayland-1");
    EXPECT_TRUE(candidate(0).contains(QStringLiteral("-wayland-1.sock")));

    // A runtime folder others may read is not used.
    ::chmod(QFile::encodeName(runtime.path()).constData(), 0755);
    const QString fallback = QStringLiteral("/tmp/sortello-%1").arg(::geteuid());
    EXPECT_EQ(QFileInfo(candidate(0)).absolutePath(), fallback);
    struct stat info;
    ASSERT_EQ(::lstat(QFile::encodeName(fallback).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(PrevInst, ServerSocketIsAPrivateFileRemovedWithTheServer) {
    QString path;
    {
        InstanceServer server;
        ASSERT_TRUE(server.listen(ClassName, Identification));
        path = server.socketPath();
        EXPECT_EQ(path, candidate(0));
        struct stat info;
        ASSERT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0);
        EXPECT_TRUE(S_ISSOCK(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0600u);
    }
    EXPECT_FALSE(test::exists(path));
}

// ---- Hand-off between two processes ---------------------------------------------

TEST_F(PrevInst, WithoutARunningInstanceTheStartContinues) {
    const ProbeRun run = runProbe({QStringLiteral("a")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.output, QStringLiteral("continue"));
}

struct HandOffCase {
    QStringList parameters;
    bool forwarded;
    QString text;
};

class HandOff : public PrevInst, public ::testing::WithParamInterface<HandOffCase> {};

TEST_P(HandOff, RunningInstanceComesForwardAndGetsTheText) {
    InstanceServer server;
    ASSERT_TRUE(server.listen(ClassName, Identification));
    QSignalSpy restores(&server, &InstanceServer::restoreRequested);
    QSignalSpy texts(&server, &InstanceServer::parametersReceived);
    const ProbeRun run = runProbe(GetParam().parameters);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, QString());
    EXPECT_TRUE(waitUntil([&] { return restores.count() == 1; }));
    QTest::qWait(50);
    ASSERT_EQ(texts.count(), GetParam().forwarded ? 1 : 0);
    if (GetParam().forwarded) {
        EXPECT_EQ(texts.at(0).at(0).toString(), GetParam().text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandOff,
    ::testing::Values(HandOffCase{{}, false, ""}, HandOffCase{{"a", "b", "c"}, true, "a b c"},
                      HandOffCase{{"x y"}, true, "x y"}, HandOffCase{{" ", "a", "\t"}, true, "a"},
                      HandOffCase{{"one\ntwo", "back\\n"}, true, "one\ntwo back\\n"},
                      HandOffCase{
                          {QString::fromUtf8("Grüße €")}, true, QString::fromUtf8("Grüße €")},
                      HandOffCase{{QString(255, 'z')}, true, QString(255, 'z')}));

TEST_F(PrevInst, TooLongATextStillBringsTheInstanceForward) {
    InstanceServer server;
    ASSERT_TRUE(server.listen(ClassName, Identification));
    QSignalSpy restores(&server, &InstanceServer::restoreRequested);
    QSignalSpy texts(&server, &InstanceServer::parametersReceived);
    const ProbeRun run = runProbe({QString(128, 'a'), QString(127, 'b')});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, QStringLiteral("System Error.  Code: 7.\r\nArgument list too long"));
    EXPECT_TRUE(waitUntil([&] { return restores.count() == 1; }));
    EXPECT_EQ(texts.count(), 0);
}

TEST_F(PrevInst, OpenSetupDialogClosesAsCancelledOnASecondStart) {
    QWidget mainWindow;
    mainWindow.show();
    InstanceServer server;
    ASSERT_TRUE(server.listen(ClassName, Identification));
    QObject::connect(&server, &InstanceServer::parametersReceived, &mainWindow, [&] {
        closeActiveDialogAsCancelled(&mainWindow);
        bringApplicationForward(&mainWindow);
    });
    QDialog setup(&mainWindow);
    ProbeRun run;
    QTimer::singleShot(0, &setup, [&] { run = runProbe({QStringLiteral("x")}); });
    EXPECT_EQ(setup.exec(), QDialog::Rejected);
    EXPECT_EQ(run.exitCode, 0);
}

TEST_F(PrevInst, BringingForwardUnminimisesAndKeepsMaximised) {
    QWidget mainWindow;
    mainWindow.setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    mainWindow.show();
    ASSERT_TRUE(mainWindow.isMinimized());
    bringApplicationForward(&mainWindow);
    EXPECT_FALSE(mainWindow.isMinimized());
    EXPECT_TRUE(mainWindow.isMaximized());
    closeActiveDialogAsCancelled(&mainWindow);
    EXPECT_TRUE(mainWindow.isVisible());
}

// ---- Squatters, stale files and hung instances ----------------------------------

// A server on the first candidate name that answers every read with `reply`.
class ForeignServer : public PrevInst, public ::testing::WithParamInterface<const char*> {};

TEST_P(ForeignServer, IsPassedOver) {
    QLocalServer foreign;
    ASSERT_TRUE(foreign.listen(candidate(0)));
    const QByteArray reply = GetParam();
    QObject::connect(&foreign, &QLocalServer::newConnection, [&] {
        while (QLocalSocket* peer = foreign.nextPendingConnection())
            QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer, reply] {
                peer->readAll();
                peer->write(reply);
            });
    });
    const ProbeRun alone = runProbe({QStringLiteral("p")});
    EXPECT_EQ(alone.exitCode, 3);
    EXPECT_LT(alone.elapsedMs, 5000);

    InstanceServer server;
    ASSERT_TRUE(server.listen(ClassName, Identification));
    EXPECT_EQ(server.socketPath(), candidate(1));
    QSignalSpy texts(&server, &InstanceServer::parametersReceived);
    EXPECT_EQ(runProbe({QStringLiteral("p")}).exitCode, 0);
    ASSERT_EQ(texts.count(), 1);
    EXPECT_EQ(texts.at(0).at(0).toString(), QStringLiteral("p"));
}

INSTANTIATE_TEST_SUITE_P(Replies, ForeignServer,
                         ::testing::Values("42\n", "", "1234710\n", "0123471\n", "123471"));

TEST_F(PrevInst, InstanceThatNeverConfirmsFailsTheSecondStart) {
    InstanceLock alive; // this process stands for a live instance that hangs
    ASSERT_TRUE(alive.acquire(instanceLockPath(ClassName, 0)));
    QLocalServer halfHung;
    ASSERT_TRUE(halfHung.listen(candidate(0)));
    QObject::connect(&halfHung, &QLocalServer::newConnection, [&] {
        QLocalSocket* peer = halfHung.nextPendingConnection();
        QObject::connect(peer, &QLocalSocket::readyRead, peer, [peer] {
            if (peer->readAll().startsWith("wm_KVAppGetID\n"))
                peer->write("123471\n");
        });
    });
    const ProbeRun run = runProbe({QStringLiteral("p")},
                                  {{QStringLiteral("PROBE_ANSWER_MS"), QStringLiteral("500")}});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, QStringLiteral("Sortello is already running (process %1) but it does not "
                                         "answer; end it, then start Sortello again.")
                              .arg(::getpid()));
}

// A stopped instance is alive: the second start ends with an error rather than
// start a second one beside it. A busy one is waited for, however long; one
// that has ended leaves its socket behind, and the next start takes its place.
TEST_F(PrevInst, AStartNeverBecomesASecondInstanceWhileTheFirstLives) {
    InstanceProcess first;
    ASSERT_TRUE(first.ready) << first.output().toStdString();
    ASSERT_EQ(::kill(pid_t(first.pid()), SIGSTOP), 0);
    const ProbeRun stopped = runProbe({QStringLiteral("x")},
                                      {{QStringLiteral("PROBE_STOPPED_MS"), QStringLiteral("0")}});
    EXPECT_EQ(stopped.exitCode, 1);
    EXPECT_EQ(stopped.output,
              QStringLiteral("Sortello is already running (process %1) but it is stopped and does "
                             "not answer; let it go on or end it, then start Sortello again.")
                  .arg(first.pid()));

    QProcess second;
    startProbe(second, {QStringLiteral("y")},
               {{QStringLiteral("PROBE_NOTICE_MS"), QStringLiteral("0")},
                {QStringLiteral("PROBE_STOPPED_MS"), QStringLiteral("600000")}});
    QByteArray said;
    ASSERT_TRUE(waitUntil(
        [&] {
            second.waitForReadyRead(0);
            return (said += second.readAllStandardOutput()).contains("waiting\n");
        },
        10000));
    ASSERT_EQ(::kill(pid_t(first.pid()), SIGCONT), 0);
    ASSERT_TRUE(waitUntil([&] { return second.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return first.output().contains(QStringLiteral("received y\n")); }))
        << first.output().toStdString();

    first.process.kill();
    ASSERT_TRUE(first.process.waitForFinished(5000));
    EXPECT_TRUE(test::exists(candidate(0)));
    EXPECT_EQ(runProbe({}).output, QStringLiteral("continue"));
    InstanceServer next;
    ASSERT_TRUE(next.listen(ClassName, Identification));
    EXPECT_EQ(next.socketPath(), candidate(0));
}

TEST_F(PrevInst, StaleSocketIsTakenOverAndOtherFilesAreLeftAlone) {
    const QByteArray stale = QFile::encodeName(candidate(0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, stale.constData(), stale.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    test::writeFile(candidate(1), "not a socket");

    InstanceServer first;
    ASSERT_TRUE(first.listen(ClassName, Identification));
    EXPECT_EQ(first.socketPath(), candidate(0));
    InstanceServer second;
    ASSERT_TRUE(second.listen(ClassName, Identification));
    EXPECT_EQ(second.socketPath(), candidate(2));
    EXPECT_EQ(test::readFile(candidate(1)), QByteArray("not a socket"));
    EXPECT_EQ(runProbe({}).exitCode, 0);
}

// ---- Peers that do not follow the protocol --------------------------------------

struct PeerCase {
    QByteArray sent;
    QByteArray answer;
    bool dropAtOnce;
};

class BadPeer : public PrevInst, public ::testing::WithParamInterface<PeerCase> {};

TEST_P(BadPeer, IsDroppedWithoutEffect) {
    InstanceServer server;
    ASSERT_TRUE(server.listen(ClassName, Identification));
    QSignalSpy restores(&server, &InstanceServer::restoreRequested);
    QSignalSpy texts(&server, &InstanceServer::parametersReceived);
    QLocalSocket peer;
    peer.connectToServer(server.socketPath());
    ASSERT_TRUE(peer.waitForConnected(1000));
    QElapsedTimer clock;
    clock.start();
    peer.write(GetParam().sent);
    QByteArray received;
    ASSERT_TRUE(waitUntil(
        [&] {
            received += peer.readAll();
            return peer.state() == QLocalSocket::UnconnectedState;
        },
        5000));
    EXPECT_LT(clock.elapsed(), GetParam().dropAtOnce ? 1000 : 4000);
    received += peer.readAll();
    EXPECT_EQ(received, GetParam().answer);
    EXPECT_EQ(restores.count() + texts.count(), 0);

    const ProbeRun run = runProbe({QStringLiteral("ok")});
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(texts.count(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadPeer,
    ::testing::Values(PeerCase{"hello\n", "", true}, PeerCase{QByteArray(10 << 20, 'x'), "", true},
                      PeerCase{QByteArray(1100, 'x') + '\n', "", true},
                      PeerCase{"wm_kvappgetid\n", "", true},
                      PeerCase{"wm_KVAppGetID\nwm_KVAppPrevInstParmX\n", "123471\n", true},
                      PeerCase{"wm_KVAppPrevInstParm \xff\xfe\n", "", true},
                      PeerCase{"wm_KVAppPrevInstParm a\\qb\n", "", true},
                      PeerCase{"wm_KVAppGetID", "", false}, PeerCase{"", "", false}));

TEST_F(PrevInst, ReceiverReadsAtMost260Characters) {
    InstanceServer server;
    ASSERT_TRUE(server.listen(ClassName, Identification));
    QSignalSpy texts(&server, &InstanceServer::parametersReceived);
    QLocalSocket peer;
    peer.connectToServer(server.socketPath());
    ASSERT_TRUE(peer.waitForConnected(1000));
    peer.write("wm_KVAppGetID\nwm_KVAppPrevInstParm " + QByteArray(300, 'x') + '\n');
    QByteArray received;
    EXPECT_TRUE(waitUntil([&] { return (received += peer.readAll()).endsWith("done\n"); }));
    EXPECT_EQ(received, QByteArray("123471\ndone\n"));
    ASSERT_EQ(texts.count(), 1);
    EXPECT_EQ(texts.at(0).at(0).toString(), QString(260, 'x'));
}

} // namespace

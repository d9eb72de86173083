// SPDX-License-Identifier: GPL-3.0-or-later
// A Sortello start as the PrevInst tests run it in a real process.
// As a second start: exit code 0 after a hand-off, 1 with the error text on
// stdout, 3 and "continue" when no instance is alive; PROBE_ANSWER_MS,
// PROBE_STOPPED_MS and PROBE_NOTICE_MS shorten its waits, and with the last
// it prints "waiting" once it waits.
// With PROBE_SERVE=1, a running instance: prints "ready" once it listens and
// "received TEXT" for each text handed to it, until it is killed.
#include "application/PrevInst.h"
#include "base/Error.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

namespace {

void say(const QByteArray& line) {
    std::fputs(line.constData(), stdout);
    std::fflush(stdout);
}

int serve(QCoreApplication& app) {
    sortello::InstanceServer server;
    QObject::connect(&server, &sortello::InstanceServer::parametersReceived,
                     [](const QString& text) { say("received " + text.toUtf8() + '\n'); });
    if (!server.listen(QStringLiteral("TFrmSRMain"), 123471))
        return 2;
    say("ready\n");
    return app.exec();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIntValue("PROBE_SERVE") == 1)
        return serve(app);
    QStringList parameters;
    for (int i = 1; i < argc; ++i)
        parameters << QFile::decodeName(argv[i]);
    sortello::InstanceWait wait;
    bool set = false;
    if (const int ms = qEnvironmentVariableIntValue("PROBE_ANSWER_MS", &set); set)
        wait.answerMs = ms;
    if (const int ms = qEnvironmentVariableIntValue("PROBE_STOPPED_MS", &set); set)
        wait.stoppedMs = ms;
    if (const int ms = qEnvironmentVariableIntValue("PROBE_NOTICE_MS", &set); set) {
        wait.noticeMs = ms;
        wait.waiting = [](qint64) { say("waiting\n"); };
    }
    try {
        if (sortello::CheckPrevInstance(QStringLiteral("TFrmSRMain"), 123471, parameters, wait))
            return 0;
    } catch (const sortello::Error& error) {
        say(error.message().toUtf8());
        return 1;
    }
    say("continue");
    return 3;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// The entry sequence: fix the settings file's place, hand the command line to
// a running instance if there is one, else build the main window and run.
#include "application/PrevInst.h"
#include "application/QtPrompts.h"
#include "base/Error.h"
#include "base/Misc.h"
#include "windows/SRMain.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <cstdio>

namespace {

constexpr auto ClassName = "TFrmSRMain";
constexpr qint32 Identification = 123471;

// Before the main window exists an error ends the run: shown in a box where
// there is a screen to show it on, and always on the standard error.
int fail(const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
        sortello::QtPrompts prompts;
        sortello::showApplicationError(prompts, nullptr, message);
    }
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    QStringList parameters;
    for (int i = 1; i < argc; ++i)
        parameters << QFile::decodeName(argv[i]);
    sortello::initFileLocations(parameters);

    // A second start hands over and ends before it has touched the display.
    // While the running instance is busy it waits, and says so where someone
    // may read it.
    sortello::InstanceWait wait;
    wait.waiting = [](qint64 pid) {
        std::fprintf(stderr, "Sortello is already running (process %lld); waiting for it.\n",
                     static_cast<long long>(pid));
    };
    QString failure;
    try {
        if (sortello::CheckPrevInstance(QLatin1String(ClassName), Identification, parameters, wait))
            return 0;
    } catch (const sortello::Error& error) {
        failure = error.message();
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString(sortello::ApplicationTitle));
    QApplication::setDesktopFileName(QStringLiteral("org.sortello.Sortello"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/org.sortello.Sortello.svg")));
    if (!failure.isEmpty())
        return fail(failure);

    sortello::QtPrompts prompts;
    sortello::TFrmSRMain window(prompts, sortello::settingsFilePath());
    sortello::InstanceServer server;
    QObject::connect(&server, &sortello::InstanceServer::restoreRequested, &window,
                     &sortello::TFrmSRMain::bringForward);
    QObject::connect(&server, &sortello::InstanceServer::parametersReceived, &window,
                     &sortello::TFrmSRMain::receiveParameters);
    // Without the server a second start cannot find this one; the program
    // itself works all the same.
    server.listen(QLatin1String(ClassName), Identification);
    window.show();
    app.exec();
    return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A sorting session without a window, on a workspace on disk, listed as the
// window lists it, with the paths and texts its tests look at.
#include "session/SortingSession.h"
#include "support/Workspace.h"

#include <QDir>
#include <QStringList>

namespace sortello::test {

class SessionWorkspace {
public:
    ~SessionWorkspace() { QDir::setCurrent(before); }

    // Loads the folder characters from the settings file and lists the
    // source folder, as the window does when it opens.
    void listSource();
    QString src(const QString& name) const { return ws.source() + name; }
    QString in(const char* folder, const QString& name) const {
        return ws.folder(QString::fromLatin1(folder)) + name;
    }
    QStringList names() const;
    static QStringList texts(const SessionOutcome& outcome);

    Workspace ws;
    SortingSession work{ws.prompts};
    const QString before = QDir::currentPath();
};

} // namespace sortello::test

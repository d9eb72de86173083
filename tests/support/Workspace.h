// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A sorting workspace on disk for window tests: a source folder, destination
// folders and a settings file, plus a main window built on it with scripted
// prompts.
#include "support/FakePrompts.h"
#include "support/TempFiles.h"
#include "windows/SRMain.h"

#include <QImage>
#include <memory>

namespace sortello::test {

class Workspace {
public:
    Workspace();

    QString source() const { return root.file(QStringLiteral("new/")); }
    QString folder(const QString& name) const {
        return root.file(QStringLiteral("sorted/") + name + QLatin1Char('/'));
    }
    QString ini() const { return root.file(QStringLiteral("sortello.ini")); }

    // A bitmap of the given size (its colour tells pictures apart).
    QString picture(const QString& path, QSize size, QColor colour = Qt::red) const;
    // The settings file: source folder, A, B and Diverse folders, plus extra lines.
    void writeSettings(const QByteArray& extra = {}) const;

    TFrmSRMain& open();
    TFrmSRMain& window() { return *main; }
    void close();
    // Selects a row as a click does and lets the window react.
    void select(int row);

    FakePrompts prompts;

private:
    TempFolder root;
    std::unique_ptr<TFrmSRMain> main;
};

} // namespace sortello::test

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A sorting workspace on disk for window tests: a source folder, destination
// folders and a settings file, plus a main window built on it with scripted
// prompts.
#include "support/Controls.h"
#include "support/FakePrompts.h"
#include "support/TempFiles.h"
#include "windows/SRMain.h"

#include <QImage>
#include <Qt>
#include <memory>

class QListWidget;

namespace sortello {
class ComparisonGrid;
class FileListBox;
class PictureBox;
} // namespace sortello

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
    // Clicks a row of the file list, which makes it the only selected one.
    void select(int row);
    // Selects every row of the file list with Shift+click.
    void selectAll();
    // Chooses a menu item of the window, as the menu or its key does.
    void command(const char* name);
    // A key pressed in the file list.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Runs the event loop until the window shows the current entry's pair, as
    // a user looks before the next key. The helpers above all end with it.
    void settle();
    QAction* item(const char* name) { return menuItem(*main, name); }

    // The window's controls, found by their names.
    sortello::FileListBox* files();
    QListWidget* filesMoved();
    ComparisonGrid* grid();
    PictureBox* imageNew();
    PictureBox* imageExisting();

    FakePrompts prompts;

private:
    TempFolder root;
    std::unique_ptr<TFrmSRMain> main;
};

} // namespace sortello::test

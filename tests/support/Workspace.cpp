// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Workspace.h"

#include "widgets/ComparisonGrid.h"
#include "widgets/FileListBox.h"
#include "widgets/PictureBox.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace sortello::test {

Workspace::Workspace() {
    for (const char* sub : {"new", "sorted/A", "sorted/B", "sorted/Misc"})
        QDir().mkpath(root.file(QString::fromLatin1(sub)));
}

QString Workspace::picture(const QString& path, QSize size, QColor colour) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    EXPECT_TRUE(image.save(path, "BMP")) << path.toStdString();
    return path;
}

void Workspace::writeSettings(const QByteArray& extra) const {
    QByteArray text = "[Folders]\r\nSource=\"" + source().toUtf8() + "\"\r\n[Chars]\r\nA=\"" +
                      folder(QStringLiteral("A")).toUtf8() + "\"\r\nB=\"" +
                      folder(QStringLiteral("B")).toUtf8() + "\"\r\nDiverse=\"" +
                      folder(QStringLiteral("Misc")).toUtf8() + "\"\r\n";
    writeFile(ini(), text + extra);
}

TFrmSRMain& Workspace::open() {
    main = std::make_unique<TFrmSRMain>(prompts, ini());
    main->show();
    return *main;
}

void Workspace::close() {
    if (main)
        main->close();
    main.reset();
}

void Workspace::select(int row) {
    clickRow(*files(), row);
    settle();
}

void Workspace::selectAll() {
    clickRow(*files(), 0);
    clickRow(*files(), files()->count() - 1, Qt::ShiftModifier);
    settle();
}

void Workspace::command(const char* name) {
    trigger(*main, name);
    settle();
}

void Workspace::key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(files(), key, modifiers);
    settle();
}

void Workspace::settle() {
    // Generous: it only bounds a test whose pair never comes, and no figure
    // depends on it.
    QDeadlineTimer bound(std::chrono::seconds(60));
    while (main->pairPending() && !bound.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_FALSE(main->pairPending()) << "the current entry's pictures never came";
}

sortello::FileListBox* Workspace::files() {
    return child<sortello::FileListBox>(*main, "FileListBox");
}

QListWidget* Workspace::filesMoved() {
    return child<QListWidget>(*main, "ListBoxFilesMoved");
}

ComparisonGrid* Workspace::grid() {
    return child<ComparisonGrid>(*main, "StringGrid1");
}

PictureBox* Workspace::imageNew() {
    return child<PictureBox>(*main, "ImageNew");
}

PictureBox* Workspace::imageExisting() {
    return child<PictureBox>(*main, "ImageExisting");
}

} // namespace sortello::test

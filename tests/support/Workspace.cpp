// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Workspace.h"

#include "widgets/FileListBox.h"

#include <QDir>
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
    main->FileListBox->focusAndSelect(row);
    main->FileListBoxClick();
}

} // namespace sortello::test

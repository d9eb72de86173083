// SPDX-License-Identifier: GPL-3.0-or-later
// SettingsFile's side of the comparison with the profile routines: plays the
// script format of profile_peer.c, one SettingsFile per line, as the program
// opens one per batch.
#include "base/Error.h"
#include "settings/SettingsFile.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

using sortello::SettingsFile;

namespace {

std::optional<QString> unhex(const QByteArray& word) {
    if (word == "-")
        return std::nullopt;
    return QString::fromUtf8(word == "." ? QByteArray() : QByteArray::fromHex(word));
}

QByteArray hex(const QString& text) {
    const QByteArray bytes = text.toUtf8().toHex();
    return bytes.isEmpty() ? QByteArray(".") : bytes;
}

QByteArray answer(const QString& path, const QList<QByteArray>& args) {
    const QByteArray op = args.value(0);
    if (op == "R" && args.size() == 4) {
        SettingsFile file(path);
        return "= " + hex(file.ReadText(unhex(args[1]).value_or(QString()),
                                        unhex(args[2]).value_or(QString()),
                                        unhex(args[3]).value_or(QString())));
    }
    if (op == "L" && args.size() == 2) {
        QStringList lines;
        SettingsFile(path).ReadKeyLines(unhex(args[1]).value_or(QString()), lines);
        QByteArray out = "=";
        for (const QString& line : lines)
            out += ' ' + hex(line.left(line.indexOf(u'=')));
        return out;
    }
    if (op == "W" && args.size() == 4) {
        const auto section = unhex(args[1]).value_or(QString());
        const auto key = unhex(args[2]);
        const auto value = unhex(args[3]);
        try {
            SettingsFile file(path);
            if (!key && !value)
                file.RemoveSection(section);
            else if (key && value)
                file.WriteText(section, *key, *value);
            else
                return "?";
            return "ok";
        } catch (const sortello::Error&) {
            return "fail";
        }
    }
    return "?";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    QFile script(QString::fromLocal8Bit(argv[1]));
    if (!script.open(QIODevice::ReadOnly))
        return 2;
    QString path;
    while (!script.atEnd()) {
        const QList<QByteArray> args = script.readLine().trimmed().split(' ');
        if (args.value(0).isEmpty())
            continue;
        if (args[0] == "F") {
            path = QFile::decodeName(QByteArray::fromHex(args.value(1)));
            std::cout << "ok\n";
        } else {
            std::cout << answer(path, args).constData() << '\n';
        }
    }
    return 0;
}

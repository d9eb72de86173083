// SPDX-License-Identifier: GPL-3.0-or-later
// One step of one move fails, during each file command and in the middle of
// the two batch runs: the picture whose move failed stays where it was, whole;
// every other picture ends whole in exactly one place; nothing partial or
// temporary is left anywhere, and the list shows what is really in the folder.
#include "fileops/FileSystem.h"
#include "support/MoveFaults.h"
#include "support/Workspace.h"
#include "widgets/FileListBox.h"

#include <QDir>
#include <QDirIterator>
#include <QListWidget>
#include <gtest/gtest.h>
#include <map>

using namespace sortello;
using namespace sortello::test;

namespace {

enum class Command { ReplaceExisting, MoveAs, AutoMove, MoveNonExisting };

const char* labelOf(Command command) {
    switch (command) {
    case Command::ReplaceExisting:
        return "ReplaceExisting";
    case Command::MoveAs:
        return "MoveAs";
    case Command::AutoMove:
        return "AutoMove";
    case Command::MoveNonExisting:
        return "MoveNonExisting";
    }
    return "";
}

// Big enough that a copy across file systems takes several steps.
QByteArray bytesOf(const QString& name) {
    return (name.toUtf8() + '\n').repeated(300'000);
}

const QStringList NewNames{"a1.jpg", "a2.jpg", "a3.jpg", "a4.jpg"};
const QByteArray FiledBytes = "filed a2";

class CommandFaults : public ::testing::TestWithParam<std::tuple<FaultCase, Command>> {
protected:
    void SetUp() override {
        ws.writeSettings();
        for (const QString& name : NewNames)
            writeFile(ws.source() + name, bytesOf(name));
        writeFile(filed, FiledBytes);
    }

    const MoveFault& fault() const { return std::get<0>(GetParam()).fault; }
    Command command() const { return std::get<1>(GetParam()); }
    bool batch() const {
        return command() == Command::AutoMove || command() == Command::MoveNonExisting;
    }

    // Runs the command with the fault striking the one move of a single
    // command, or the second move of a batch (a4 goes first, then a3).
    void run() {
        // Picked before the fault is armed; opening them says their bytes are no JPEG.
        if (command() == Command::AutoMove)
            ws.selectAll();
        else if (!batch())
            ws.select(1);
        ws.prompts.messages.clear();
        const ScopedSysCalls armed(armedTable(std::get<0>(GetParam()), batch() ? 2 : 1));
        switch (command()) {
        case Command::ReplaceExisting:
            ws.command("SRFReplaceExisting");
            break;
        case Command::MoveAs:
            ws.prompts.saveAnswers = {filed};
            ws.command("SRFMoveAs");
            break;
        case Command::AutoMove:
            ws.command("SRFAutoMoveMultipleAs");
            break;
        case Command::MoveNonExisting:
            ws.command("SRFMoveNonExisting");
            break;
        }
    }

    // Every file in the workspace but the settings, hidden ones included.
    std::multimap<QByteArray, QString> filesByBytes() const {
        std::multimap<QByteArray, QString> files;
        for (const QString& folder :
             {ws.source(), ws.folder(QStringLiteral("A")), ws.folder(QStringLiteral("B")),
              ws.folder(QStringLiteral("Misc"))}) {
            QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                files.emplace(readFile(path), path);
            }
        }
        return files;
    }

    Workspace ws;
    const QString filed = ws.folder(QStringLiteral("A")) + QStringLiteral("a2.jpg");
};

TEST_P(CommandFaults, NoPictureIsLostOrLeftHalfWay) {
    ws.open();
    const long long injectedBefore = faultsInjected();
    run();
    ASSERT_GT(faultsInjected(), injectedBefore) << "the fault never struck";

    // Which picture's move failed, and which moves ran before and after it.
    const QString failed = batch() ? QStringLiteral("a3.jpg") : QStringLiteral("a2.jpg");
    QStringList stayed{failed};
    if (command() == Command::MoveNonExisting)
        stayed << QStringLiteral("a1.jpg") << QStringLiteral("a2.jpg"); // never visited
    else if (!batch())
        stayed << QStringLiteral("a1.jpg") << QStringLiteral("a3.jpg") << QStringLiteral("a4.jpg");
    stayed.sort();

    QStringList listed;
    for (int row = 0; row < ws.files()->count(); ++row)
        listed << ws.files()->itemText(row);
    EXPECT_EQ(listed, stayed);
    EXPECT_EQ(QDir(ws.source()).entryList(QDir::Files | QDir::Hidden, QDir::Name), stayed);

    std::multimap<QByteArray, QString> files = filesByBytes();
    for (const QString& name : NewNames) {
        QByteArray bytes = bytesOf(name);
        if (name == failed && fault().growsSource)
            bytes += SourceGrowth;
        const auto [first, last] = files.equal_range(bytes);
        ASSERT_EQ(std::distance(first, last), 1) << name.toStdString();
        const QString expectedFolder = stayed.contains(name) ? ws.source() : ws.folder("A");
        EXPECT_EQ(QFileInfo(first->second).absolutePath() + '/', expectedFolder)
            << name.toStdString();
        files.erase(first);
    }
    // The filed picture survives, also when the user chose to replace it:
    // the new file is swapped in for it in one step or not at all. Only where
    // the file system cannot swap two names is it deleted before the move, and
    // the box then says so; and someone else's file may have taken its name.
    const Route route = std::get<0>(GetParam()).route;
    const bool deletedFirst = !batch() && route == Route::LinkThenUnlink;
    if (!batch() && fault().intruder && route == Route::Rename)
        EXPECT_EQ(readFile(filed), IntruderBytes);
    else if (deletedFirst)
        EXPECT_FALSE(QFileInfo::exists(filed));
    else
        EXPECT_EQ(readFile(filed), FiledBytes);
    files.erase(FiledBytes);
    EXPECT_EQ(files.erase(IntruderBytes), fault().intruder ? 1u : 0u);
    for (const auto& [bytes, path] : files)
        ADD_FAILURE() << "left behind: " << path.toStdString() << " (" << bytes.size() << " bytes)";

    std::vector<QString> texts;
    for (const ShownMessage& box : ws.prompts.messages)
        texts.push_back(box.text);
    // Every box names the system's reason; a batch's summary counts the file it left.
    const QString failedPath = ws.source() + failed;
    const QString reason = QStringLiteral("\r") + qt_error_string(fault().error);
    const QString note = deletedFirst ? "\rNote! Destination file IS deleted." : "";
    const QString left = QStringLiteral("\r1 file left: ") + qt_error_string(fault().error);
    switch (command()) {
    case Command::ReplaceExisting:
        EXPECT_EQ(texts, std::vector<QString>{"Unable to rename the file:\r" + failedPath + reason +
                                              note});
        break;
    case Command::MoveAs:
        EXPECT_EQ(texts, std::vector<QString>{"Unable to rename/move the file:\r" + failedPath +
                                              reason + note});
        break;
    case Command::AutoMove:
        EXPECT_EQ(texts, std::vector<QString>{"Files moved/renamed : 3" + left});
        break;
    case Command::MoveNonExisting:
        EXPECT_EQ(texts,
                  (std::vector<QString>{"Unable to move/rename the file:\r" + failedPath + reason,
                                        "Files moved/renamed : 1" + left}));
        break;
    }
    EXPECT_EQ(ws.filesMoved()->count(), batch() ? 4 - stayed.size() : 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, CommandFaults,
                         ::testing::Combine(::testing::ValuesIn(faultCases()),
                                            ::testing::Values(Command::ReplaceExisting,
                                                              Command::MoveAs, Command::AutoMove,
                                                              Command::MoveNonExisting)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name() + "_" +
                                    labelOf(std::get<1>(info.param));
                         });

} // namespace

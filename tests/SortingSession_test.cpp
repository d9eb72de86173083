// SPDX-License-Identifier: GPL-3.0-or-later
// The sorting session and its file commands without a window: which entry is
// current after files leave, which files move where, and what each command
// reports back for the boxes.
#include "fileops/FileSystem.h"
#include "session/SortingSession.h"
#include "support/SessionWorkspace.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace sortello;
using sortello::test::readFile;
using sortello::test::writeFile;

namespace {

bool there(const QString& path) {
    return QFileInfo::exists(path);
}

// The system's reason as the boxes add it, on a line of its own.
QString reason(int error) {
    return QStringLiteral("\r") + qt_error_string(error);
}

void makeReadOnly(const QString& path) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
}

class Session : public ::testing::Test, public test::SessionWorkspace {
protected:
    void SetUp() override { ws.writeSettings(); }

    // The session as the window builds it from the settings file.
    void open() { listSource(); }
    // A source file with its own bytes, so a test can tell which file ended where.
    void add(const QString& name) { writeFile(src(name), name.toUtf8()); }
    static SessionNotice only(const SessionOutcome& outcome) {
        EXPECT_EQ(outcome.notices.size(), 1u);
        return outcome.notices.empty() ? SessionNotice{} : outcome.notices.back();
    }
};

TEST_F(Session, TheNextEntryBecomesCurrentWhenTheCurrentFileLeaves) {
    struct Case {
        int count;
        int current;
        int next; // the current entry once the file has gone
    };
    const QString all[] = {QStringLiteral("a1.jpg"), QStringLiteral("a2.jpg"),
                           QStringLiteral("a3.jpg")};
    for (const Case& c : {Case{3, 0, 0}, Case{3, 1, 1}, Case{3, 2, 1}, Case{1, 0, -1}}) {
        for (int i = 0; i < c.count; ++i)
            add(all[i]);
        open();
        work.setCurrent(c.current);
        const SessionOutcome outcome = work.removeNew();
        EXPECT_EQ(outcome.removedRows, QList<int>{c.current}) << c.count << c.current;
        EXPECT_TRUE(outcome.advanced);
        EXPECT_EQ(work.current(), c.next) << c.count << c.current;
        EXPECT_EQ(work.count(), c.count - 1);
        EXPECT_FALSE(there(src(all[c.current])));
        for (const QString& left : QDir(ws.source()).entryList(QDir::Files))
            QFile::remove(src(left));
    }
}

TEST_F(Session, ReplaceExistingMovesOverTheNamesakeAndNotesTheMove) {
    add(QStringLiteral("a1.jpg"));
    add(QStringLiteral("a2.jpg"));
    writeFile(in("A", QStringLiteral("a1.jpg")), "old");
    open();
    work.setCurrent(0);
    const SessionOutcome outcome = work.replaceExisting();
    EXPECT_EQ(readFile(in("A", QStringLiteral("a1.jpg"))), "a1.jpg");
    ASSERT_EQ(outcome.moved.size(), 1u);
    EXPECT_EQ(outcome.moved[0].name, QStringLiteral("a1.jpg"));
    EXPECT_TRUE(outcome.notices.empty());
    EXPECT_EQ(names(), QStringList{QStringLiteral("a2.jpg")});
    EXPECT_EQ(work.filesMoved(), QStringList{QStringLiteral("a1.jpg")});
}

TEST_F(Session, WithoutACurrentEntryTheCommandsTouchNothing) {
    add(QStringLiteral("a1.jpg"));
    writeFile(in("A", QStringLiteral("a1.jpg")), "old");
    open();
    work.setCurrent(-1);
    for (const SessionOutcome& outcome :
         {work.replaceExisting(), work.removeNew(), work.moveAs()}) {
        EXPECT_TRUE(outcome.removedRows.isEmpty());
        EXPECT_TRUE(outcome.notices.empty());
    }
    EXPECT_TRUE(ws.prompts.saveRequests.empty());
    EXPECT_EQ(readFile(in("A", QStringLiteral("a1.jpg"))), "old");
    EXPECT_EQ(work.count(), 1);
}

TEST_F(Session, ReplaceRefusesAReadOnlyDestinationBeforeAnythingChanges) {
    add(QStringLiteral("a1.jpg"));
    writeFile(in("A", QStringLiteral("a1.jpg")), "old");
    makeReadOnly(in("A", QStringLiteral("a1.jpg")));
    open();
    work.setCurrent(0);
    const SessionNotice box = only(work.replaceExisting());
    EXPECT_EQ(box.kind, SessionNotice::Kind::Error);
    EXPECT_EQ(box.button, MessageButton::Cancel);
    EXPECT_EQ(box.text, QStringLiteral("Unable to delete destination file :\r") +
                            in("A", QStringLiteral("a1.jpg")) + reason(EACCES));
    EXPECT_EQ(readFile(in("A", QStringLiteral("a1.jpg"))), "old");
    EXPECT_TRUE(there(src(QStringLiteral("a1.jpg"))));
    EXPECT_EQ(work.current(), 0);
    EXPECT_TRUE(work.filesMoved().isEmpty());
}

int closedFolderA(int dirFd, const char* path, int mode, int flags) {
    if ((mode & W_OK) && QByteArray(path).endsWith("/A"))
        return errno = EACCES, -1;
    return realSysCalls().faccessat(dirFd, path, mode, flags);
}

// A destination folder the user may not change: the box names the file in the
// way, and nothing changes. Run as a user the folder is really closed; root
// may change any folder, so there the system's refusal is injected.
TEST_F(Session, ReplacingInAFolderWeMayNotChangeNamesTheFileInTheWay) {
    add(QStringLiteral("a1.jpg"));
    add(QStringLiteral("a2.jpg"));
    const QString filed = in("A", QStringLiteral("a1.jpg"));
    const QString chosen = in("A", QStringLiteral("a2 old.jpg"));
    writeFile(filed, "old");
    writeFile(chosen, "old 2");
    open();
    const QByteArray folder = QFile::encodeName(ws.folder(QStringLiteral("A")));
    std::optional<ScopedSysCalls> injected;
    if (::geteuid() == 0) {
        SysCalls closed = realSysCalls();
        closed.faccessat = closedFolderA;
        injected.emplace(closed);
    } else {
        ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    }
    work.setCurrent(0);
    const SessionOutcome replaced = work.replaceExisting();
    work.setCurrent(1);
    ws.prompts.saveAnswers = {chosen};
    const SessionOutcome movedAs = work.moveAs();
    ::chmod(folder.constData(), 0755);

    EXPECT_EQ(texts(replaced),
              QStringList{"Unable to delete destination file :\r" + filed + reason(EACCES)});
    EXPECT_EQ(texts(movedAs),
              QStringList{"Unable to delete the file :\r" + chosen + reason(EACCES)});
    EXPECT_EQ(readFile(filed), "old");
    EXPECT_EQ(readFile(chosen), "old 2");
    EXPECT_EQ(names(), (QStringList{"a1.jpg", "a2.jpg"}));
    EXPECT_TRUE(work.filesMoved().isEmpty());
}

TEST_F(Session, ReplaceReportsAFailedMoveAndKeepsTheFile) {
    ws.writeSettings("[Chars]\r\nQ=\"/no/such/folder/\"\r\n");
    add(QStringLiteral("q1.jpg"));
    add(QStringLiteral("b1.jpg"));
    QDir().mkpath(in("B", QStringLiteral("b1.jpg"))); // a folder bearing the name
    open();
    for (int row : {1, 0}) {
        work.setCurrent(row);
        const QString path = work.pathOf(row);
        // Nothing was there to delete, so the box does not claim it.
        EXPECT_EQ(only(work.replaceExisting()).text,
                  QStringLiteral("Unable to rename the file:\r") + path +
                      reason(row == 1 ? ENOENT : EEXIST));
        EXPECT_TRUE(there(path));
    }
    EXPECT_TRUE(QFileInfo(in("B", QStringLiteral("b1.jpg"))).isDir());
    EXPECT_EQ(work.count(), 2);
}

// The destination folder of "x" is the source folder: neither command may
// take the file it works on for the one in the way.
TEST_F(Session, ReplaceAndMoveAsNeverDeleteTheFileItself) {
    ws.writeSettings("[Chars]\r\nX=\"" + ws.source().toUtf8() + "\"\r\n");
    add(QStringLiteral("x1.jpg"));
    open();
    work.setCurrent(0);
    EXPECT_EQ(only(work.replaceExisting()).kind, SessionNotice::Kind::Error);
    ws.prompts.saveAnswers = {src(QStringLiteral("x1.jpg"))};
    EXPECT_EQ(only(work.moveAs()).kind, SessionNotice::Kind::Error);
    EXPECT_EQ(readFile(src(QStringLiteral("x1.jpg"))), "x1.jpg");
    EXPECT_EQ(work.count(), 1);
}

TEST_F(Session, RemoveNewReportsAFileThatCannotBeDeleted) {
    add(QStringLiteral("a1.jpg"));
    makeReadOnly(src(QStringLiteral("a1.jpg")));
    open();
    work.setCurrent(0);
    const SessionNotice box = only(work.removeNew());
    EXPECT_EQ(box.text, QStringLiteral("Unable to delete the file :\r") +
                            src(QStringLiteral("a1.jpg")) + reason(EACCES));
    EXPECT_EQ(box.button, MessageButton::Ok);
    EXPECT_TRUE(there(src(QStringLiteral("a1.jpg"))));
}

TEST_F(Session, UpdateFileListReportsAFolderItCannotReadAndKeepsTheListing) {
    add(QStringLiteral("a1.jpg"));
    open();
    work.setSourceFolder(ws.source() + QStringLiteral("gone/"));
    const SessionOutcome outcome = work.updateFileList();
    EXPECT_FALSE(outcome.relisted);
    EXPECT_EQ(only(outcome).kind, SessionNotice::Kind::ApplicationError);
    EXPECT_EQ(only(outcome).text, QStringLiteral("Cannot read the folder \"%1\": %2")
                                      .arg(work.sourceFolder(), qt_error_string(ENOENT)));
    EXPECT_EQ(names(), QStringList{QStringLiteral("a1.jpg")});
}

TEST_F(Session, MoveAsAsksForANameAndEnforcesTheRule) {
    add(QStringLiteral("Anna.jpg"));
    open();
    work.setCurrent(0);
    const QString folderA = ws.folder(QStringLiteral("A"));
    ws.prompts.saveAnswers = {folderA + QStringLiteral("anna2.png"),
                              ws.folder(QStringLiteral("B")) + QStringLiteral("anna2.jpg"),
                              folderA.toUpper() + QStringLiteral("anna2.jpg"),
                              folderA + QStringLiteral("Banna.jpg"), QString()};
    const char* refusals[] = {"Changing extension is not allowed !\rUnable to proceed.",
                              "Changing path is not allowed !\rUnable to proceed.",
                              "Changing path is not allowed !\rUnable to proceed.",
                              "Changing first letter is not allowed !\rUnable to proceed."};
    for (const char* refusal : refusals) {
        const SessionNotice box = only(work.moveAs());
        EXPECT_EQ(box.text, QString::fromLatin1(refusal));
        EXPECT_EQ(box.button, MessageButton::Cancel);
    }
    EXPECT_TRUE(work.moveAs().notices.empty()); // cancelled
    EXPECT_TRUE(there(src(QStringLiteral("Anna.jpg"))));

    const SavePictureRequest& first = ws.prompts.saveRequests.front();
    EXPECT_EQ(first.title, QStringLiteral("Save Anna.jpg as"));
    EXPECT_EQ(first.initialFolder, folderA);
    EXPECT_EQ(first.fileName, QStringLiteral("Anna.jpg"));
    EXPECT_EQ(first.defaultSuffix, QStringLiteral("jpg"));
    EXPECT_EQ(first.filters.size(), 7);
    EXPECT_EQ(first.selectedFilter, first.filters[1]);
    // From the second use on, the path returned last is proposed.
    EXPECT_EQ(ws.prompts.saveRequests[1].fileName, folderA + QStringLiteral("anna2.png"));
    EXPECT_EQ(ws.prompts.saveRequests.back().fileName, folderA + QStringLiteral("Banna.jpg"));
}

// A destination folder given relative to the source folder: the moves, and
// the folder a Move-as answer must keep, are taken from the source folder.
TEST_F(Session, ARelativeDestinationFolderIsTakenFromTheSourceFolder) {
    writeFile(ws.ini(), "[Chars]\r\nA=\"../sorted/A/\"\r\nDiverse=\"../sorted/Misc/\"\r\n");
    add(QStringLiteral("a1.jpg"));
    add(QStringLiteral("a2.jpg"));
    writeFile(in("A", QStringLiteral("a1.jpg")), "old");
    open();
    work.setCurrent(0);
    EXPECT_TRUE(work.replaceExisting().notices.empty());
    EXPECT_EQ(readFile(in("A", QStringLiteral("a1.jpg"))), "a1.jpg");
    ws.prompts.saveAnswers = {in("A", QStringLiteral("a2 new.jpg"))};
    EXPECT_TRUE(texts(work.moveAs()).isEmpty());
    EXPECT_EQ(readFile(in("A", QStringLiteral("a2 new.jpg"))), "a2.jpg");

    // A relative source folder is taken from the folder listed before it.
    work.setSourceFolder(QStringLiteral("../sorted/A/"));
    ASSERT_TRUE(work.listSourceFolder());
    ASSERT_EQ(work.count(), 2);
    EXPECT_EQ(readFile(work.pathOf(0)), "a1.jpg");
}

TEST_F(Session, MoveAsReportsADeleteAndAMoveThatFail) {
    add(QStringLiteral("Anna.jpg"));
    const QString locked = in("A", QStringLiteral("Anna-locked.jpg"));
    writeFile(locked, "filed");
    makeReadOnly(locked);
    open();
    work.setCurrent(0);
    ws.prompts.saveAnswers = {locked};
    EXPECT_EQ(only(work.moveAs()).text,
              QStringLiteral("Unable to delete the file :\r") + locked + reason(EACCES));
    EXPECT_EQ(readFile(locked), "filed");

    // The new file vanished behind the program's back: the move fails and
    // the chosen file stays, as the two are swapped in one step.
    const QString chosen = in("A", QStringLiteral("Anna-old.jpg"));
    writeFile(chosen, "filed");
    QFile::remove(src(QStringLiteral("Anna.jpg")));
    ws.prompts.saveAnswers = {chosen};
    EXPECT_EQ(only(work.moveAs()).text, QStringLiteral("Unable to rename/move the file:\r") +
                                            src(QStringLiteral("Anna.jpg")) + reason(ENOENT));
    EXPECT_EQ(readFile(chosen), "filed");
    EXPECT_EQ(work.count(), 1);
}

TEST_F(Session, MoveAsComparesFirstCharactersOutsideAToZExactly) {
    ws.writeSettings("[Chars]\r\nÉ=\"" + ws.folder(QStringLiteral("A")).toUtf8() + "\"\r\n");
    add(QStringLiteral("Émile.jpg"));
    open();
    work.setCurrent(0);
    ws.prompts.saveAnswers = {in("A", QStringLiteral("émile 2.jpg"))};
    EXPECT_EQ(only(work.moveAs()).text,
              QStringLiteral("Changing first letter is not allowed !\rUnable to proceed."));
    EXPECT_TRUE(there(src(QStringLiteral("Émile.jpg"))));
}

TEST_F(Session, AutoMoveGivesNumberedNamesFromTheEndOfTheList) {
    for (const char* name : {"Anna.JPG", "anna.jpg", "Anna12.jpg", "Bert.jpg", "Cleo.jpg"})
        add(QString::fromLatin1(name));
    // Anna is taken; so is its first numbered name with another case.
    writeFile(in("A", QStringLiteral("Anna.JPG")), "filed");
    writeFile(in("A", QStringLiteral("anna.jpg")), "filed");
    writeFile(in("A", QStringLiteral("Anna12.jpg")), "filed");
    writeFile(in("A", QStringLiteral("ANNA00000000.JPG")), "filed");
    open();
    const SessionOutcome outcome = work.autoMoveMultipleAs({0, 1, 2, 3});

    // Visited from the end: Anna12 first, then anna.jpg, then Anna.JPG.
    EXPECT_EQ(readFile(in("A", QStringLiteral("Anna00000001.jpg"))), "Anna12.jpg");
    EXPECT_EQ(readFile(in("A", QStringLiteral("anna00000002.jpg"))), "anna.jpg");
    EXPECT_EQ(readFile(in("A", QStringLiteral("Anna00000003.jpg"))), "Anna.JPG");
    EXPECT_EQ(readFile(in("B", QStringLiteral("Bert.jpg"))), "Bert.jpg");
    EXPECT_EQ(names(), QStringList{QStringLiteral("Cleo.jpg")});
    EXPECT_EQ(work.filesMoved().size(), 4);
    EXPECT_TRUE(outcome.batch);
    EXPECT_EQ(only(outcome).kind, SessionNotice::Kind::Information);
    EXPECT_EQ(only(outcome).text, QStringLiteral("Files moved/renamed : 4"));
}

TEST_F(Session, AutoMoveCountsWhatItLeftAndWhy) {
    ws.writeSettings("[Chars]\r\nQ=\"/no/such/folder/\"\r\n");
    add(QStringLiteral("q1.jpg"));
    add(QStringLiteral("b1.jpg"));
    QDir().mkpath(in("B", QStringLiteral("b1.jpg")));
    add(QStringLiteral("c1.jpg"));
    open();
    const SessionOutcome outcome = work.autoMoveMultipleAs({0, 1, 2});
    EXPECT_EQ(only(outcome).text, QStringLiteral("Files moved/renamed : 1\r1 file left: ") +
                                      qt_error_string(ENOENT) + QStringLiteral("\r1 file left: ") +
                                      qt_error_string(EEXIST));
    EXPECT_EQ(outcome.removedRows, QList<int>{1});
    EXPECT_EQ(names(), (QStringList{"b1.jpg", "q1.jpg"}));
    EXPECT_TRUE(there(src(QStringLiteral("q1.jpg"))));
}

TEST_F(Session, ABatchLeavesTheCurrentEntryOnItsFileOrOnNone) {
    struct Case {
        int current;
        QString after; // the name current afterwards; empty for none
    };
    for (const Case& c : {Case{3, QStringLiteral("b1.jpg")}, Case{2, QString()}}) {
        for (const char* name : {"a1.jpg", "a2.jpg", "a3.jpg", "b1.jpg"})
            add(QString::fromLatin1(name));
        open();
        work.setCurrent(c.current);
        const SessionOutcome outcome = work.autoMoveMultipleAs({2, 0});
        EXPECT_EQ(outcome.removedRows, (QList<int>{0, 2}));
        EXPECT_EQ(names(), (QStringList{QStringLiteral("a2.jpg"), QStringLiteral("b1.jpg")}));
        EXPECT_EQ(names().value(work.current()), c.after);
        QDir(ws.folder(QStringLiteral("A"))).removeRecursively();
        QDir().mkpath(ws.folder(QStringLiteral("A")));
    }
}

TEST_F(Session, MoveNonExistingStopsAtTheFirstFailure) {
    ws.writeSettings("[Chars]\r\nQ=\"/no/such/folder/\"\r\n");
    for (const char* name : {"a1.jpg", "q1.jpg", "z1.jpg"})
        add(QString::fromLatin1(name));
    open();
    const SessionOutcome outcome = work.moveNonExisting();
    ASSERT_EQ(outcome.notices.size(), 2u);
    EXPECT_EQ(outcome.notices[0].text, QStringLiteral("Unable to move/rename the file:\r") +
                                           src(QStringLiteral("q1.jpg")) + reason(ENOENT));
    EXPECT_EQ(outcome.notices[0].button, MessageButton::Cancel);
    EXPECT_EQ(outcome.notices[1].text,
              QStringLiteral("Files moved/renamed : 1\r1 file left: ") + qt_error_string(ENOENT));
    EXPECT_TRUE(there(in("Misc", QStringLiteral("z1.jpg"))));
    EXPECT_TRUE(there(src(QStringLiteral("a1.jpg")))); // never visited
    EXPECT_EQ(names(), (QStringList{"a1.jpg", "q1.jpg"}));
}

TEST_F(Session, TheFilesMovedStaySortedWithDuplicates) {
    QList<int> rows;
    for (const char* name : {"b.jpg", "A.jpg", "c.jpg", "b.jpg", "a0.jpg"})
        rows << work.addFileMoved(QString::fromLatin1(name));
    EXPECT_EQ(rows, (QList<int>{0, 0, 2, 2, 1}));
    EXPECT_EQ(work.filesMoved(), (QStringList{"A.jpg", "a0.jpg", "b.jpg", "b.jpg", "c.jpg"}));
}

TEST_F(Session, RemoveIdenticalRemovesOnlyFilesWithTheirNamesakesBytes) {
    // s1.jpg's destination is the source folder itself: its namesake is itself.
    ws.writeSettings("[Chars]\r\nS=\"" + ws.source().toUtf8() + "\"\r\n");
    for (const char* name : {"a1.jpg", "a2.jpg", "a3.jpg", "b1.jpg", "s1.jpg"})
        add(QString::fromLatin1(name));
    writeFile(in("A", QStringLiteral("a1.jpg")), "a1.jpg");
    writeFile(in("A", QStringLiteral("a2.jpg")), "a2.jpX"); // differs at the last byte
    writeFile(in("A", QStringLiteral("a3.jpg")), "a3.jpg");
    open();
    const SessionOutcome outcome = work.removeIdentical();
    EXPECT_EQ(only(outcome).text, QStringLiteral("Identical files removed : 2"));
    EXPECT_EQ(outcome.removedRows, (QList<int>{0, 2}));
    EXPECT_TRUE(outcome.moved.empty());
    EXPECT_EQ(names(), (QStringList{"a2.jpg", "b1.jpg", "s1.jpg"}));
    EXPECT_EQ(readFile(src(QStringLiteral("a2.jpg"))), "a2.jpg");
    EXPECT_EQ(readFile(src(QStringLiteral("s1.jpg"))), "s1.jpg");
    for (const char* filed : {"a1.jpg", "a2.jpg", "a3.jpg"})
        EXPECT_TRUE(there(in("A", QString::fromLatin1(filed))));
}

// Cancel after two files: those two are done, the other three are as they
// were, and the summary counts what was done.
TEST_F(Session, ACancelledBatchEndsAfterTheFileInHand) {
    struct Case {
        const char* what;
        std::function<SessionOutcome(SortingSession&)> run;
        QString summary;
    };
    const Case cases[] = {
        {"auto move",
         [](SortingSession& s) {
             return s.autoMoveMultipleAs({0, 1, 2, 3, 4});
         },
         QStringLiteral("Files moved/renamed : 2")},
        {"move non existing", [](SortingSession& s) { return s.moveNonExisting(); },
         QStringLiteral("Files moved/renamed : 2")},
        {"remove identical", [](SortingSession& s) { return s.removeIdentical(); },
         QStringLiteral("Identical files removed : 2")},
    };
    const QStringList all{"b1.jpg", "b2.jpg", "b3.jpg", "b4.jpg", "b5.jpg"};
    for (const Case& c : cases) {
        QDir(ws.folder(QStringLiteral("B"))).removeRecursively();
        QDir().mkpath(ws.folder(QStringLiteral("B")));
        for (const QString& name : all) {
            add(name);
            if (c.summary.startsWith(QLatin1String("Identical")))
                writeFile(in("B", name), name.toUtf8());
        }
        open();
        ws.prompts.cancelAt = 2;
        ws.prompts.progressReports.clear();
        const SessionOutcome outcome = c.run(work);
        EXPECT_EQ(only(outcome).text, c.summary + "\rCancelled with 3 files still to do") << c.what;
        EXPECT_EQ(ws.prompts.progressShown.back().second, 5) << c.what;
        EXPECT_EQ(ws.prompts.progressReports, (std::vector<int>{1, 2})) << c.what;
        EXPECT_EQ(names(), all.mid(0, 3)) << c.what;
        for (const QString& name : all.mid(0, 3))
            EXPECT_EQ(readFile(src(name)), name.toUtf8()) << c.what;
        EXPECT_FALSE(work.batchRunning());
        for (const QString& name : all)
            QFile::remove(src(name));
    }
}

} // namespace

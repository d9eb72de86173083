// SPDX-License-Identifier: GPL-3.0-or-later
// Undo without a window: every file command taken back leaves every file as
// it was, by name and content, with the trash empty again; a file that
// changed since, or a name taken meanwhile, stops it; a file deleted for good
// ends what can be undone; and a fault in the middle of undoing a batch loses
// nothing.
#include "fileops/FileSystem.h"
#include "session/SortingSession.h"
#include "support/MoveFaults.h"
#include "support/SessionWorkspace.h"

#include <QDir>
#include <QDirIterator>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>

using namespace sortello;
using namespace sortello::test;

namespace {

// Public, so that the cases of the tables below can work it.
class UndoTest : public ::testing::Test, public SessionWorkspace {
public:
    void SetUp() override {
        saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
        ws.writeSettings();
    }
    void TearDown() override { qputenv("XDG_DATA_HOME", saved); }

    void open(const QStringList& names, const QByteArray& repeat = "") {
        for (const QString& name : names)
            writeFile(src(name), name.toUtf8() + repeat);
        listSource();
    }
    void makeCurrent(const QString& name) {
        for (int row = 0; row < work.count(); ++row)
            if (work.files()[row].name == name)
                work.setCurrent(row);
    }
    // Every file of the workspace and the trash, hidden ones included, by path.
    std::map<QString, QByteArray> everything() const {
        std::map<QString, QByteArray> files;
        for (const QString& folder :
             {ws.source(), ws.folder("A"), ws.folder("B"), ws.folder("Misc"), data.path()}) {
            QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                files.emplace(path, readFile(path));
            }
        }
        return files;
    }

    TempFolder data;
    QByteArray saved;
};

struct UndoCase {
    const char* name;
    bool trash;
    QString what; // what the menu says it undoes
    std::function<SessionOutcome(UndoTest&)> run;
};

void PrintTo(const UndoCase& c, std::ostream* out) {
    *out << c.name;
}

class UndoEach : public UndoTest, public ::testing::WithParamInterface<UndoCase> {};

SessionOutcome current(UndoTest& t, const char* name, SessionOutcome (SortingSession::*command)()) {
    t.makeCurrent(QString::fromLatin1(name));
    return (t.work.*command)();
}

SessionOutcome movedAs(UndoTest& t, const char* name, const char* answer) {
    t.ws.prompts.saveAnswers = {t.in("A", QString::fromLatin1(answer))};
    return current(t, name, &SortingSession::moveAs);
}

const UndoCase UndoCases[] = {
    {"Move", false, "move of a2.jpg",
     [](UndoTest& t) { return current(t, "a2.jpg", &SortingSession::replaceExisting); }},
    {"MoveAs", false, "move of a2.jpg",
     [](UndoTest& t) { return movedAs(t, "a2.jpg", "a2 renamed.jpg"); }},
    {"Replace", true, "replace of a1.jpg",
     [](UndoTest& t) { return current(t, "a1.jpg", &SortingSession::replaceExisting); }},
    {"ReplaceByMoveAs", true, "replace of a2.jpg",
     [](UndoTest& t) { return movedAs(t, "a2.jpg", "a1.jpg"); }},
    {"Remove", true, "removal of b1.jpg",
     [](UndoTest& t) { return current(t, "b1.jpg", &SortingSession::removeNew); }},
    {"AutoMoveBatch", false, "move of 3 files",
     [](UndoTest& t) {
         return t.work.autoMoveMultipleAs({0, 1, 2});
     }},
    {"MoveNonExistingBatch", false, "move of 2 files",
     [](UndoTest& t) { return t.work.moveNonExisting(); }},
};

TEST_P(UndoEach, UndoLeavesEveryFileAsItWas) {
    const QStringList names{"a1.jpg", "a2.jpg", "b1.jpg"};
    writeFile(in("A", "a1.jpg"), "filed a1");
    open(names);
    work.setDeletedToTrash(GetParam().trash);
    const auto start = everything();
    EXPECT_EQ(work.undoText(), "Undo");

    const SessionOutcome done = GetParam().run(*this);
    ASSERT_FALSE(done.removedRows.isEmpty()) << texts(done).join('\n').toStdString();
    ASSERT_NE(everything(), start);
    EXPECT_EQ(work.undoText(), "Undo " + GetParam().what);

    const SessionOutcome undone = work.undo();
    EXPECT_EQ(texts(undone), QStringList());
    EXPECT_TRUE(undone.restored);
    EXPECT_EQ(everything(), start);
    EXPECT_EQ(this->names(), names);
    EXPECT_TRUE(work.filesMoved().isEmpty());
    EXPECT_EQ(std::size_t(undone.unmovedRows.size()), done.moved.size());
    ASSERT_GE(work.current(), 0);
    if (done.removedRows.size() == 1) {
        EXPECT_EQ(work.files()[work.current()].name, names[done.removedRows.front()]);
    }
    EXPECT_FALSE(work.canUndo());
    EXPECT_EQ(work.undoText(), "Undo");
}

INSTANTIATE_TEST_SUITE_P(Commands, UndoEach, ::testing::ValuesIn(UndoCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UndoTest, UndoGoesBackOneCommandAtATime) {
    open({"a1.jpg", "a2.jpg", "b1.jpg"});
    work.setDeletedToTrash(true);
    makeCurrent("a2.jpg");
    work.replaceExisting();
    makeCurrent("b1.jpg");
    work.removeNew();
    EXPECT_EQ(work.undoText(), "Undo removal of b1.jpg");
    work.undo();
    EXPECT_EQ(names(), (QStringList{"a1.jpg", "b1.jpg"}));
    EXPECT_EQ(work.files()[work.current()].name, "b1.jpg");
    EXPECT_EQ(work.undoText(), "Undo move of a2.jpg");
    work.undo();
    EXPECT_EQ(names(), (QStringList{"a1.jpg", "a2.jpg", "b1.jpg"}));
    EXPECT_EQ(work.files()[work.current()].name, "a2.jpg");
}

// Remove identical goes through the one remove, so its batch comes back whole.
TEST_F(UndoTest, RemoveIdenticalIsUndoneAsOneStep) {
    writeFile(in("A", "a1.jpg"), "a1.jpg");
    writeFile(in("B", "b1.jpg"), "b1.jpg");
    open({"a1.jpg", "a2.jpg", "b1.jpg"});
    work.setDeletedToTrash(true);
    const auto start = everything();
    EXPECT_EQ(work.removeIdentical().removedRows, (QList<int>{0, 2}));
    EXPECT_EQ(names(), QStringList{"a2.jpg"});
    EXPECT_EQ(work.undoText(), "Undo removal of 2 files");
    EXPECT_TRUE(work.undo().restored);
    EXPECT_EQ(everything(), start);
    EXPECT_EQ(names(), (QStringList{"a1.jpg", "a2.jpg", "b1.jpg"}));
}

// A removal or replace for good cannot be taken back, nor anything before it.
TEST_F(UndoTest, WithoutTheTrashNothingBeforeADeletionCanBeUndone) {
    writeFile(in("A", "a1.jpg"), "filed a1");
    open({"a1.jpg", "a2.jpg", "b1.jpg"});
    makeCurrent("a2.jpg");
    work.replaceExisting();
    makeCurrent("a1.jpg");
    work.replaceExisting();
    EXPECT_EQ(work.undoText(), "Cannot undo replace of a1.jpg");
    EXPECT_FALSE(work.canUndo());
    const auto now = everything();
    EXPECT_FALSE(work.undo().restored);
    EXPECT_EQ(everything(), now);
    makeCurrent("b1.jpg");
    work.removeNew();
    EXPECT_EQ(work.undoText(), "Cannot undo removal of b1.jpg");
}

struct ChangeCase {
    const char* name;
    // Changes a file after a2.jpg moved to A; the path the refusal names.
    QString (*change)(UndoTest&);
    QString refusal; // the box's text, up to the path
};

void PrintTo(const ChangeCase& c, std::ostream* out) {
    *out << c.name;
}

class UndoRefused : public UndoTest, public ::testing::WithParamInterface<ChangeCase> {};

const ChangeCase ChangeCases[] = {
    {"MovedFileGrew",
     [](UndoTest& t) {
         writeFile(t.in("A", "a2.jpg"), "a2.jpg and more");
         return t.in("A", "a2.jpg");
     },
     "Unable to undo, the file has changed since:\r"},
    {"NameTakenMeanwhile",
     [](UndoTest& t) {
         writeFile(t.src("a2.jpg"), "someone else's");
         return t.src("a2.jpg");
     },
     "Unable to undo, another file has taken the name:\r"},
};

TEST_P(UndoRefused, AFileThatChangedSinceStopsTheUndo) {
    open({"a1.jpg", "a2.jpg"});
    makeCurrent("a2.jpg");
    work.replaceExisting();
    const QString named = GetParam().change(*this);
    const auto changed = everything();
    EXPECT_EQ(texts(work.undo()), QStringList{GetParam().refusal + named});
    EXPECT_EQ(everything(), changed);
    EXPECT_TRUE(work.canUndo());
}

INSTANTIATE_TEST_SUITE_P(Changes, UndoRefused, ::testing::ValuesIn(ChangeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UndoTest, AFileChangedInTheTrashStaysThere) {
    open({"a1.jpg"});
    work.setDeletedToTrash(true);
    makeCurrent("a1.jpg");
    work.removeNew();
    const QString trashed = data.file("Trash/files/a1.jpg");
    writeFile(trashed, "changed");
    EXPECT_EQ(texts(work.undo()),
              QStringList{"Unable to undo, the file has changed since:\r" + trashed});
    EXPECT_FALSE(exists(src("a1.jpg")));
    EXPECT_EQ(readFile(trashed), "changed");
}

// One step of the second file's way back fails; the first is back, every
// other file is whole where the batch put it, and the rest can be undone
// once the fault is gone.
class UndoFaults : public UndoTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UndoFaults, AFaultInTheMiddleOfAnUndoLosesNothing) {
    const QStringList names{"a1.jpg", "a2.jpg", "a3.jpg", "a4.jpg"};
    // Big enough that a copy across file systems takes several steps.
    const QByteArray bulk = QByteArray("\n").repeated(1'000'000);
    open(names, bulk);
    work.autoMoveMultipleAs({0, 1, 2, 3});
    const MoveFault& fault = GetParam().fault;
    const long long injectedBefore = faultsInjected();
    SessionOutcome undone;
    {
        const ScopedSysCalls armed(armedTable(GetParam(), 2));
        undone = work.undo();
    }
    ASSERT_GT(faultsInjected(), injectedBefore) << "the fault never struck";
    // The batch went a4 first, so undoing brings a1 back first, then a2.
    EXPECT_EQ(texts(undone), (QStringList{"Unable to move the file back:\r" + in("A", "a2.jpg") +
                                              "\r" + qt_error_string(fault.error),
                                          "Files brought back : 1 of 4"}));
    EXPECT_EQ(this->names(), QStringList{"a1.jpg"});

    std::map<QString, QByteArray> files = everything();
    for (const QString& name : names) {
        QByteArray bytes = name.toUtf8() + bulk;
        if (name == "a2.jpg" && fault.growsSource)
            bytes += SourceGrowth;
        const QString where = name == "a1.jpg" ? src(name) : in("A", name);
        EXPECT_EQ(files[where], bytes) << name.toStdString();
        files.erase(where);
    }
    if (fault.intruder) {
        EXPECT_EQ(files[src("a2.jpg")], IntruderBytes);
    }
    files.erase(src("a2.jpg"));
    for (const auto& [path, bytes] : files)
        ADD_FAILURE() << "left behind: " << path.toStdString();

    if (fault.intruder || fault.growsSource)
        return; // the undo now rightly refuses that file
    EXPECT_EQ(texts(work.undo()), QStringList());
    EXPECT_EQ(this->names(), names);
    EXPECT_FALSE(work.canUndo());
}

INSTANTIATE_TEST_SUITE_P(Faults, UndoFaults, ::testing::ValuesIn(faultCases()),
                         [](const auto& info) { return info.param.name(); });

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
// The trash of a file system other than the home trash's: pictures on a USB
// stick or a second disk go into that file system's own trash, by a rename,
// with a .trashinfo whose path is relative to its top folder. The test makes
// such a file system for itself: a tmpfs mounted in a mount namespace of the
// test's own, so nothing of it is seen outside the process. Where the system
// allows no namespace (a container without the capability), it says so and
// skips.
#include "fileops/Trash.h"
#include "support/TempFiles.h"

#include <QDir>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sortello;
using namespace sortello::test;

namespace {

bool writeProcFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return written;
}

// Enters a mount namespace of the process's own, as root or through a user
// namespace that maps the user onto itself. Runs before main: a user
// namespace can only be entered while the process has one thread.
std::string enterOwnMountNamespace() {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (uid != 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return std::string("no user namespace: ") + std::strerror(errno);
        if (!writeProcFile("/proc/self/setgroups", "deny") ||
            !writeProcFile("/proc/self/uid_map",
                           std::to_string(uid) + ' ' + std::to_string(uid) + " 1") ||
            !writeProcFile("/proc/self/gid_map",
                           std::to_string(gid) + ' ' + std::to_string(gid) + " 1"))
            return "the user namespace cannot map the user";
    } else if (::unshare(CLONE_NEWNS) != 0) {
        return std::string("no mount namespace: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("mounts cannot be made private: ") + std::strerror(errno);
    return {};
}

struct OwnMountNamespace {
    OwnMountNamespace() : refused(enterOwnMountNamespace()) {}
    std::string refused;
};
const OwnMountNamespace mountNamespace;

class TrashMountTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!mountNamespace.refused.empty())
            GTEST_SKIP() << "cannot mount a file system here: " << mountNamespace.refused;
        saved = qgetenv("XDG_DATA_HOME");
        ASSERT_TRUE(QDir().mkpath(root.file("data")));
        ASSERT_TRUE(QDir().mkpath(root.file("stick")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(root.file("data")));
        ASSERT_EQ(::mount("sortello-test", QFile::encodeName(top()).constData(), "tmpfs", 0,
                          "size=4m,mode=0755"),
                  0)
            << std::strerror(errno);
        mounted = true;
        ASSERT_TRUE(QDir().mkpath(onStick("DCIM/new")));
    }
    void TearDown() override {
        if (mounted)
            ::umount2(QFile::encodeName(top()).constData(), MNT_DETACH);
        if (mountNamespace.refused.empty())
            qputenv("XDG_DATA_HOME", saved);
    }

    QString top() const { return QDir(root.file("stick")).canonicalPath(); }
    QString onStick(const QString& rest) const { return top() + '/' + rest; }
    QString uid() const { return QString::number(::getuid()); }
    bool homeTrashUntouched() const { return !exists(root.file("data/Trash/files")); }

    TempFolder root;
    QByteArray saved;
    bool mounted = false;
};

TEST_F(TrashMountTest, APictureGoesIntoItsOwnFileSystemsTrashAndComesBack) {
    const QString path = onStick("DCIM/new/50% off é.jpg");
    writeFile(path, "picture");
    TrashedFile trashed;
    ASSERT_TRUE(moveToTrash(path, trashed));
    const QString trash = onStick(".Trash-" + uid());
    EXPECT_EQ(QFile::decodeName(trashed.path), trash + "/files/50% off é.jpg");
    EXPECT_EQ(readFile(trash + "/files/50% off é.jpg"), "picture");
    EXPECT_FALSE(exists(path));
    EXPECT_TRUE(homeTrashUntouched());
    // The path is relative to the stick's top, so the trash still restores
    // when the stick is mounted elsewhere.
    const QByteArray info = readFile(trash + "/info/50% off é.jpg.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=DCIM/new/50%25%20off%20%C3%A9.jpg\n"))
        << info.constData();
    struct stat st;
    ASSERT_EQ(::lstat(QFile::encodeName(trash).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    ASSERT_TRUE(restoreFromTrash(trashed));
    EXPECT_EQ(readFile(path), "picture");
    EXPECT_FALSE(exists(QFile::decodeName(trashed.info)));
}

// An administrator's shared .Trash is used only when it is a real folder with
// the sticky bit; anything else falls back to the user's own .Trash-$uid.
TEST_F(TrashMountTest, ASharedTrashCountsOnlyWhenItIsAStickyFolder) {
    struct Case {
        const char* what;
        void (*make)(const QByteArray& shared, const QByteArray& elsewhere);
        const char* expected; // the trash's folder under the top, %1 the uid
    };
    const Case cases[] = {
        {"sticky folder",
         [](const QByteArray& s, const QByteArray&) { ::mkdir(s.constData(), 01777); },
         ".Trash/%1"},
        {"not sticky", [](const QByteArray& s, const QByteArray&) { ::mkdir(s.constData(), 0777); },
         ".Trash-%1"},
        {"link to a sticky folder",
         [](const QByteArray& s, const QByteArray& e) {
             ::mkdir(e.constData(), 01777);
             ::symlink(e.constData(), s.constData());
         },
         ".Trash-%1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray shared = QFile::encodeName(onStick(".Trash"));
        const QByteArray elsewhere = QFile::encodeName(onStick("shared-elsewhere"));
        QDir(onStick(".Trash")).removeRecursively();
        ::unlink(shared.constData());
        QDir(onStick(".Trash-" + uid())).removeRecursively();
        QDir(onStick("shared-elsewhere")).removeRecursively();
        c.make(shared, elsewhere);
        const QString path = onStick("DCIM/new/a.jpg");
        writeFile(path, c.what);
        TrashedFile trashed;
        ASSERT_TRUE(moveToTrash(path, trashed));
        EXPECT_EQ(QFile::decodeName(trashed.path),
                  onStick(QString::fromLatin1(c.expected).arg(uid()) + "/files/a.jpg"));
        EXPECT_EQ(readFile(QFile::decodeName(trashed.path)), c.what);
        EXPECT_TRUE(homeTrashUntouched());
    }
}

// Where the file system's trash cannot be used, the picture is not deleted
// and never copied to the home trash on another file system.
TEST_F(TrashMountTest, WithoutAUsableTrashOnItsFileSystemThePictureStays) {
    const QString path = onStick("DCIM/new/a.jpg");
    writeFile(path, "kept");
    const QByteArray own = QFile::encodeName(onStick(".Trash-" + uid()));
    const QByteArray elsewhere = QFile::encodeName(root.file("data"));
    const char* ways[] = {"a file", "a link to a folder elsewhere", "a read-only file system"};
    for (const char* way : ways) {
        SCOPED_TRACE(way);
        ::unlink(own.constData());
        if (way == ways[0])
            writeFile(QFile::decodeName(own), "in the way");
        else if (way == ways[1])
            ASSERT_EQ(::symlink(elsewhere.constData(), own.constData()), 0);
        else
            ASSERT_EQ(::mount(nullptr, QFile::encodeName(top()).constData(), nullptr,
                              MS_REMOUNT | MS_RDONLY, nullptr),
                      0)
                << std::strerror(errno);
        TrashedFile trashed;
        const FileResult result = moveToTrash(path, trashed);
        EXPECT_FALSE(result);
        EXPECT_TRUE(result.noTrash || result.error == EROFS) << result.error;
        EXPECT_EQ(readFile(path), "kept");
        EXPECT_TRUE(homeTrashUntouched());
    }
}

TEST_F(TrashMountTest, AReplacedPictureOnTheStickGoesToTheSticksTrash) {
    const QString from = onStick("DCIM/new/a.jpg");
    const QString to = onStick("DCIM/a.jpg");
    writeFile(from, "new");
    writeFile(to, "old");
    TrashedFile trashed;
    ASSERT_TRUE(replaceIntoTrash(from, to, trashed));
    EXPECT_EQ(readFile(to), "new");
    EXPECT_FALSE(exists(from));
    EXPECT_EQ(QFile::decodeName(trashed.path), onStick(".Trash-" + uid() + "/files/a.jpg"));
    EXPECT_EQ(readFile(QFile::decodeName(trashed.path)), "old");
    EXPECT_TRUE(homeTrashUntouched());
}

} // namespace

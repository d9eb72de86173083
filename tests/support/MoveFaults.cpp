// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/MoveFaults.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace sortello::test {

namespace {

// The fakes are plain functions, so what they share lives here.
struct State {
    Route route = Route::Rename;
    int strikeAt = 0;
    int moves = 0;
    int calls = 0; // the failing step's own count, from the start of each move
    int choppyCalls = 0;
    bool refuseTemp = false;
    bool refuseRename = false;
    bool intruderBeforeRename = false;
    QByteArray source;
    long long injected = 0;
};

State& state() {
    static State s;
    return s;
}

bool striking() {
    const State& s = state();
    return s.strikeAt == 0 || s.moves == s.strikeAt;
}

template <typename Result> Result inject(int error) {
    ++state().injected;
    errno = error;
    return Result(-1);
}

// Someone else's file takes the name: a free name, or, before a swap, in
// place of the file that was to be replaced.
void plantIntruder(int dir, const char* name, bool replacing = false) {
    const QByteArray written = replacing ? QByteArray(name) + ".intruder" : QByteArray(name);
    const int fd =
        ::openat(dir, written.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const bool filled = ::write(fd, IntruderBytes, sizeof IntruderBytes - 1) > 0;
    ::close(fd);
    if (filled && (!replacing || ::renameat(dir, written.constData(), dir, name) == 0))
        ++state().injected;
}

// Each move starts with a rename (or a swap) from the caller's view of the
// paths; a second try for the same source, as a replace without swapping makes,
// is the same move. The renames inside the destination folder pass.
int routedRename(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    State& s = state();
    if (fromDir != AT_FDCWD)
        return realSysCalls().renameat2(fromDir, from, toDir, to, flags);
    if (s.moves == 0 || s.source != from) {
        ++s.moves;
        s.calls = 0;
        s.source = from;
    }
    if (striking() && s.refuseRename)
        return inject<int>(EACCES);
    if (striking() && s.intruderBeforeRename) {
        s.intruderBeforeRename = false; // once: a swap back must find it there
        plantIntruder(toDir, to, flags & RENAME_EXCHANGE);
    }
    switch (s.route) {
    case Route::Rename:
        return realSysCalls().renameat2(fromDir, from, toDir, to, flags);
    case Route::LinkThenUnlink:
        errno = EINVAL; // a file system without the no-replace flag
        return -1;
    default:
        errno = EXDEV;
        return -1;
    }
}

ssize_t noKernelCopy(int, off_t*, int, off_t*, size_t, unsigned) {
    errno = EXDEV;
    return -1;
}

// Interrupted and short transfers, the cases a careless copy loop gets wrong.
ssize_t choppyWrite(int fd, const void* buffer, size_t size) {
    if (++state().choppyCalls % 3 == 0)
        return errno = EINTR, -1;
    return realSysCalls().write(fd, buffer, size / 2 + 1);
}

int routedOpenat(int dir, const char* path, int flags, mode_t mode) {
    const State& s = state();
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    if ((unnamed || (flags & O_CREAT)) && s.refuseTemp && striking())
        return inject<int>(EDQUOT);
    if (unnamed && (s.route == Route::CopyNamedTemp || s.route == Route::CopyNoHardLinks)) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return realSysCalls().openat(dir, path, flags, mode);
}

ssize_t copyHalfThenNoSpace(int in, off_t* io, int out, off_t* oo, size_t size, unsigned flags) {
    if (!striking())
        return realSysCalls().copyFileRange(in, io, out, oo, size, flags);
    if (state().calls++ == 0)
        return realSysCalls().copyFileRange(in, io, out, oo, 1'600'000, flags);
    return inject<ssize_t>(ENOSPC);
}

ssize_t shortWriteThenNoSpace(int fd, const void* buffer, size_t size) {
    if (!striking())
        return realSysCalls().write(fd, buffer, size);
    if (state().calls++ < 2)
        return realSysCalls().write(fd, buffer, size / 2);
    return inject<ssize_t>(ENOSPC);
}

ssize_t readFails(int fd, void* buffer, size_t size) {
    return striking() ? inject<ssize_t>(EIO) : realSysCalls().read(fd, buffer, size);
}

template <int Nth> int failNthFsync(int fd) {
    if (striking() && ++state().calls == Nth)
        return inject<int>(EIO);
    return realSysCalls().fsync(fd);
}

int sourceChangesDuringFsync(int fd) {
    if (striking() && state().calls++ == 0) {
        QFile f(QFile::decodeName(state().source));
        if (f.open(QIODevice::Append) && f.write(SourceGrowth) > 0)
            ++state().injected;
    }
    return realSysCalls().fsync(fd);
}

int targetAppearsFirst(int fromDir, const char* from, int toDir, const char* to, int flags) {
    if (striking())
        plantIntruder(toDir, to);
    return realSysCalls().linkat(fromDir, from, toDir, to, flags);
}

const MoveFault copyFaults[] = {
    {"KernelCopyOutOfSpaceHalfWay", ENOSPC,
     [](SysCalls& t) { t.copyFileRange = copyHalfThenNoSpace; }},
    {"WriteOutOfSpaceAfterShortWrites", ENOSPC,
     [](SysCalls& t) {
         t.copyFileRange = noKernelCopy;
         t.write = shortWriteThenNoSpace;
     }},
    {"ReadFails", EIO,
     [](SysCalls& t) {
         t.copyFileRange = noKernelCopy;
         t.read = readFails;
     }},
    {"TemporaryRefused", EDQUOT, [](SysCalls&) { state().refuseTemp = true; }},
    {"PermissionsRefused", EPERM,
     [](SysCalls& t) {
         t.fchmod = [](int fd, mode_t mode) {
             return striking() ? inject<int>(EPERM) : realSysCalls().fchmod(fd, mode);
         };
     }},
    {"DatesRefused", EPERM,
     [](SysCalls& t) {
         t.futimens = [](int fd, const timespec* times) {
             return striking() ? inject<int>(EPERM) : realSysCalls().futimens(fd, times);
         };
     }},
    {"CopyNotFlushed", EIO, [](SysCalls& t) { t.fsync = failNthFsync<1>; }},
    {"FolderNotFlushed", EIO, [](SysCalls& t) { t.fsync = failNthFsync<2>; }},
    {"TargetAppearsMeanwhile", EEXIST, [](SysCalls& t) { t.linkat = targetAppearsFirst; }, true},
    {"SourceChangedWhileCopying", EBUSY, [](SysCalls& t) { t.fsync = sourceChangesDuringFsync; },
     false, true},
};

const MoveFault sourceRemovalRefused = {"SourceRemovalRefused", EPERM, [](SysCalls& t) {
                                            t.unlink = [](const char* path) {
                                                return striking() ? inject<int>(EPERM)
                                                                  : realSysCalls().unlink(path);
                                            };
                                        }};

const MoveFault renameFaults[] = {
    {"RenameRefused", EACCES, [](SysCalls&) { state().refuseRename = true; }},
    {"TargetAppearsBeforeRename", EEXIST, [](SysCalls&) { state().intruderBeforeRename = true; },
     true},
};

const MoveFault linkRefused = {"LinkRefused", EMLINK, [](SysCalls& t) {
                                   t.link = [](const char* from, const char* to) {
                                       return striking() ? inject<int>(EMLINK)
                                                         : realSysCalls().link(from, to);
                                   };
                               }};

// The total shows at the end of every program that injected faults.
class InjectedFaultsReport : public ::testing::Environment {
public:
    void TearDown() override {
        if (state().injected > 0)
            std::printf("Faults injected: %lld\n", state().injected);
    }
};

} // namespace

std::string FaultCase::name() const {
    switch (route) {
    case Route::CopyNamedTemp:
        return std::string(fault.label) + "NamedTemp";
    case Route::LinkThenUnlink:
        return std::string(fault.label) + "LinkFallback";
    default:
        return fault.label;
    }
}

std::vector<FaultCase> faultCases() {
    static const bool reported = [] {
        ::testing::AddGlobalTestEnvironment(new InjectedFaultsReport);
        return true;
    }();
    (void)reported;
    std::vector<FaultCase> cases;
    for (const Route route : {Route::Copy, Route::CopyNamedTemp}) {
        for (const MoveFault& fault : copyFaults)
            cases.push_back({fault, route});
        cases.push_back({sourceRemovalRefused, route});
    }
    for (const MoveFault& fault : renameFaults)
        cases.push_back({fault, Route::Rename});
    cases.push_back({linkRefused, Route::LinkThenUnlink});
    cases.push_back({sourceRemovalRefused, Route::LinkThenUnlink});
    return cases;
}

SysCalls tableFor(Route route, int strikeAt) {
    State& s = state();
    s = State{route, strikeAt, 0, 0, 0, false, false, false, {}, s.injected};
    SysCalls t = realSysCalls();
    t.renameat2 = routedRename;
    t.openat = routedOpenat;
    if (route == Route::CopyNoHardLinks)
        t.linkat = [](int, const char*, int, const char*, int) { return errno = EPERM, -1; };
    if (route == Route::CopyReadWrite) {
        t.copyFileRange = noKernelCopy;
        t.write = choppyWrite;
    }
    return t;
}

SysCalls armedTable(const FaultCase& faultCase, int strikeAt) {
    SysCalls t = tableFor(faultCase.route, strikeAt);
    faultCase.fault.arm(t);
    return t;
}

long long faultsInjected() {
    return state().injected;
}

} // namespace sortello::test

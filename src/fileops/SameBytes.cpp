// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileops/SameBytes.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace sortello {

namespace {

// Large enough that a 24 MP photo takes a few dozen reads, small enough to
// stay in the processor's cache while the two blocks are compared.
constexpr size_t BlockSize = 256 * 1024;

class OpenFile {
public:
    explicit OpenFile(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC)) {}
    ~OpenFile() {
        if (fd >= 0)
            ::close(fd);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // Fills the buffer but at the file's end; -1 on a read error.
    ssize_t readBlock(char* buffer, size_t size) const {
        size_t got = 0;
        while (got < size) {
            const ssize_t n = ::read(fd, buffer + got, size - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            got += size_t(n);
        }
        return ssize_t(got);
    }

    int fd;
};

} // namespace

Sameness compareBytes(const QString& first, const QString& second) {
    const OpenFile a(first);
    const OpenFile b(second);
    struct stat infoA {};
    struct stat infoB {};
    if (a.fd < 0 || b.fd < 0 || ::fstat(a.fd, &infoA) != 0 || ::fstat(b.fd, &infoB) != 0 ||
        !S_ISREG(infoA.st_mode) || !S_ISREG(infoB.st_mode))
        return Sameness::Unreadable;
    if (infoA.st_dev == infoB.st_dev && infoA.st_ino == infoB.st_ino)
        return Sameness::SameFile;
    if (infoA.st_size != infoB.st_size)
        return Sameness::Different;
    ::posix_fadvise(a.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    ::posix_fadvise(b.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const auto blocks = std::make_unique_for_overwrite<char[]>(2 * BlockSize);
    char* blockA = blocks.get();
    char* blockB = blocks.get() + BlockSize;
    for (;;) {
        const ssize_t gotA = a.readBlock(blockA, BlockSize);
        const ssize_t gotB = b.readBlock(blockB, BlockSize);
        if (gotA < 0 || gotB < 0)
            return Sameness::Unreadable;
        // A file that grew or shrank while it was read is no longer what was measured.
        if (gotA != gotB || std::memcmp(blockA, blockB, size_t(gotA)) != 0)
            return Sameness::Different;
        if (gotA == 0)
            return Sameness::Identical;
    }
}

} // namespace sortello

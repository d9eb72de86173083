// SPDX-License-Identifier: GPL-3.0-or-later
// sortello-metafile: draws one WMF or EMF file for Sortello.
//
//   sortello-metafile [--wmf | --emf] <path>
//
// The answer on standard output is "OK <width> <height> <svg bytes>\n"
// followed by the SVG document for a WMF, "OK <width> <height> <bytes>
// picture\n" followed by a QPicture's data for an EMF, or "ERROR <text>\n". With --wmf or --emf a
// file of the other kind is refused, so a renamed file is reported rather than
// drawn by a library that does not expect it.
//
// libwmf has a history of memory-safety faults on hostile files, and the EMF
// player reads records nobody checked, which is why they run here and not
// inside Sortello, and why this
// program limits itself before it reads anything: no more memory or processor
// time than a drawing needs, no core dumps, no files written, and once the
// input is read no more open files than fontconfig needs to find a font.
#include "EmfPlayer.h"
#include "MetafileFormat.h"
#include "WmfToSvg.h"

#include <QFontDatabase>
#include <QGuiApplication>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace sortello::metafile;

constexpr rlim_t MaxAddressSpace = rlim_t{512} << 20;
constexpr rlim_t MaxCpuSeconds = 10;
constexpr off_t MaxFileBytes = off_t{64} << 20;
// Font lookups read fontconfig's files and the font files themselves, a
// handful at a time.
constexpr rlim_t FontLookupDescriptors = 32;

// Never raises a limit the parent already lowered.
void lowerLimit(int resource, rlim_t wanted) {
    rlimit current{};
    if (getrlimit(resource, &current) != 0)
        return;
    const rlim_t hard = std::min(current.rlim_max, wanted);
    const rlimit lowered{std::min(current.rlim_cur, hard), hard};
    setrlimit(resource, &lowered);
}

void limitResources(int answer) {
    lowerLimit(RLIMIT_AS, MaxAddressSpace);
    lowerLimit(RLIMIT_CORE, 0);
    // Sortello reads the answer from a pipe. Run by hand with the answer
    // going to a file, the file size limit would stop the answer itself.
    struct stat answerInfo {};
    if (fstat(answer, &answerInfo) != 0 || !S_ISREG(answerInfo.st_mode))
        lowerLimit(RLIMIT_FSIZE, 0);
    // The soft limit sends SIGXCPU; the hard one, two seconds later, SIGKILL.
    rlimit cpu{};
    if (getrlimit(RLIMIT_CPU, &cpu) == 0) {
        const rlim_t hard = std::min(cpu.rlim_max, MaxCpuSeconds + 2);
        const rlimit lowered{std::min({cpu.rlim_cur, hard, MaxCpuSeconds}), hard};
        setrlimit(RLIMIT_CPU, &lowered);
    }
}

// The answer goes to a private copy of standard output, and standard output
// itself to standard error: libwmf prints diagnostics to standard output, and
// nothing a library prints may corrupt the answer.
int takeAnswerChannel() {
    close_range(3, ~0U, 0);
    const int answer = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    return answer;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void sendError(int fd, std::string_view text) {
    std::string line = "ERROR ";
    line += text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    line += '\n';
    writeAll(fd, line);
}

void sendPicture(int fd, const PlayedEmf& drawing) {
    const std::string header = "OK " + std::to_string(drawing.size.width) + ' ' +
                               std::to_string(drawing.size.height) + ' ' +
                               std::to_string(drawing.picture.size()) + " picture\n";
    if (writeAll(fd, header))
        writeAll(
            fd, std::string_view(drawing.picture.constData(), std::size_t(drawing.picture.size())));
}

void sendDrawing(int fd, const Conversion& drawing) {
    const std::string header = "OK " + std::to_string(drawing.size.width) + ' ' +
                               std::to_string(drawing.size.height) + ' ' +
                               std::to_string(drawing.svg.size()) + '\n';
    if (writeAll(fd, header))
        writeAll(fd, drawing.svg);
}

class FileCloser {
public:
    explicit FileCloser(int fd) : fd(fd) {}
    ~FileCloser() { close(fd); }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    int fd;
};

std::string readInput(const char* path) {
    // Non-blocking, so that a FIFO in place of the file cannot stall the open.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        throw ConversionError(std::string("it cannot be opened: ") + std::strerror(errno));
    const FileCloser closer(fd);
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        throw ConversionError("it is not a regular file");
    if (info.st_size > MaxFileBytes)
        throw ConversionError("it is larger than 64 MiB");
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw ConversionError(std::string("it cannot be read: ") + std::strerror(errno));
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    bytes.resize(done);
    if (bytes.empty())
        throw ConversionError("the file is empty");
    return bytes;
}

// The EMF player draws with Qt, which needs an application object and the
// fonts; both are set up while files can still be opened.
void startQt(int& argc, char** argv, std::optional<QGuiApplication>& app) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app.emplace(argc, argv);
    QFontDatabase::families();
}

// Qt keeps descriptors of its own open; the limit counts from the highest.
int highestOpenFd(int atLeast) {
    int highest = atLeast;
    if (DIR* fds = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(fds))
            highest = std::max(highest, std::atoi(entry->d_name));
        closedir(fds);
    }
    return highest;
}

void convert(int answer, const char* path, std::optional<Kind> expected, int& argc, char** argv) {
    const std::string bytes = readInput(path);
    const std::optional<Kind> kind = detectKind(bytes);
    if (expected && kind != expected)
        throw ConversionError(*expected == Kind::Wmf ? "it is not a WMF file"
                                                     : "it is not an EMF file");
    if (!kind)
        throw ConversionError("it is neither a WMF nor an EMF file");
    std::optional<QGuiApplication> app;
    if (*kind == Kind::Emf)
        startQt(argc, argv, app);
    // libwmf converts text with iconv, which reads its table of conversions
    // on first use; that has to happen while files can be opened.
    if (const iconv_t conversion = iconv_open("UTF-8", "UTF-16LE");
        conversion != reinterpret_cast<iconv_t>(-1))
        iconv_close(conversion);
    // From here on only font lookups open files.
    lowerLimit(RLIMIT_NOFILE,
               static_cast<rlim_t>(highestOpenFd(answer)) + 1 + FontLookupDescriptors);
    if (*kind == Kind::Wmf)
        sendDrawing(answer, convertWmf(bytes));
    else
        sendPicture(answer, playEmf(bytes));
}

} // namespace

int main(int argc, char** argv) {
    const int answer = takeAnswerChannel();
    if (answer < 0)
        return 3;
    limitResources(answer);

    std::optional<Kind> expected;
    const char* path = nullptr;
    if (argc == 2) {
        path = argv[1];
    } else if (argc == 3 && std::string_view(argv[1]) == "--wmf") {
        expected = Kind::Wmf;
        path = argv[2];
    } else if (argc == 3 && std::string_view(argv[1]) == "--emf") {
        expected = Kind::Emf;
        path = argv[2];
    } else {
        sendError(answer, "usage: sortello-metafile [--wmf | --emf] <path>");
        return 2;
    }

    try {
        convert(answer, path, expected, argc, argv);
    } catch (const ConversionError& error) {
        sendError(answer, error.what());
    } catch (const std::bad_alloc&) {
        sendError(answer, "it needs more memory than allowed");
    } catch (const std::exception& error) {
        sendError(answer, error.what());
    }
    return 0;
}

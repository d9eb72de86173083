// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/MetafileDecoder.h"

#include "base/Error.h"
#include "pictures/Picture.h"
#include "pictures/PictureFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QProcess>
#include <QXmlStreamReader>
#include <csignal>
#include <cstring>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace sortello {

namespace {

constexpr qint64 MaxFileBytes = qint64{64} << 20;
constexpr qint64 MaxSvgBytes = qint64{64} << 20;
// Anything a picture draws lies within this many of its own pixels of it;
// coordinates beyond say the answer is not the drawing it claims to be.
constexpr double MaxPictureReach = 1e7;
// Long enough for any real first line, "OK <width> <height> <length>".
constexpr qsizetype MaxHeaderBytes = 512;
constexpr qsizetype MaxErrorBytes = 4096;
constexpr int DefaultTimeoutMs = 10'000;
constexpr rlim_t ChildAddressSpace = rlim_t{512} << 20;
constexpr rlim_t ChildCpuSeconds = 10;

const QString HelperName = QStringLiteral("sortello-metafile");

int timeoutMs() {
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("SORTELLO_METAFILE_TIMEOUT_MS", &ok);
    return ok && fromEnvironment > 0 ? fromEnvironment : DefaultTimeoutMs;
}

QString programFolder() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

// Runs in the child between fork and exec, so only async-signal-safe calls.
// The helper lowers these limits again itself; setting them here as well
// covers the time before its main() runs. Its own process group lets a
// timeout stop everything it started.
void limitChild() {
    const rlimit addressSpace{ChildAddressSpace, ChildAddressSpace};
    const rlimit cpu{ChildCpuSeconds, ChildCpuSeconds + 2};
    const rlimit none{0, 0};
    setrlimit(RLIMIT_AS, &addressSpace);
    setrlimit(RLIMIT_CPU, &cpu);
    setrlimit(RLIMIT_CORE, &none);
    setpgid(0, 0);
}

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

QString crashReason(int signal) {
    // The soft processor time limit arrives as SIGXCPU.
    if (signal == SIGXCPU)
        return QStringLiteral("it used more processor time than allowed");
    return QStringLiteral("it crashed with signal %1, %2")
        .arg(signal)
        .arg(QString::fromLocal8Bit(strsignal(signal)));
}

Error stoppedUnexpectedly(const QString& path, const QString& why) {
    return Error(
        QStringLiteral("The helper program that draws metafiles stopped unexpectedly on %1 (%2)")
            .arg(quoted(path), why));
}

// Makes sure no helper outlives the call, whichever way it ends.
class ChildGuard {
public:
    explicit ChildGuard(QProcess& process) : process(process) {}
    ~ChildGuard() { stop(); }
    ChildGuard(const ChildGuard&) = delete;
    ChildGuard& operator=(const ChildGuard&) = delete;

    void stop() {
        if (process.state() == QProcess::NotRunning)
            return;
        const qint64 pid = process.processId();
        if (pid > 0)
            ::kill(-static_cast<pid_t>(pid), SIGKILL);
        process.kill();
        process.waitForFinished(2000);
    }

private:
    QProcess& process;
};

// The helper's answer, taken in as it arrives so that a helper sending
// garbage or too much is stopped as soon as that shows.
class Answer {
public:
    // `damaged` words a fault of the file, as for every other picture.
    Answer(const QString& path, std::function<Error(const QString&)> damaged)
        : path(path), damaged(std::move(damaged)) {}

    void take(const QByteArray& chunk) {
        data += chunk;
        if (!headerSeen)
            readHeader();
        if (!headerSeen)
            return;
        if (isError ? data.size() > MaxErrorBytes : data.size() - bodyStart > bodyLength)
            throw stoppedUnexpectedly(path, QStringLiteral("it sent a malformed answer"));
    }

    MetafileRendering result() const {
        if (!headerSeen || data.size() - bodyStart < bodyLength)
            throw stoppedUnexpectedly(path, QStringLiteral("its answer was cut short"));
        if (isError)
            throw damaged(errorText);
        if (size.isEmpty())
            throw damaged(QStringLiteral("it declares a size of %1 x %2 pixels")
                              .arg(size.width())
                              .arg(size.height()));
        if (isPicture)
            return {size, {}, checkedPicture(data.mid(bodyStart))};
        QByteArray svg = data.mid(bodyStart);
        QXmlStreamReader reader(svg);
        if (!startsWithSvgElement(reader))
            throw stoppedUnexpectedly(path, QStringLiteral("its answer is not an SVG drawing"));
        // The converters copy parts of the file into the SVG; a damaged file
        // can make them write XML no renderer reads.
        while (!reader.atEnd())
            reader.readNext();
        if (reader.hasError())
            throw damaged(QStringLiteral("its records make a drawing that cannot be read"));
        return {size, svg, {}};
    }

private:
    QByteArray checkedPicture(const QByteArray& bytes) const {
        // Playing it once, into a single pixel, is what checks its header and
        // checksum.
        QPicture picture;
        picture.setData(bytes.constData(), uint(bytes.size()));
        QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&pixel);
        painter.scale(1e-3, 1e-3);
        if (!picture.play(&painter))
            throw stoppedUnexpectedly(path, QStringLiteral("its answer is not a drawing"));
        const QRect reach = picture.boundingRect();
        if (!reach.isNull() && (std::abs(double(reach.left())) > MaxPictureReach ||
                                std::abs(double(reach.top())) > MaxPictureReach ||
                                std::abs(double(reach.right())) > MaxPictureReach ||
                                std::abs(double(reach.bottom())) > MaxPictureReach))
            // The helper did its work: the file's records draw that far away.
            throw damaged(QStringLiteral("its records draw far outside any picture"));
        return bytes;
    }

    void readHeader() {
        const qsizetype end = data.indexOf('\n');
        if (end < 0) {
            if (data.size() > MaxHeaderBytes)
                throw stoppedUnexpectedly(path, QStringLiteral("it sent a malformed answer"));
            return;
        }
        const QByteArray line = data.left(end);
        if (line.startsWith("ERROR ")) {
            isError = true;
            errorText = QString::fromUtf8(line.mid(6)).simplified().left(300);
            bodyLength = 0;
        } else {
            const QList<QByteArray> fields = line.split(' ');
            bool okWidth = false;
            bool okHeight = false;
            bool okLength = false;
            isPicture = fields.size() == 5 && fields[4] == "picture";
            if ((fields.size() == 4 || isPicture) && fields[0] == "OK") {
                size = QSize(fields[1].toInt(&okWidth), fields[2].toInt(&okHeight));
                bodyLength = fields[3].toLongLong(&okLength);
            }
            if (!okWidth || !okHeight || !okLength || bodyLength < 0)
                throw stoppedUnexpectedly(path, QStringLiteral("it sent a malformed answer"));
            if (bodyLength > MaxSvgBytes)
                throw Error(QStringLiteral("The helper program that draws metafiles sent more than "
                                           "64 MiB for %1")
                                .arg(quoted(path)));
        }
        headerSeen = true;
        bodyStart = end + 1;
    }

    // Tells an SVG document from garbage by its first element.
    static bool startsWithSvgElement(QXmlStreamReader& reader) {
        while (!reader.atEnd()) {
            if (reader.readNext() == QXmlStreamReader::StartElement)
                return reader.name() == QLatin1String("svg");
        }
        return false;
    }

    QString path;
    std::function<Error(const QString&)> damaged;
    QByteArray data;
    bool headerSeen = false;
    bool isError = false;
    bool isPicture = false;
    QString errorText;
    QSize size;
    qint64 bodyLength = 0;
    qsizetype bodyStart = 0;
};

QStringList helperArguments(const QFileInfo& file) {
    const QString suffix = file.suffix().toLower();
    QStringList arguments;
    if (suffix == QLatin1String("wmf"))
        arguments << QStringLiteral("--wmf");
    else if (suffix == QLatin1String("emf"))
        arguments << QStringLiteral("--emf");
    // An absolute path never looks like an option.
    arguments << file.absoluteFilePath();
    return arguments;
}

// "WMF" or "EMF": the kind the name promises, or without one the kind the
// content shows. A file that does not start as that kind is refused here, in
// the words every picture uses, before the helper sees it.
QString metafileFormat(const QString& path, const QByteArray& head) {
    const QString suffix = QFileInfo(path).suffix().toUpper();
    const QString holds = contentDescription(head);
    QString format = suffix;
    if (suffix != QLatin1String("WMF") && suffix != QLatin1String("EMF"))
        format = holds.contains(QLatin1String("EMF"))   ? QStringLiteral("EMF")
                 : holds.contains(QLatin1String("WMF")) ? QStringLiteral("WMF")
                                                        : QStringLiteral("WMF or EMF");
    if (!holds.contains(format))
        throw wrongContentError(path, format, head, {});
    return format;
}

} // namespace

QString metafileHelperPath() {
    const QString fromEnvironment = qEnvironmentVariable("SORTELLO_METAFILE_HELPER");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString folder = programFolder();
    const QString beside = folder + QLatin1Char('/') + HelperName;
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString installed =
        QDir::cleanPath(folder + QStringLiteral("/../libexec/sortello/") + HelperName);
    if (QFileInfo(installed).isExecutable())
        return installed;
    return beside;
}

MetafileRendering renderMetafile(const QString& path) {
    const QFileInfo file(path);
    qint64 bytes = 0;
    const QByteArray head = fileHead(openPictureFile(path, bytes).get());
    const QString format = metafileFormat(path, head);
    if (bytes > MaxFileBytes)
        throw Error(QStringLiteral("%1 is larger than 64 MiB and is not drawn").arg(quoted(path)));

    const QString helper = metafileHelperPath();
    const int limitMs = timeoutMs();
    QProcess process;
    process.setProgram(helper);
    process.setArguments(helperArguments(file));
    process.setStandardInputFile(QProcess::nullDevice());
    // The libraries' complaints are of no use to the user, and unread they
    // could fill the pipe and stall the helper.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier(limitChild);
    ChildGuard guard(process);

    QElapsedTimer clock;
    clock.start();
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(limitMs))
        throw Error(QStringLiteral("Cannot start the helper program that draws metafiles (%1): %2")
                        .arg(helper, process.errorString()));

    Answer answer(
        path, [&](const QString& detail) { return wrongContentError(path, format, head, detail); });
    while (true) {
        const qint64 left = limitMs - clock.elapsed();
        if (left <= 0) {
            guard.stop();
            throw Error(
                QStringLiteral("Drawing %1 took too long and was stopped").arg(quoted(path)));
        }
        if (process.waitForReadyRead(int(left))) {
            answer.take(process.readAllStandardOutput());
            continue;
        }
        // No more output: either the helper ended, or it closed its output
        // and still runs, which the time limit then settles.
        if (process.state() == QProcess::NotRunning ||
            process.waitForFinished(int(qMax<qint64>(1, limitMs - clock.elapsed()))))
            break;
    }
    answer.take(process.readAllStandardOutput());

    if (process.exitStatus() == QProcess::CrashExit)
        throw stoppedUnexpectedly(path, crashReason(process.exitCode()));
    if (process.exitCode() != 0)
        throw stoppedUnexpectedly(path, QStringLiteral("exit code %1").arg(process.exitCode()));
    return answer.result();
}

} // namespace sortello

// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Error.h"
#include "pictures/Picture.h"
#include "support/ErrorText.h"
#include "support/MetafileFixtures.h"
#include "support/TempFiles.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace sortello;
using sortello::test::readFile;
using sortello::test::TempFolder;
using sortello::test::writeFile;

namespace {

const QRgb Teal = qRgb(40, 120, 200);
const QRgb Red = qRgb(255, 0, 0);

using sortello::test::messageOf;

QString fixture(const char* name) {
    return QStringLiteral(SORTELLO_FIXTURES "/") + QLatin1String(name);
}

QByteArray encoded(int width, int height, const char* format, QRgb colour = Teal) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return bytes;
}

// Qt writes one image per icon file; several are merged into one directory.
QByteArray iconOf(const std::vector<std::pair<int, QRgb>>& images) {
    QByteArray directory("\0\0\1\0", 4);
    directory.append(char(images.size())).append('\0');
    QByteArray data;
    for (const auto& [side, colour] : images) {
        const QByteArray single = encoded(side, side, "ico", colour);
        QByteArray entry = single.mid(6, 16);
        const quint32 offset = quint32(6 + 16 * images.size() + data.size());
        for (int i = 0; i < 4; ++i)
            entry[12 + i] = char((offset >> (8 * i)) & 0xFF);
        directory += entry;
        data += single.mid(22);
    }
    return directory + data;
}

// The animated fixture cut after its first (red) frame.
QByteArray stillGif() {
    const QByteArray gif = readFile(fixture("animated.gif"));
    const qsizetype second = gif.indexOf("\x21\xF9", gif.indexOf("\x21\xF9") + 2);
    return gif.left(second) + ';';
}

// ---- Extensions and formats -----------------------------------------------------

class UnknownExtension : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(UnknownExtension, ExactMessageKeepingTheLetterCase) {
    EXPECT_EQ(messageOf([] { Picture::open(QString::fromUtf8(GetParam().first)); }),
              QStringLiteral("Unknown picture file extension (.%1)").arg(GetParam().second));
}

INSTANTIATE_TEST_SUITE_P(Cases, UnknownExtension,
                         ::testing::Values(std::pair{"x.psd", "psd"}, std::pair{"/a/X.PsD", "PsD"},
                                           std::pair{"noext", ""}, std::pair{"trailing.", ""},
                                           std::pair{"/a.jpg/noext", ""},
                                           std::pair{"photo.jpg.tmp", "tmp"}));

struct FormatCase {
    const char* name;
    std::function<QByteArray()> contents;
    PictureKind kind;
    QSize size;
    QRgb colour;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.name;
}

class PictureFormats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PictureFormats, OwnSizeKindAndColour) {
    const FormatCase& c = GetParam();
    TempFolder folder;
    const QString path = folder.file(QString::fromUtf8(c.name));
    writeFile(path, c.contents());
    const Picture picture = Picture::open(path);
    EXPECT_EQ(picture.kind(), c.kind);
    EXPECT_EQ(picture.size(), c.size);
    EXPECT_TRUE(picture.frames().isEmpty());
    // Only a JPEG decodes smaller; the others come whole, never larger.
    const QImage small = picture.imageFor(QSize(1, 1));
    const QSize eighth((c.size.width() + 7) / 8, (c.size.height() + 7) / 8);
    EXPECT_EQ(small.size(), c.kind == PictureKind::Jpeg ? eighth : c.size);
    const QRgb centre = small.pixel(small.width() / 2, small.height() / 2);
    EXPECT_NEAR(qRed(centre), qRed(c.colour), 8);
    EXPECT_NEAR(qGreen(centre), qGreen(c.colour), 8);
    EXPECT_NEAR(qBlue(centre), qBlue(c.colour), 8);
    EXPECT_EQ(picture.fullImage().size(), c.size);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureFormats,
    ::testing::Values(
        FormatCase{"photo.jpg",
                   [] { return encoded(123, 45, "jpeg"); },
                   PictureKind::Jpeg,
                   {123, 45},
                   Teal},
        FormatCase{
            "PHOTO.JPG", [] { return encoded(64, 80, "jpeg"); }, PictureKind::Jpeg, {64, 80}, Teal},
        FormatCase{
            "photo.Jpeg", [] { return encoded(9, 7, "jpeg"); }, PictureKind::Jpeg, {9, 7}, Teal},
        FormatCase{"scan.BMP",
                   [] { return encoded(123, 45, "bmp"); },
                   PictureKind::Bitmap,
                   {123, 45},
                   Teal},
        FormatCase{"still.gif", stillGif, PictureKind::Gif, {8, 6}, Red},
        FormatCase{"app.ico",
                   [] {
                       return iconOf({{32, Teal}});
                   },
                   PictureKind::Icon,
                   {32, 32},
                   Teal}));

TEST(Picture, IconShowsItsLargestImage) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("app.ico"));
    writeFile(path, iconOf({{16, Red}, {48, Teal}, {32, qRgb(0, 0, 255)}}));
    const Picture picture = Picture::open(path);
    EXPECT_EQ(picture.size(), QSize(48, 48));
    EXPECT_EQ(picture.imageFor(QSize(16, 16)).pixel(24, 24), Teal);
}

TEST(Picture, AnimatedGifGivesFramesAndDelays) {
    const Picture picture = Picture::open(fixture("animated.gif"));
    EXPECT_EQ(picture.size(), QSize(8, 6));
    const QList<AnimationFrame>& frames = picture.frames();
    ASSERT_EQ(frames.size(), 3);
    const QRgb colours[] = {Red, qRgb(0, 255, 0), qRgb(0, 0, 255)};
    const int delays[] = {100, 200, 100}; // the last asks for none: shown as browsers do
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(frames[i].image.pixel(4, 3) | 0xFF000000u, colours[i]) << "frame " << i;
        EXPECT_EQ(frames[i].delayMs, delays[i]) << "frame " << i;
    }
    EXPECT_EQ(picture.imageFor(QSize(8, 6)).pixel(0, 0) | 0xFF000000u, Red);
}

TEST(Picture, JpegDecodedOncePerScaleAndSharedByCopies) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("medium.jpg"));
    writeFile(path, encoded(800, 600, "jpeg"));
    const Picture picture = Picture::open(path);
    const QImage pane = picture.imageFor(QSize(400, 300));
    EXPECT_EQ(pane.size(), QSize(400, 300));
    EXPECT_EQ(picture.imageFor(QSize(390, 290)).cacheKey(), pane.cacheKey()) << "same scale";
    EXPECT_EQ(Picture(picture).imageFor(QSize(400, 300)).cacheKey(), pane.cacheKey());
    EXPECT_EQ(picture.imageFor(QSize(401, 300)).size(), QSize(800, 600));
    EXPECT_EQ(picture.fullImage().cacheKey(), picture.imageFor(QSize(401, 300)).cacheKey());
    EXPECT_EQ(picture.imageFor(QSize(400, 300)).cacheKey(), pane.cacheKey()) << "still kept";
}

TEST(Picture, MetafileDrawnAtExactlyTheTargetSize) {
    // ctest names the helper program; started by hand, the test finds it
    // where the build puts it.
    if (qEnvironmentVariableIsEmpty("SORTELLO_METAFILE_HELPER"))
        qputenv(
            "SORTELLO_METAFILE_HELPER",
            QFile::encodeName(QCoreApplication::applicationDirPath() + "/../sortello-metafile"));
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("drawing.WMF"));
    ASSERT_TRUE(sortello::test::writeWmf(path)); // 200 x 150, red box at 50,40 100 x 70
    const Picture picture = Picture::open(path);
    EXPECT_EQ(picture.kind(), PictureKind::Metafile);
    EXPECT_EQ(picture.size(), QSize(200, 150));
    const QImage doubled = picture.imageFor(QSize(400, 300));
    ASSERT_EQ(doubled.size(), QSize(400, 300));
    EXPECT_EQ(doubled.pixelColor(200, 150).rgb(), qRgb(200, 30, 40));
    EXPECT_EQ(qAlpha(doubled.pixel(20, 20)), 0) << "keeps its own transparency";
    EXPECT_EQ(picture.imageFor(QSize(400, 300)).cacheKey(), doubled.cacheKey());
    const QImage squeezed = picture.imageFor(QSize(100, 30));
    ASSERT_EQ(squeezed.size(), QSize(100, 30));
    EXPECT_EQ(squeezed.pixelColor(50, 15).rgb(), qRgb(200, 30, 40));
    EXPECT_EQ(picture.fullImage().size(), QSize(200, 150));
}

// ---- Damaged, lying and hostile files ---------------------------------------------

TEST(Picture, DamagedJpegOpensByItsHeaderAndFailsToDecode) {
    const QRegularExpression jpegError(QStringLiteral("^JPEG error #\\d+$"));
    for (const char* name : {"truncated.jpg", "garbage-scan.jpg"}) {
        const Picture picture = Picture::open(fixture(name));
        EXPECT_GT(picture.width(), 0) << name;
        const QString message = messageOf([&] { picture.imageFor(QSize(400, 300)); });
        EXPECT_TRUE(jpegError.match(message).hasMatch()) << name << ": " << message.toStdString();
    }
}

// A 24-bit BMP header declaring width x height, followed by a few pixels.
QByteArray bitmapDeclaring(qint32 width, qint32 height) {
    QByteArray bmp = encoded(4, 4, "bmp");
    for (int i = 0; i < 4; ++i) {
        bmp[18 + i] = char((quint32(width) >> (8 * i)) & 0xFF);
        bmp[22 + i] = char((quint32(height) >> (8 * i)) & 0xFF);
    }
    return bmp;
}

struct BadFileCase {
    const char* name;
    std::function<QByteArray()> contents;
    const char* expected; // %1 stands for the path
};

void PrintTo(const BadFileCase& c, std::ostream* os) {
    *os << c.name;
}

class BadPictureFile : public ::testing::TestWithParam<BadFileCase> {};

// Every format words what is wrong the same way: what the file holds when it
// is another kind, what is damaged when it is the kind it is named after;
// never a decoder's "Unknown error".
TEST_P(BadPictureFile, ClearMessageNamingTheFileAndItsFault) {
    const BadFileCase& c = GetParam();
    TempFolder folder;
    const QString path = folder.file(QString::fromUtf8(c.name));
    writeFile(path, c.contents());
    const QString message = messageOf([&] { Picture::open(path).imageFor(QSize(400, 300)); });
    const QString expected = QString::fromUtf8(c.expected);
    EXPECT_TRUE(
        message.startsWith(expected.contains(QLatin1String("%1")) ? expected.arg(path) : expected))
        << message.toStdString();
    EXPECT_FALSE(message.contains(QLatin1String("Unknown error"), Qt::CaseInsensitive))
        << message.toStdString();
}

QByteArray metafile(bool emf) {
    TempFolder folder;
    const QString path = folder.file(QStringLiteral("sample"));
    EXPECT_TRUE(emf ? test::writeEmf(path) : test::writeWmf(path));
    return readFile(path);
}

QByteArray text() {
    return QByteArrayLiteral("Shopping list:\n- bread\n- milk\n");
}
QByteArray png() {
    return encoded(8, 8, "png");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadPictureFile,
    ::testing::Values(
        BadFileCase{"png.jpg", png, "\"%1\" is not a JPEG file: it holds a PNG picture"},
        BadFileCase{"text.jpeg", text, "\"%1\" is not a JPEG file: it holds text"},
        BadFileCase{"binary.jpg", [] { return QByteArray("\1\2\3\4", 4); },
                    "\"%1\" is not a JPEG file"},
        BadFileCase{"text.bmp", text, "\"%1\" is not a BMP file: it holds text"},
        BadFileCase{"text.gif", text, "\"%1\" is not a GIF file: it holds text"},
        BadFileCase{"text.ico", text, "\"%1\" is not an ICO file: it holds text"},
        BadFileCase{"png.gif", png, "\"%1\" is not a GIF file: it holds a PNG picture"},
        BadFileCase{"jpeg.bmp", [] { return encoded(8, 8, "jpeg"); },
                    "\"%1\" is not a BMP file: it holds a JPEG picture"},
        // A damaged JPEG keeps the decoder's number, as the program always said it.
        BadFileCase{"cut.jpg", [] { return readFile(fixture("truncated.jpg")); }, "JPEG error #"},
        BadFileCase{"bmp.jpg", [] { return encoded(8, 8, "bmp"); },
                    "\"%1\" is not a JPEG file: it holds a BMP picture"},
        BadFileCase{"cut.bmp", [] { return encoded(200, 100, "bmp").left(70); },
                    "\"%1\" is a damaged BMP file: it ends before its last row of pixels"},
        BadFileCase{"flat.bmp", [] { return bitmapDeclaring(0, 50); },
                    "\"%1\" is a damaged BMP file: it declares a size of 0 x 50 pixels"},
        BadFileCase{"header.gif", [] { return QByteArray("GIF89a\x10", 7); },
                    "\"%1\" is a damaged GIF file: its header cannot be read"},
        BadFileCase{"cut.gif", [] { return readFile(fixture("animated.gif")).left(64); },
                    "\"%1\" is a damaged GIF file: its picture data is cut short or corrupt"},
        BadFileCase{"bmp.gif", [] { return encoded(8, 8, "bmp"); },
                    "\"%1\" is not a GIF file: it holds a BMP picture"},
        BadFileCase{"cut.ico", [] { return encoded(16, 16, "ico").left(300); },
                    "\"%1\" is a damaged ICO file: its picture data is cut short or corrupt"},
        BadFileCase{"png.ico", png, "\"%1\" is not an ICO file: it holds a PNG picture"},
        BadFileCase{"gif.ico", stillGif, "\"%1\" is not an ICO file: it holds a GIF picture"},
        BadFileCase{"png.wmf", png, "\"%1\" is not a WMF file: it holds a PNG picture"},
        BadFileCase{"text.wmf", text, "\"%1\" is not a WMF file: it holds text"},
        BadFileCase{"emf.wmf", [] { return metafile(true); },
                    "\"%1\" is not a WMF file: it holds an EMF picture"},
        BadFileCase{"cut.wmf", [] { return metafile(false).chopped(10); },
                    "\"%1\" is a damaged WMF file: the file is truncated"},
        BadFileCase{"wmf.emf", [] { return metafile(false); },
                    "\"%1\" is not an EMF file: it holds a WMF picture"},
        BadFileCase{"jpeg.emf", [] { return encoded(8, 8, "jpeg"); },
                    "\"%1\" is not an EMF file: it holds a JPEG picture"},
        BadFileCase{"cut.emf", [] { return metafile(true).chopped(40); },
                    "\"%1\" is a damaged EMF file: the file is truncated"},
        BadFileCase{"empty.jpg", [] { return QByteArray(); }, "The file \"%1\" is empty"},
        BadFileCase{"empty.ico", [] { return QByteArray(); }, "The file \"%1\" is empty"},
        BadFileCase{"empty.wmf", [] { return QByteArray(); }, "The file \"%1\" is empty"}));

TEST(Picture, MissingUnreadableOrFolderSaysWhy) {
    TempFolder folder;
    const QString missing = folder.file(QStringLiteral("gone.jpg"));
    EXPECT_EQ(messageOf([&] { Picture::open(missing); }),
              QStringLiteral("Cannot read \"%1\": No such file or directory").arg(missing));
    const QString dir = folder.file(QStringLiteral("album.bmp"));
    ASSERT_TRUE(QDir().mkpath(dir));
    EXPECT_EQ(messageOf([&] { Picture::open(dir); }),
              QStringLiteral("Cannot read \"%1\": it is a folder").arg(dir));
    if (::geteuid() == 0)
        return; // root reads every file
    const QString locked = folder.file(QStringLiteral("locked.gif"));
    writeFile(locked, stillGif());
    ASSERT_TRUE(QFile::setPermissions(locked, QFileDevice::WriteOwner));
    EXPECT_EQ(messageOf([&] { Picture::open(locked); }),
              QStringLiteral("Cannot read \"%1\": Permission denied").arg(locked));
}

// Runs in a child whose address space cannot grow by more than 64 MB, so a
// decoder that allocates for the declared size fails the test.
void limitAddressSpace() {
    long pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        pages = std::fscanf(statm, "%ld", &pages) == 1 ? pages : 0;
        std::fclose(statm);
    }
    const rlim_t limit = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (rlim_t(64) << 20);
    const rlimit bound{limit, limit};
    setrlimit(RLIMIT_AS, &bound);
}

struct BombCase {
    const char* name;
    std::function<QByteArray()> contents;
    const char* size;
};

void PrintTo(const BombCase& c, std::ostream* os) {
    *os << c.name;
}

class PictureBombDeathTest : public ::testing::TestWithParam<BombCase> {};

TEST_P(PictureBombDeathTest, DeclaredSizeIsRefusedWithoutAllocating) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const BombCase& c = GetParam();
    TempFolder folder;
    const QString path = folder.file(QString::fromUtf8(c.name));
    writeFile(path, c.contents());
    EXPECT_EXIT(
        {
            limitAddressSpace();
            std::fprintf(stderr, "%s\n", qPrintable(messageOf([&] { Picture::open(path); })));
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0),
        QStringLiteral("The picture is too large to show: %1 pixels \\(.*%2\\)")
            .arg(QLatin1String(c.size), QRegularExpression::escape(QLatin1String(c.name)))
            .toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureBombDeathTest,
    ::testing::Values(
        BombCase{"bomb.jpg",
                 [] {
                     QByteArray jpeg = encoded(16, 16, "jpeg");
                     const qsizetype sof = jpeg.indexOf("\xFF\xC0");
                     return jpeg.replace(sof + 5, 4, QByteArray("\xEA\x60\xEA\x60", 4));
                 },
                 "60000 x 60000"},
        BombCase{"bomb.bmp", [] { return bitmapDeclaring(100000, 100000); }, "100000 x 100000"},
        BombCase{"top-down.bmp", [] { return bitmapDeclaring(30000, -20000); }, "30000 x 20000"},
        BombCase{"bomb.gif",
                 [] { return stillGif().replace(6, 4, QByteArray("\x60\xEA\x60\xEA", 4)); },
                 "60000 x 60000"},
        // 76 bytes declaring 257 megapixels, found by fuzzing: under the
        // bitmaps' limit, but no GIF that size is backed by its bytes.
        BombCase{"canvas-bomb.gif",
                 [] {
                     QFile fixture(QStringLiteral(SORTELLO_FIXTURES "/canvas-bomb.gif"));
                     return fixture.open(QIODevice::ReadOnly) ? fixture.readAll() : QByteArray();
                 },
                 "14336 x 17926"}));

} // namespace

// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Error.h"
#include "pictures/MetafileDecoder.h"
#include "pictures/Picture.h"
#include "support/MetafileFixtures.h"
#include "support/TempFiles.h"
#include "widgets/PictureBox.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QRandomGenerator>
#include <QSvgRenderer>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>

using namespace sortello;
using namespace sortello::test;

namespace {

// ctest names the helper; a test program started by hand finds it where the
// build puts it, one folder above the test programs.
QString builtHelper() {
    const QString fromEnvironment = qEnvironmentVariable("SORTELLO_METAFILE_HELPER");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../sortello-metafile");
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QString& value)
        : name(name), previous(qgetenv(name)), hadValue(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value.toUtf8());
    }
    ~ScopedEnvironment() {
        if (hadValue)
            qputenv(name, previous);
        else
            qunsetenv(name);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name;
    QByteArray previous;
    bool hadValue;
};

QString errorOf(const QString& path) {
    try {
        renderMetafile(path);
    } catch (const Error& error) {
        return error.message();
    }
    return QStringLiteral("(no error)");
}

// On white at the picture's own size: a WMF's SVG or an EMF's picture.
QImage drawn(const MetafileRendering& rendering) {
    QImage image(rendering.size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    if (rendering.picture.isEmpty()) {
        QSvgRenderer(rendering.svg).render(&painter);
    } else {
        QPicture picture;
        picture.setData(rendering.picture.constData(), uint(rendering.picture.size()));
        painter.drawPicture(0, 0, picture);
    }
    return image;
}

bool inkIn(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128)
                return true;
    return false;
}

bool near(QColor actual, QColor expected) {
    return qAbs(actual.red() - expected.red()) <= 8 &&
           qAbs(actual.green() - expected.green()) <= 8 &&
           qAbs(actual.blue() - expected.blue()) <= 8;
}

class MetafileDecoderTest : public ::testing::Test {
protected:
    TempFolder folder;
    ScopedEnvironment helper{"SORTELLO_METAFILE_HELPER", builtHelper()};
};

// --- Drawing real files -------------------------------------------------

struct DrawingCase {
    const char* name;
    bool emf;
    MetafileSample sample;
};

void PrintTo(const DrawingCase& c, std::ostream* out) {
    *out << c.name;
}

class MetafileDrawing : public MetafileDecoderTest,
                        public ::testing::WithParamInterface<DrawingCase> {};

TEST_P(MetafileDrawing, HasItsOwnSizeAndPaintsOnlyItsShape) {
    const DrawingCase& c = GetParam();
    const QString path = folder.file(QString::fromLatin1(c.name) + (c.emf ? ".emf" : ".wmf"));
    ASSERT_TRUE(c.emf ? writeEmf(path, c.sample) : writeWmf(path, c.sample));

    const MetafileRendering rendering = renderMetafile(path);
    EXPECT_EQ(rendering.size, c.sample.size);
    if (c.emf)
        ASSERT_FALSE(rendering.picture.isEmpty());
    else
        ASSERT_TRUE(QSvgRenderer(rendering.svg).isValid()) << rendering.svg.left(400).toStdString();

    const QImage image = drawn(rendering);
    const QRect& shape = c.sample.shape;
    const QPoint center = shape.center();
    const QPoint quarter(shape.width() / 5, shape.height() / 5);
    const bool pie = c.sample.kind == MetafileShape::QuarterPie;
    const QPoint inside = pie ? center + QPoint(quarter.x(), -quarter.y()) : center;
    EXPECT_TRUE(near(image.pixelColor(inside), c.sample.color))
        << "inside " << qPrintable(image.pixelColor(inside).name());
    // The shape keeps its place within the frame: the margins stay empty.
    QList<QPoint> outside = {
        QPoint(1, 1), QPoint(c.sample.size.width() - 2, c.sample.size.height() - 2),
        QPoint(shape.left() - 4, center.y()), QPoint(shape.right() + 4, center.y())};
    if (pie)
        outside << center + QPoint(-quarter.x(), quarter.y()) << center + quarter;
    for (const QPoint& point : outside)
        EXPECT_TRUE(near(image.pixelColor(point), Qt::white))
            << point.x() << "," << point.y() << " " << qPrintable(image.pixelColor(point).name());
}

MetafileSample sampleOf(QSize size, QRect shape, MetafileShape kind,
                        WmfMapping mapping = WmfMapping::Window, bool placeable = true) {
    MetafileSample s;
    s.placeable = placeable;
    s.size = size;
    s.shape = shape;
    s.kind = kind;
    s.mapping = mapping;
    s.color = QColor(30, 90, 200);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    , MetafileDrawing,
    ::testing::Values(
        DrawingCase{"wmf_window", false,
                    sampleOf({192, 144}, {48, 36, 96, 72}, MetafileShape::Rectangle)},
        DrawingCase{"wmf_placeable_units", false,
                    sampleOf({200, 100}, {80, 30, 40, 40}, MetafileShape::Rectangle,
                             WmfMapping::PlaceableUnits)},
        DrawingCase{"wmf_without_header", false,
                    sampleOf({240, 90}, {40, 20, 100, 50}, MetafileShape::Ellipse,
                             WmfMapping::Window, false)},
        DrawingCase{"wmf_tall_ellipse", false,
                    sampleOf({40, 300}, {6, 100, 28, 100}, MetafileShape::Ellipse)},
        DrawingCase{"wmf_large", false,
                    sampleOf({3000, 2000}, {1000, 800, 900, 300}, MetafileShape::Rectangle)},
        DrawingCase{"wmf_bitmap", false,
                    sampleOf({120, 90}, {30, 20, 60, 50}, MetafileShape::Bitmap)},
        DrawingCase{"wmf_quarter_pie", false,
                    sampleOf({200, 200}, {20, 20, 160, 160}, MetafileShape::QuarterPie)},
        DrawingCase{"emf_quarter_pie", true,
                    sampleOf({200, 200}, {20, 20, 160, 160}, MetafileShape::QuarterPie)},
        DrawingCase{"emf_rectangle", true,
                    sampleOf({200, 150}, {50, 40, 100, 70}, MetafileShape::Rectangle)},
        DrawingCase{"emf_wide_ellipse", true,
                    sampleOf({640, 80}, {200, 10, 240, 60}, MetafileShape::Ellipse)}),
    [](const auto& info) { return std::string(info.param.name); });

class MetafileText : public MetafileDecoderTest, public ::testing::WithParamInterface<bool> {};

TEST_P(MetafileText, KeepsMarkupCharactersAndAccents) {
    const bool emf = GetParam();
    MetafileSample s;
    s.text = QStringLiteral("a<b & \"c\" caf\u00e9");
    const QString path = folder.file(emf ? QStringLiteral("text.emf") : QStringLiteral("text.wmf"));
    ASSERT_TRUE(emf ? writeEmf(path, s) : writeWmf(path, s));

    const MetafileRendering rendering = renderMetafile(path);
    // An EMF's text comes as outlines, which only show it is there.
    if (emf) {
        EXPECT_TRUE(inkIn(drawn(rendering), QRect(0, 0, 60, 16)));
        return;
    }
    EXPECT_TRUE(QSvgRenderer(rendering.svg).isValid());
    EXPECT_EQ(textOf(rendering.svg), s.text) << rendering.svg.toStdString();
}

INSTANTIATE_TEST_SUITE_P(, MetafileText, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "emf" : "wmf"; });

// Text written by glyph index is drawn as characters, as the reference draws
// it, with fonts found within the helper's limits on open files.
TEST_F(MetafileDecoderTest, EmfTextByGlyphIndexIsDrawn) {
    MetafileSample s;
    s.text = QStringLiteral("glyphs");
    s.glyphIndices = true;
    s.charset = 177; // Hebrew, a right-to-left character set
    const QString path = folder.file(QStringLiteral("glyphs.emf"));
    ASSERT_TRUE(writeEmf(path, s));

    MetafileRendering rendering;
    ASSERT_NO_THROW(rendering = renderMetafile(path)) << errorOf(path).toStdString();
    EXPECT_EQ(rendering.size, s.size);
    const QImage image = drawn(rendering);
    EXPECT_TRUE(inkIn(image, QRect(0, 0, 60, 16))) << "the font was found";
    EXPECT_TRUE(near(image.pixelColor(s.shape.center()), s.color));
}

// A metafile is drawn at the size it is shown: a frame of 5 m declares more
// pixels than any raster picture may have, yet it opens with that size, fills
// a pane, and its largest image stays within bounds with its aspect kept.
TEST_F(MetafileDecoderTest, HugeFrameIsDrawnAtTheSizeItIsShown) {
    const MetafileSample s =
        sampleOf({25000, 12500}, {5000, 2500, 15000, 7500}, MetafileShape::Rectangle);
    const QString path = folder.file(QStringLiteral("poster.emf"));
    ASSERT_TRUE(writeEmf(path, s));

    Picture picture;
    ASSERT_NO_THROW(picture = Picture::open(path)) << errorOf(path).toStdString();
    EXPECT_EQ(picture.size(), s.size);
    const QImage pane = picture.imageFor(QSize(400, 200));
    EXPECT_EQ(pane.size(), QSize(400, 200));
    EXPECT_TRUE(near(pane.pixelColor(200, 100), s.color));
    const QImage full = picture.fullImage();
    EXPECT_EQ(full.size(), picture.largestImageSize());
    EXPECT_LE(qint64(full.width()) * full.height(), MaxMetafileImagePixels);
    EXPECT_NEAR(double(full.width()) / full.height(), 2.0, 0.01);
    EXPECT_TRUE(near(full.pixelColor(full.width() / 2, full.height() / 2), s.color));

    // A pane that places it at its own size shows its middle, drawn by the
    // painter from the bounded image rather than from a poster-sized copy.
    PictureBox box;
    box.resize(300, 200);
    DisplayOptions own;
    own.stretch = false;
    own.proportional = false;
    own.autoSize = false;
    box.setOptions(own);
    box.setPicture(picture);
    const QImage shot = box.grab().toImage();
    EXPECT_TRUE(near(shot.pixelColor(150, 100), s.color));
}

TEST_F(MetafileDecoderTest, NameDoesNotNeedALowerCaseExtension) {
    const QString upper = folder.file(QStringLiteral("LOGO.WMF"));
    const QString unnamed = folder.file(QStringLiteral("drawing.bin"));
    ASSERT_TRUE(writeWmf(upper));
    ASSERT_TRUE(writeEmf(unnamed));

    EXPECT_EQ(renderMetafile(upper).size, MetafileSample().size);
    // Without a kind in the name, the content decides.
    EXPECT_EQ(renderMetafile(unnamed).size, MetafileSample().size);
}

// --- Damaged files ------------------------------------------------------

QByteArray randomBytes(int count) {
    QByteArray bytes(count, '\0');
    QRandomGenerator generator(42);
    for (char& byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

QByteArray pngBytes() {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray validFile(const TempFolder& folder, bool emf) {
    const QString path =
        folder.file(emf ? QStringLiteral("valid.emf") : QStringLiteral("valid.wmf"));
    if (!(emf ? writeEmf(path) : writeWmf(path)))
        return {};
    return readFile(path);
}

struct DamagedCase {
    const char* name;
    const char* fileName;
    std::function<QByteArray(const TempFolder&)> bytes;
    const char* expected; // %1 stands for the path
};

void PrintTo(const DamagedCase& c, std::ostream* out) {
    *out << c.name;
}

class DamagedMetafile : public MetafileDecoderTest,
                        public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedMetafile, GivesAClearErrorNamingTheFile) {
    const DamagedCase& c = GetParam();
    const QString path = folder.file(QString::fromLatin1(c.fileName));
    writeFile(path, c.bytes(folder));

    EXPECT_EQ(errorOf(path), QString::fromUtf8(c.expected).arg(path));
}

INSTANTIATE_TEST_SUITE_P(
    , DamagedMetafile,
    ::testing::Values(
        DamagedCase{"truncated_emf", "cut.emf",
                    [](const TempFolder& f) {
                        const QByteArray b = validFile(f, true);
                        return b.left(b.size() / 2);
                    },
                    "\"%1\" is a damaged EMF file: the file is truncated"},
        DamagedCase{"truncated_wmf", "cut.wmf",
                    [](const TempFolder& f) {
                        const QByteArray b = validFile(f, false);
                        return b.left(b.size() - 10);
                    },
                    "\"%1\" is a damaged WMF file: the file is truncated"},
        DamagedCase{"emf_record_of_odd_size", "odd.emf",
                    [](const TempFolder& f) {
                        QByteArray b = validFile(f, true);
                        const int second = int(qFromLittleEndian<quint32>(b.constData() + 4));
                        qToLittleEndian<quint32>(6, b.data() + second + 4);
                        return b;
                    },
                    "\"%1\" is a damaged EMF file: a record is damaged"},
        DamagedCase{"wmf_largest_record_past_the_end", "huge.wmf",
                    [](const TempFolder& f) {
                        QByteArray b = validFile(f, false);
                        qToLittleEndian<quint32>(0x7E000008, b.data() + 22 + 12);
                        return b;
                    },
                    "\"%1\" is a damaged WMF file: its header is damaged"},
        DamagedCase{"random_emf", "noise.emf", [](const TempFolder&) { return randomBytes(4096); },
                    "\"%1\" is not an EMF file"},
        DamagedCase{"random_wmf", "noise.wmf", [](const TempFolder&) { return randomBytes(4096); },
                    "\"%1\" is not a WMF file"},
        DamagedCase{"png_named_wmf", "photo.wmf", [](const TempFolder&) { return pngBytes(); },
                    "\"%1\" is not a WMF file: it holds a PNG picture"},
        DamagedCase{"emf_named_wmf", "other.wmf",
                    [](const TempFolder& f) { return validFile(f, true); },
                    "\"%1\" is not a WMF file: it holds an EMF picture"},
        DamagedCase{"wmf_named_emf", "other.emf",
                    [](const TempFolder& f) { return validFile(f, false); },
                    "\"%1\" is not an EMF file: it holds a WMF picture"},
        DamagedCase{"empty_wmf", "empty.wmf", [](const TempFolder&) { return QByteArray(); },
                    "The file \"%1\" is empty"},
        DamagedCase{"empty_emf", "empty.emf", [](const TempFolder&) { return QByteArray(); },
                    "The file \"%1\" is empty"}),
    [](const auto& info) { return std::string(info.param.name); });

// The header's description and its count of the file's bytes are no part of
// the drawing: a description outside the file, or a count larger than the
// file whose records all end before its end-of-file record, must neither be
// followed nor stop the drawing.
TEST_F(MetafileDecoderTest, EmfHeaderPointingOutsideTheFileIsIgnored) {
    const QString path = folder.file(QStringLiteral("described.emf"));
    QByteArray bytes = validFile(folder, true);
    ASSERT_GT(bytes.size(), 88);
    for (const quint32 offset : {quint32(bytes.size()), quint32(bytes.size() - 2), 0x7FFFFFF0u}) {
        qToLittleEndian<quint32>(0, bytes.data() + 60);
        qToLittleEndian<quint32>(offset, bytes.data() + 64);
        qToLittleEndian<quint32>(offset + 4, bytes.data() + 48);
        writeFile(path, bytes);
        const MetafileRendering rendering = renderMetafile(path);
        EXPECT_EQ(rendering.size, MetafileSample().size) << offset;
        EXPECT_TRUE(near(drawn(rendering).pixelColor(100, 75), MetafileSample().color)) << offset;
    }
}

TEST_F(MetafileDecoderTest, MissingFileIsNotHandedToTheHelper) {
    const QString gone = folder.file(QStringLiteral("gone.wmf"));
    EXPECT_EQ(errorOf(gone),
              QStringLiteral("Cannot read \"%1\": No such file or directory").arg(gone));
}

// --- A helper that misbehaves -------------------------------------------

struct HelperCase {
    const char* name;
    const char* script;   // the body of a /bin/sh script standing in for the helper
    const char* expected; // %1, where it stands, for the path
};

void PrintTo(const HelperCase& c, std::ostream* out) {
    *out << c.name;
}

class MisbehavingHelper : public MetafileDecoderTest,
                          public ::testing::WithParamInterface<HelperCase> {};

TEST_P(MisbehavingHelper, GivesAClearErrorWithinTheTimeLimit) {
    const HelperCase& c = GetParam();
    const QString script = folder.file(QStringLiteral("helper.sh"));
    writeFile(script, QByteArray("#!/bin/sh\n") + c.script + '\n');
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString picture = folder.file(QStringLiteral("x.wmf"));
    ASSERT_TRUE(writeWmf(picture));
    const ScopedEnvironment fake("SORTELLO_METAFILE_HELPER", script);
    const ScopedEnvironment limit("SORTELLO_METAFILE_TIMEOUT_MS", QStringLiteral("1000"));

    QElapsedTimer clock;
    clock.start();
    const QString message = errorOf(picture);
    EXPECT_LT(clock.elapsed(), 5000);
    const QString expected = QString::fromUtf8(c.expected);
    EXPECT_TRUE(
        message.contains(expected.contains(QLatin1String("%1")) ? expected.arg(picture) : expected))
        << message.toStdString();
    EXPECT_TRUE(message.contains(picture)) << message.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    , MisbehavingHelper,
    ::testing::Values(
        HelperCase{"crashes", "kill -SEGV $$",
                   "The helper program that draws metafiles stopped unexpectedly on \"%1\" "
                   "(it crashed with signal 11"},
        HelperCase{"runs_out_of_processor_time", "kill -XCPU $$",
                   "(it used more processor time than allowed)"},
        HelperCase{"hangs", "exec sleep 100", "Drawing \"%1\" took too long and was stopped"},
        HelperCase{"hangs_with_output_closed", "exec >&-\nexec sleep 100",
                   "took too long and was stopped"},
        HelperCase{"talks_endlessly", "exec head -c 100000000 /dev/zero",
                   "stopped unexpectedly on \"%1\" (it sent a malformed answer)"},
        HelperCase{"announces_a_huge_drawing", "printf 'OK 10 10 999999999\\n'; exec sleep 100",
                   "sent more than 64 MiB for \"%1\""},
        HelperCase{"sends_more_than_announced", "printf 'OK 10 10 6\\n<svg/>garbage'",
                   "(it sent a malformed answer)"},
        HelperCase{"sends_less_than_announced", "printf 'OK 10 10 100\\n<svg/>'",
                   "(its answer was cut short)"},
        HelperCase{"sends_no_svg", "printf 'OK 10 10 5\\nhello'",
                   "(its answer is not an SVG drawing)"},
        HelperCase{"sends_no_picture", "printf 'OK 10 10 5 picture\\nhello'",
                   "(its answer is not a drawing)"},
        HelperCase{"sends_broken_xml",
                   "s='<svg xmlns=\"http://www.w3.org/2000/svg\"><g a=\"1\" a=\"2\"/></svg>'; "
                   "printf 'OK 10 10 %d\\n%s' ${#s} \"$s\"",
                   "\"%1\" is a damaged WMF file: its records make a drawing that cannot be read"},
        HelperCase{"fails_silently", "exit 3", "stopped unexpectedly on \"%1\" (exit code 3)"},
        HelperCase{"declares_no_size",
                   "s='<svg xmlns=\"http://www.w3.org/2000/svg\"/>'; printf 'OK 0 10 %d\\n%s' "
                   "${#s} \"$s\"",
                   "\"%1\" is a damaged WMF file: it declares a size of 0 x 10 pixels"},
        HelperCase{"reports_an_error", "echo 'ERROR it is broken'",
                   "\"%1\" is a damaged WMF file: it is broken"},
        // The limits reach the helper before its own code runs.
        HelperCase{"reports_its_limits",
                   "echo \"ERROR as=$(ulimit -v) core=$(ulimit -c) cpu=$(ulimit -t)\"",
                   "as=524288 core=0 cpu=10"}),
    [](const auto& info) { return std::string(info.param.name); });

// A well-formed drawing whose records reach far outside any picture is the
// file's fault, not the helper's: the helper did not stop.
TEST_F(MetafileDecoderTest, ADrawingFarOutsideItsPictureIsADamagedFile) {
    QPicture far;
    {
        QPainter painter(&far);
        painter.fillRect(QRect(2'000'000'000, 0, 10, 10), Qt::black);
    }
    const QString drawing = folder.file(QStringLiteral("far.pic"));
    writeFile(drawing, QByteArray(far.data(), qsizetype(far.size())));
    const QString script = folder.file(QStringLiteral("helper.sh"));
    writeFile(script, QStringLiteral("#!/bin/sh\nprintf 'OK 10 10 %1 picture\\n'; cat '%2'\n")
                          .arg(far.size())
                          .arg(drawing)
                          .toUtf8());
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString picture = folder.file(QStringLiteral("x.emf"));
    ASSERT_TRUE(writeEmf(picture));
    const ScopedEnvironment fake("SORTELLO_METAFILE_HELPER", script);

    EXPECT_EQ(
        errorOf(picture),
        QStringLiteral("\"%1\" is a damaged EMF file: its records draw far outside any picture")
            .arg(picture));
}

TEST_F(MetafileDecoderTest, MissingHelperCannotStart) {
    const QString picture = folder.file(QStringLiteral("x.emf"));
    ASSERT_TRUE(writeEmf(picture));
    const QString missing = folder.file(QStringLiteral("nowhere/sortello-metafile"));
    const ScopedEnvironment fake("SORTELLO_METAFILE_HELPER", missing);

    const QString message = errorOf(picture);
    EXPECT_TRUE(message.startsWith(
        QStringLiteral("Cannot start the helper program that draws metafiles (%1): ").arg(missing)))
        << message.toStdString();
}

} // namespace

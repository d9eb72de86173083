// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real WMF and EMF files written with libuemf, for the tests and the benchmark
// of the metafile drawing. Each holds one filled shape without an outline, so
// a test knows which pixels must come out coloured and which stay white.
#include <QByteArray>
#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

namespace sortello::test {

// QuarterPie is the quarter of the ellipse from three to twelve o'clock, the
// way GDI runs arcs: counterclockwise. Bitmap is a 2 x 2 bitmap in the colour
// stretched over the shape's place, for WMF only. For EMF only: Region is a
// region of the shape's upper and lower halves filled with a brush of its
// own (FillRgn), and EmfPlusRectangle a rectangle in EMF+ records alone, the
// way office programs write charts.
enum class MetafileShape { Rectangle, Ellipse, QuarterPie, Bitmap, Region, EmfPlusRectangle };

// EMF only: the brush the shape is drawn with. Hollow is a brush that paints
// nothing (BS_NULL); Unselected leaves the device context's own brush.
enum class EmfBrush { Solid, Hollow, Unselected };

// How a WMF maps its coordinates: scaled to its window, as most writers do,
// or in the placeable header's own units, with no mapping records at all.
enum class WmfMapping { Window, PlaceableUnits };

struct MetafileSample {
    QSize size{200, 150};         // the picture's own size in pixels at 96 dpi
    QRect shape{50, 40, 100, 70}; // where the shape is, in those pixels
    MetafileShape kind = MetafileShape::Rectangle;
    QColor color{200, 30, 40};
    QString text; // written at the top left, 12 pixels high
    // EMF only: the text's UTF-16 units written as glyph indices of the font
    // (ETO_GLYPH_INDEX), the way office programs write laid-out text.
    bool glyphIndices = false;
    // The font's character set (lfCharSet; 0 is ANSI). A WMF holds the text
    // in the set's code page (windows-1251 for 204, Shift_JIS for 128, ...).
    quint8 charset = 0;
    // EMF only: the text placed at the current position (TA_UPDATECP), which
    // a move puts where the text would otherwise be, and written twice.
    bool textAtCurrentPosition = false;
    // EMF only: each character's advance in pixels; 0 is about what the
    // font's own would be.
    int advance = 0;
    // EMF only: logical units to a pixel, through MM_ANISOTROPIC, and the
    // width in those units of a black pen the shape is outlined with (0 for
    // no outline).
    int unitsPerPixel = 1;
    int penWidth = 0;
    WmfMapping mapping = WmfMapping::Window;
    // WMF only: without the placeable header the file says nothing of its
    // size or units; it is then written in pixels.
    bool placeable = true;
    EmfBrush brush = EmfBrush::Solid;
};

// An EMF whose frame is sample.size at 96 dpi and whose bounds are the shape's.
// False when libuemf fails.
bool writeEmf(const QString& path, const MetafileSample& sample = {});

// A placeable WMF of sample.size at 96 dpi.
// False when libuemf fails.
bool writeWmf(const QString& path, const MetafileSample& sample = {});

// All the text a drawing's SVG shows, in document order.
QString textOf(const QByteArray& svg);

} // namespace sortello::test

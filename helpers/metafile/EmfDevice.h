// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The device context an EMF's records act on, played onto a QPainter. The
// records are the file's, so every size, count and offset in them is checked
// against the record before it is used; a record that does not fit is left
// out, as GDI leaves it out.
#include "DrawingReach.h"
#include "MetafileFormat.h"

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QString>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace sortello::metafile {

class EmfPlusPlayer;

// One record's bytes, type and size included, read with bounds checks.
class Record {
public:
    explicit Record(std::string_view bytes) : bytes(bytes) {}
    std::size_t size() const { return bytes.size(); }
    bool has(std::size_t offset, std::size_t length) const {
        return offset <= bytes.size() && length <= bytes.size() - offset;
    }
    // Fields outside the record read as zero.
    std::uint32_t u32(std::size_t offset) const {
        return has(offset, 4) ? readU32(bytes, offset) : 0;
    }
    std::int32_t s32(std::size_t offset) const { return std::int32_t(u32(offset)); }
    std::int16_t s16(std::size_t offset) const {
        return has(offset, 2) ? readS16(bytes, offset) : 0;
    }
    std::uint8_t u8(std::size_t offset) const {
        return has(offset, 1) ? std::uint8_t(bytes[offset]) : 0;
    }
    float f32(std::size_t offset) const;
    QPointF point(std::size_t offset) const { return QPointF(s32(offset), s32(offset + 4)); }
    QColor color(std::size_t offset) const {
        return QColor(u8(offset), u8(offset + 1), u8(offset + 2));
    }
    // count items of itemBytes each from offset, when the record holds them.
    bool holds(std::size_t offset, std::uint64_t count, std::size_t itemBytes) const {
        return offset <= bytes.size() && count <= (bytes.size() - offset) / itemBytes;
    }
    // A span the record gives by offset and length, when it lies inside.
    std::string_view part(std::uint32_t offset, std::uint32_t length) const {
        return has(offset, length) ? bytes.substr(offset, length) : std::string_view();
    }
    std::string_view bytes;
};

struct LogFont {
    std::int32_t height = 0;
    std::int32_t width = 0;
    std::int32_t escapement = 0;
    std::int32_t weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t charset = 0;
    QString face;
};

// A pen as GDI keeps it: a width in logical units, or cosmetic.
struct GdiPen {
    bool null = false;
    QColor color = Qt::black;
    double width = 0; // logical units; 0 is one device pixel
    Qt::PenStyle style = Qt::SolidLine;
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
    bool cosmetic = true;
    QList<qreal> dashes;
    // A geometric pen may paint its width with a bitmap or hatch instead of
    // its colour; NoBrush when it does not.
    QBrush pattern{Qt::NoBrush};
};

struct GdiBrush {
    bool null = false;
    QBrush brush{Qt::white};
    // A hatched brush fills its background in opaque mode.
    bool hatched = false;
};

struct GdiObject {
    enum class Type { None, Pen, Brush, Font, Other } type = Type::None;
    GdiPen pen;
    GdiBrush brush;
    LogFont font;
};

struct DeviceState {
    std::uint32_t mapMode = 1; // MM_TEXT
    QPointF windowOrg, viewportOrg;
    QSizeF windowExt{1, 1}, viewportExt{1, 1};
    QTransform world;
    // Whether the recording device was in GDI's advanced graphics mode,
    // where boxes take in their right and bottom edges. The mode is not
    // recorded, but a world transform works in it alone.
    bool advanced = false;
    GdiPen pen;
    GdiBrush brush;
    LogFont font;
    QColor textColor = Qt::black;
    QColor backColor = Qt::white;
    bool opaqueBack = true;
    std::uint32_t textAlign = 0;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    std::uint32_t rop2 = 13; // R2_COPYPEN
    bool clockwiseArcs = false;
    QPointF position; // logical
    QPointF brushOrigin;
    // In device pixels; none is the whole page.
    std::optional<QPainterPath> clip;
    std::optional<QPainterPath> metaClip;
};

// Plays an EMF's records onto a painter whose coordinates are the picture's.
class EmfDevice {
public:
    EmfDevice(QPainter& painter, const QTransform& deviceToPicture, QSizeF deviceMm,
              QSizeF devicePixels);
    ~EmfDevice();
    EmfDevice(const EmfDevice&) = delete;
    EmfDevice& operator=(const EmfDevice&) = delete;

    void play(std::uint32_t type, const Record& record);
    // Draws what the last records left waiting; called after the last one.
    void finish();
    bool drew() const;
    bool sawEmfPlus() const { return emfPlusSeen; }

private:
    // EmfPlayer.cpp: state and mapping; EmfObjects.cpp: the object table
    bool playState(std::uint32_t type, const Record& r);
    bool playObject(std::uint32_t type, const Record& r);
    bool playMapping(std::uint32_t type, const Record& r);
    void createPen(const Record& r);
    void createExtPen(const Record& r);
    void createBrush(const Record& r);
    void createPatternBrush(const Record& r, bool mono);
    void createFont(const Record& r);
    void selectObject(std::uint32_t index);
    void restoreDc(std::int32_t relative);
    void comment(const Record& r);
    GdiObject* objectAt(std::uint32_t index, bool create);

    // EmfDrawing.cpp: lines, shapes, paths
    bool playShape(std::uint32_t type, const Record& r);
    bool playPath(std::uint32_t type, const Record& r);
    void polyline(const Record& r, bool small, bool fromCurrent, bool bezier, bool closed);
    void polyPoly(const Record& r, bool small, bool closed);
    void polyDraw(const Record& r, bool small);
    void arc(std::uint32_t type, const Record& r);
    void angleArc(const Record& r);
    QPainterPath arcPath(const QRectF& box, QPointF start, QPointF end, std::uint32_t type) const;
    void shape(const QPainterPath& path, bool fill, bool stroke);

    // EmfClipping.cpp: clipping, regions, gradients
    bool playClip(std::uint32_t type, const Record& r);
    bool playRegion(std::uint32_t type, const Record& r);
    void combineClip(const QPainterPath& devicePath, std::uint32_t mode);
    void applyClip();
    void gradientFill(const Record& r);
    QPainterPath region(const Record& r, std::size_t sizeAt, std::size_t dataAt) const;

    // EmfTextOut.cpp
    bool playText(std::uint32_t type, const Record& r);
    void textOut(const Record& r, std::size_t emrText, bool wide, QPointF scale);
    void smallTextOut(const Record& r);
    QFont fontFor(double emSize) const;
    double naturalWidthFactor(const QTransform& toDevice) const;

    // EmfBlits.cpp
    bool playBitmap(std::uint32_t type, const Record& r);
    void setDibitsToDevice(const Record& r);
    QImage bitmap(const Record& r, std::size_t bmiAt, std::size_t usageAt,
                  bool keepAlpha = false) const;
    void blit(const QImage& source, const QRectF& dest, const QRectF& sourceRect,
              std::uint32_t rop);
    void drawBlit(const QImage& source, const QRectF& dest, const QRectF& sourceRect,
                  std::uint32_t rop);
    void flushPaint();

    // Painting in logical units with the context's pen, brush and raster op.
    QTransform logicalToDevice() const;
    double pixelsPerMmX() const;
    QPen qpen() const;
    void patInvert(const QRectF& target);
    QBrush qbrush() const;
    // A brush whose bitmap repeats in device pixels, wherever it is used.
    QBrush inDevicePixels(QBrush brush) const;
    bool beginDrawing(const QTransform& logical);
    void endDrawing() { drawn = true; }
    void setRop(std::uint32_t rop2);
    static QRectF box(const Record& r, std::size_t at);

    QPainter& painter;
    // Shapes, text and bitmaps fill a device pixel from its corner, as GDI
    // fills them.
    QTransform deviceToPicture;
    QSizeF deviceMm;
    QSizeF devicePixels;
    DeviceState dc;
    std::vector<DeviceState> saved;
    std::vector<GdiObject> objects;
    std::optional<QPainterPath> path; // being recorded, logical units
    QPainterPath donePath;            // ended, waiting to be used
    std::optional<QPainterPath> appliedClip;
    // A bitmap ORed or ANDed onto the page, held back until the next record
    // says whether it is the mask of a masked bitmap.
    struct Blit {
        QImage image;
        QRectF dest, source;
        std::uint32_t rop;
    };
    std::optional<Blit> pendingPaint;
    std::optional<QRectF> xoredAt; // where the last bitmap was XORed
    bool clipDirty = false;
    bool drawn = false;
    bool emfPlusSeen = false;
    // Office programs draw in EMF+ records inside comments, some with GDI
    // records beside them that say the same again.
    std::unique_ptr<EmfPlusPlayer> emfPlus;
};

} // namespace sortello::metafile

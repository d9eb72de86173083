// SPDX-License-Identifier: GPL-3.0-or-later
// The clipping region, region fills and gradient fills. GDI keeps the clip in
// device pixels: a rectangle given in logical units is mapped when it is
// set, and later mapping changes leave it where it is.
#include "EmfDevice.h"

#include <QLinearGradient>

#include <algorithm>
#include <cmath>

#include <uemf.h>

namespace sortello::metafile {

namespace {

// A region of more rectangles than this is a hostile one; no writer makes
// them (GDI's own are a few hundred at most).
constexpr std::uint32_t MaxRegionRects = 16384;
constexpr std::uint32_t MaxGradientParts = 65536;
// A triangle of a gradient is cut into this many strips a side, each filled
// with the colour at its middle.
constexpr int TriangleSteps = 16;

// Everything GDI could draw on, for the operations that take from it.
QPainterPath wholePage() {
    QPainterPath page;
    page.addRect(QRectF(-1e7, -1e7, 2e7, 2e7));
    return page;
}

QColor vertexColour(const Record& r, std::size_t at) {
    return QColor(r.u8(at + 9), r.u8(at + 11), r.u8(at + 13));
}

} // namespace

QPainterPath EmfDevice::region(const Record& r, std::size_t sizeAt, std::size_t dataAt) const {
    QPainterPath area;
    area.setFillRule(Qt::WindingFill);
    const std::uint32_t declared = r.u32(sizeAt);
    const std::uint32_t count = r.u32(dataAt + 8);
    if (declared < 32 || count > MaxRegionRects || !r.holds(dataAt + 32, count, 16) ||
        std::uint64_t(count) * 16 + 32 > declared)
        return area;
    for (std::uint32_t i = 0; i < count; ++i) {
        const QRectF rect = box(r, dataAt + 32 + i * 16);
        if (!rect.isEmpty())
            area.addRect(rect);
    }
    return area;
}

void EmfDevice::combineClip(const QPainterPath& devicePath, std::uint32_t mode) {
    const QPainterPath current = dc.clip ? *dc.clip : wholePage();
    switch (mode) {
    case U_RGN_AND:
        dc.clip = dc.clip ? current.intersected(devicePath) : devicePath;
        break;
    case U_RGN_OR:
        if (dc.clip)
            dc.clip = current.united(devicePath);
        break;
    case U_RGN_XOR:
        dc.clip = current.united(devicePath).subtracted(current.intersected(devicePath));
        break;
    case U_RGN_DIFF:
        dc.clip = current.subtracted(devicePath);
        break;
    case U_RGN_COPY:
        dc.clip = devicePath;
        break;
    default:
        return;
    }
    clipDirty = true;
}

void EmfDevice::applyClip() {
    clipDirty = false;
    std::optional<QPainterPath> effective = dc.clip;
    if (dc.metaClip)
        effective = effective ? dc.metaClip->intersected(*effective) : *dc.metaClip;
    if (effective == appliedClip)
        return;
    appliedClip = effective;
    if (!effective) {
        painter.setClipping(false);
        return;
    }
    painter.setWorldTransform(QTransform());
    painter.setClipPath(deviceToPicture.map(*effective), Qt::ReplaceClip);
}

bool EmfDevice::playClip(std::uint32_t type, const Record& r) {
    switch (type) {
    case U_EMR_INTERSECTCLIPRECT:
    case U_EMR_EXCLUDECLIPRECT: {
        QRectF rect = box(r, 8);
        rect.adjust(0, 0, rect.width() >= 1 ? -1 : 0, rect.height() >= 1 ? -1 : 0);
        QPainterPath area;
        area.addRect(rect);
        combineClip(logicalToDevice().map(area),
                    type == U_EMR_INTERSECTCLIPRECT ? U_RGN_AND : U_RGN_DIFF);
        break;
    }
    case U_EMR_EXTSELECTCLIPRGN: {
        const std::uint32_t mode = r.u32(12);
        if (r.u32(8) == 0) {
            // Without a region only a copy means anything: no clip at all.
            if (mode == U_RGN_COPY) {
                dc.clip.reset();
                clipDirty = true;
            }
            break;
        }
        combineClip(region(r, 8, 16), mode);
        break;
    }
    case U_EMR_OFFSETCLIPRGN:
        if (dc.clip) {
            const QTransform toDevice = logicalToDevice();
            const QPointF by = toDevice.map(r.point(8)) - toDevice.map(QPointF(0, 0));
            dc.clip->translate(by);
            clipDirty = true;
        }
        break;
    case U_EMR_SETMETARGN:
        if (dc.clip)
            dc.metaClip = dc.metaClip ? dc.metaClip->intersected(*dc.clip) : *dc.clip;
        dc.clip.reset();
        clipDirty = true;
        break;
    default:
        return false;
    }
    return true;
}

void EmfDevice::gradientFill(const Record& r) {
    const std::uint32_t vertices = r.u32(24);
    const std::uint32_t parts = r.u32(28);
    const std::uint32_t mode = r.u32(32);
    if (vertices == 0 || parts > MaxGradientParts || !r.holds(36, vertices, 16))
        return;
    const std::size_t meshAt = 36 + std::size_t(vertices) * 16;
    const std::size_t partBytes = mode == U_GRADIENT_FILL_TRIANGLE ? 12 : 8;
    if (!r.holds(meshAt, parts, partBytes) || !beginDrawing(logicalToDevice()))
        return;
    painter.setPen(Qt::NoPen);
    auto vertex = [&](std::uint32_t index) { return std::size_t(36) + std::size_t(index) * 16; };
    for (std::uint32_t p = 0; p < parts; ++p) {
        const std::size_t at = meshAt + p * partBytes;
        const std::uint32_t a = r.u32(at), b = r.u32(at + 4);
        const std::uint32_t c = partBytes == 12 ? r.u32(at + 8) : 0;
        if (a >= vertices || b >= vertices || c >= vertices)
            continue;
        const QPointF pa = r.point(vertex(a)), pb = r.point(vertex(b));
        if (!withinReach(painter.worldTransform().mapRect(QRectF(pa, pb).normalized())))
            continue;
        const QColor ca = vertexColour(r, vertex(a)), cb = vertexColour(r, vertex(b));
        if (mode == U_GRADIENT_FILL_RECT_H || mode == U_GRADIENT_FILL_RECT_V) {
            const QRectF rect = QRectF(pa, pb).normalized();
            const bool across = mode == U_GRADIENT_FILL_RECT_H;
            QLinearGradient gradient(pa,
                                     across ? QPointF(pb.x(), pa.y()) : QPointF(pa.x(), pb.y()));
            gradient.setColorAt(0, ca);
            gradient.setColorAt(1, cb);
            painter.fillRect(rect, gradient);
            continue;
        }
        if (mode != U_GRADIENT_FILL_TRIANGLE)
            continue;
        const QPointF pc = r.point(vertex(c));
        const QColor cc = vertexColour(r, vertex(c));
        // Strips of small triangles, each in the colour at its centre: a
        // smooth-looking blend QPainter has no brush for.
        const int n = TriangleSteps;
        auto at3 = [&](double i, double j) {
            return pa + (pb - pa) * (i / n) + (pc - pa) * (j / n);
        };
        auto colourAt = [&](double i, double j) {
            const double wb = i / n, wc = j / n, wa = 1 - wb - wc;
            return QColor::fromRgbF(float(wa * ca.redF() + wb * cb.redF() + wc * cc.redF()),
                                    float(wa * ca.greenF() + wb * cb.greenF() + wc * cc.greenF()),
                                    float(wa * ca.blueF() + wb * cb.blueF() + wc * cc.blueF()));
        };
        for (int i = 0; i < n; ++i) {
            for (int j = 0; i + j < n; ++j) {
                const QPointF up[] = {at3(i, j), at3(i + 1, j), at3(i, j + 1)};
                painter.setBrush(colourAt(i + 1.0 / 3, j + 1.0 / 3));
                painter.drawPolygon(up, 3);
                if (i + j + 1 < n) {
                    const QPointF down[] = {at3(i + 1, j), at3(i + 1, j + 1), at3(i, j + 1)};
                    painter.setBrush(colourAt(i + 2.0 / 3, j + 2.0 / 3));
                    painter.drawPolygon(down, 3);
                }
            }
        }
    }
    endDrawing();
}

bool EmfDevice::playRegion(std::uint32_t type, const Record& r) {
    switch (type) {
    case U_EMR_FILLRGN:
    case U_EMR_FRAMERGN: {
        const bool frame = type == U_EMR_FRAMERGN;
        QPainterPath area = region(r, 24, frame ? 40 : 32);
        if (frame) {
            // The frame is what is left of the region when it shrinks by the
            // frame's width and height from every side.
            const double w = std::abs(r.s32(32)), h = std::abs(r.s32(36));
            QPainterPath inner = area.translated(w, 0)
                                     .intersected(area.translated(-w, 0))
                                     .intersected(area.translated(0, h))
                                     .intersected(area.translated(0, -h));
            area = area.subtracted(inner);
        }
        // The region's own brush, for this fill alone.
        const GdiBrush kept = dc.brush;
        const GdiPen keptPen = dc.pen;
        selectObject(r.u32(28));
        dc.pen.null = true;
        shape(area, true, false);
        dc.brush = kept;
        dc.pen = keptPen;
        break;
    }
    case U_EMR_PAINTRGN: {
        const GdiPen kept = dc.pen;
        dc.pen.null = true;
        shape(region(r, 24, 28), true, false);
        dc.pen = kept;
        break;
    }
    case U_EMR_INVERTRGN:
        if (beginDrawing(logicalToDevice())) {
            painter.setCompositionMode(QPainter::RasterOp_NotDestination);
            painter.fillPath(region(r, 24, 28), Qt::black);
            endDrawing();
        }
        break;
    case U_EMR_GRADIENTFILL:
        gradientFill(r);
        break;
    default:
        return false;
    }
    return true;
}

} // namespace sortello::metafile

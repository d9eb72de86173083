// SPDX-License-Identifier: GPL-3.0-or-later
#include "EmfPlus.h"

#include "DrawingReach.h"
#include "EmfPlusRecords.h"

#include <QPaintDevice>

#include <algorithm>
#include <cmath>

namespace sortello::metafile {

namespace {

// An object split over records is held to this size; the largest real ones
// are embedded pictures.
constexpr std::uint32_t MaxObjectBytes = 64u << 20;
constexpr std::size_t MaxSavedStates = 256;
constexpr std::size_t RecordHeaderBytes = 12;

} // namespace

EmfPlusPlayer::EmfPlusPlayer(QPainter& painter) : painter_(painter) {}

void EmfPlusPlayer::play(std::span<const std::uint8_t> comment, const QTransform& deviceToPicture) {
    device_ = deviceToPicture;
    seen_ = true;
    gdiDraws_ = false;
    std::size_t at = 0;
    while (comment.size() - at >= RecordHeaderBytes) {
        EmfPlusReader in(comment.subspan(at, RecordHeaderBytes));
        const std::uint16_t type = in.u16();
        const std::uint16_t flags = in.u16();
        const std::uint32_t size = in.u32();
        const std::uint32_t dataSize = in.u32();
        if (size < RecordHeaderBytes || size > comment.size() - at ||
            dataSize > size - RecordHeaderBytes)
            return; // the rest cannot be told apart from noise
        if (type == emfplus::GetDC)
            gdiDraws_ = true;
        playRecord(type, flags, comment.subspan(at + RecordHeaderBytes, dataSize));
        at += size;
    }
}

void EmfPlusPlayer::playRecord(std::uint16_t type, std::uint16_t flags,
                               std::span<const std::uint8_t> data) {
    EmfPlusReader in(data);
    switch (type) {
    case emfplus::Header: {
        in.u32(); // version
        in.u32(); // whether the reference device was a screen
        // The record's own flags, not its data, say whether GDI records
        // follow as alternates.
        dual_ = flags & 1;
        const std::uint32_t x = in.u32(), y = in.u32();
        if (in.ok() && x > 0 && y > 0 && x < 10000 && y < 10000)
            dpi_ = EmfPlusDpi{double(x), double(y)};
        return;
    }
    case emfplus::Object:
        defineObject(flags, data);
        return;
    case emfplus::Save:
    case emfplus::BeginContainerNoParams: {
        const std::uint32_t index = in.u32();
        if (in.ok() && (saved_.size() < MaxSavedStates || saved_.count(index)))
            saved_[index] = state_;
        return;
    }
    case emfplus::BeginContainer: {
        const QRectF target = in.rect(false);
        const QRectF source = in.rect(false);
        const std::uint32_t index = in.u32();
        const std::uint32_t unit = flags & 0xFF;
        // World and display units are not allowed here; the reference then
        // leaves the state as it is.
        if (!in.ok() || unit < 2 || source.width() == 0 || source.height() == 0 ||
            (saved_.size() >= MaxSavedStates && !saved_.count(index)))
            return;
        saved_[index] = state_;
        const double ux = emfPlusUnitToPixels(unit, dpi_.x);
        const double uy = emfPlusUnitToPixels(unit, dpi_.y);
        state_.world *= QTransform(ux * target.width() / source.width(), 0, 0,
                                   uy * target.height() / source.height(),
                                   ux * (target.x() - source.x()), uy * (target.y() - source.y()));
        return;
    }
    case emfplus::Restore:
    case emfplus::EndContainer: {
        const auto found = saved_.find(in.u32());
        if (in.ok() && found != saved_.end()) {
            state_ = found->second;
            saved_.erase(found);
        }
        return;
    }
    default:
        break;
    }
    if (type >= emfplus::SetWorldTransform && type <= emfplus::SetPageTransform) {
        setTransform(type, flags, in);
        return;
    }
    if (type >= emfplus::ResetClip && type <= emfplus::OffsetClip) {
        setClip(type, flags, in);
        return;
    }
    bool drawn = false;
    if (type == emfplus::DrawString || type == emfplus::DrawDriverString)
        drawn = drawText(type, flags, in);
    else if (type == emfplus::DrawImage || type == emfplus::DrawImagePoints)
        drawn = drawImage(type, flags, in);
    else if (type >= emfplus::Clear && type <= emfplus::DrawBeziers)
        drawn = drawShape(type, flags, in);
    else
        return;
    drew_ |= drawn;
    // A dual file follows each comment with the same drawing in GDI records:
    // what cannot be drawn here (a metafile inside, say) is drawn from them.
    if (!drawn && dual_)
        gdiDraws_ = true;
}

void EmfPlusPlayer::defineObject(std::uint16_t flags, std::span<const std::uint8_t> data) {
    const std::size_t id = flags & 0xFF;
    const auto type = EmfPlusObjectType((flags >> 8) & 0x7F);
    if (id >= objects_.size())
        return;
    const bool continues = flags & 0x8000;
    if (continues || pendingId_ == int(id)) {
        std::span<const std::uint8_t> part = data;
        if (continues) {
            EmfPlusReader in(data);
            const std::uint32_t total = in.u32();
            if (!in.ok())
                return;
            part = data.subspan(4);
            if (pendingId_ != int(id)) {
                if (total > MaxObjectBytes)
                    return;
                pending_ = Pending{total, {}};
                pendingId_ = int(id);
            }
        }
        const std::size_t room = pending_.total - pending_.bytes.size();
        pending_.bytes.insert(pending_.bytes.end(), part.begin(),
                              part.begin() + std::ptrdiff_t(std::min(room, part.size())));
        // Some writers flag the last part as continued too; its size tells.
        if (continues && pending_.bytes.size() < pending_.total)
            return;
        objects_[id] = readEmfPlusObject(type, pending_.bytes, dpi_);
        pending_ = Pending{};
        pendingId_ = -1;
        return;
    }
    objects_[id] = readEmfPlusObject(type, data, dpi_);
}

void EmfPlusPlayer::setTransform(std::uint16_t type, std::uint16_t flags, EmfPlusReader& in) {
    QTransform change;
    switch (type) {
    case emfplus::SetWorldTransform:
    case emfplus::MultiplyWorldTransform:
        change = in.transform();
        break;
    case emfplus::TranslateWorldTransform: {
        const double dx = in.f32();
        change.translate(dx, in.f32());
        break;
    }
    case emfplus::ScaleWorldTransform: {
        const double sx = in.f32();
        change.scale(sx, in.f32());
        break;
    }
    case emfplus::RotateWorldTransform:
        change.rotate(in.f32());
        break;
    case emfplus::SetPageTransform: {
        const double scale = in.f32();
        const std::uint32_t unit = flags & 0xFF;
        if (in.ok() && unit >= 2 && scale > 0) {
            state_.pageScaleX = scale * emfPlusUnitToPixels(unit, dpi_.x);
            state_.pageScaleY = scale * emfPlusUnitToPixels(unit, dpi_.y);
        }
        return;
    }
    default:
        break;
    }
    if (!in.ok())
        return;
    if (type == emfplus::SetWorldTransform)
        state_.world = change;
    else if (type == emfplus::ResetWorldTransform)
        state_.world.reset();
    else if (flags & emfplus::Append) // applied after the present transform
        state_.world = state_.world * change;
    else
        state_.world = change * state_.world;
}

QRectF EmfPlusPlayer::everything() const {
    const QPaintDevice* device = painter_.device();
    const QRectF all = device ? QRectF(0, 0, device->width(), device->height()) : QRectF();
    return all.adjusted(-1, -1, 1, 1);
}

void EmfPlusPlayer::setClip(std::uint16_t type, std::uint16_t flags, EmfPlusReader& in) {
    const auto mode = CombineMode((flags >> 8) & 0xF);
    if (type == emfplus::ResetClip) {
        state_.clip.reset();
        return;
    }
    if (type == emfplus::OffsetClip) {
        const double dx = in.f32(), dy = in.f32();
        if (in.ok() && state_.clip)
            state_.clip->translate(toPicture().map(QPointF(dx, dy)) -
                                   toPicture().map(QPointF(0, 0)));
        return;
    }
    if (mode > CombineMode::Complement)
        return;
    std::optional<QPainterPath> area;
    if (type == emfplus::SetClipRect) {
        const QRectF rect = in.rect(false);
        if (!in.ok())
            return;
        area.emplace();
        area->addRect(rect);
    } else if (type == emfplus::SetClipPath) {
        const auto* path = objectAs<EmfPlusPath>(flags & 0xFF);
        if (!path)
            return;
        area = path->path;
    } else if (const auto* region = objectAs<EmfPlusRegion>(flags & 0xFF)) {
        area = region->area;
    } else {
        return;
    }
    if (area)
        area = toPicture().map(*area);
    state_.clip = combineAreas(state_.clip, area, mode, everything());
}

QTransform EmfPlusPlayer::toPicture() const {
    return state_.world * QTransform::fromScale(state_.pageScaleX, state_.pageScaleY) * device_;
}

void EmfPlusPlayer::begin(const QTransform& extra) {
    painter_.save();
    // EMF+ records are clipped by their own clip alone: what the GDI records
    // of a GetDC section clipped to ends with that section, as it does in
    // the device context those records drew into.
    painter_.setTransform(QTransform());
    if (state_.clip)
        painter_.setClipPath(*state_.clip, Qt::ReplaceClip);
    else
        painter_.setClipping(false);
    painter_.setTransform(extra * toPicture());
    painter_.setRenderHint(QPainter::Antialiasing);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform);
}

std::optional<QBrush> EmfPlusPlayer::brush(std::uint16_t flags, std::uint32_t idOrColour) const {
    if (flags & emfplus::ColourNotBrush)
        return QBrush(QColor::fromRgba(idOrColour));
    if (const auto* object = objectAs<EmfPlusBrush>(idOrColour))
        return object->brush;
    return std::nullopt;
}

void EmfPlusPlayer::fill(const QPainterPath& path, const QBrush& brush) {
    const QPainterPath near = withinReach(path, toPicture());
    if (near.isEmpty())
        return;
    begin();
    painter_.setPen(Qt::NoPen);
    painter_.setBrush(brush);
    painter_.drawPath(near);
    painter_.restore();
}

namespace {

// The line end's shape placed at `tip`, pointing away from `from`.
QPainterPath placedLineEnd(const EmfPlusLineEnd& end, const QPointF& tip, const QPointF& from) {
    const QRectF box = end.shape.boundingRect();
    const QPointF along = tip - from;
    const double length = std::hypot(along.x(), along.y());
    if (box.width() <= 0 || length <= 0)
        return {};
    const double scale = end.width / box.width();
    const QPointF d = along / length;
    // Its top middle to the origin, sized, moved back by half its height
    // when centred, then its up turned along the line.
    const QTransform place =
        QTransform::fromTranslate(-box.center().x(), -box.top()) *
        QTransform::fromScale(scale, scale) *
        QTransform::fromTranslate(0, end.centred ? -box.height() * scale / 2 : 0) *
        QTransform(-d.y(), d.x(), -d.x(), -d.y(), tip.x(), tip.y());
    return place.map(end.shape);
}

} // namespace

void EmfPlusPlayer::stroke(const QPainterPath& path, const EmfPlusPen& pen) {
    if (!withinReach(toPicture().mapRect(path.boundingRect())))
        return;
    begin();
    painter_.setPen(pen.pen);
    painter_.setBrush(Qt::NoBrush);
    painter_.drawPath(path);
    // Ends are drawn on open figures only, at the path's first and last points.
    const int count = path.elementCount();
    const bool closed = count > 2 && path.elementAt(0) == path.elementAt(count - 1);
    if (count >= 2 && !closed) {
        painter_.setPen(Qt::NoPen);
        painter_.setBrush(pen.pen.brush());
        if (pen.start)
            painter_.drawPath(placedLineEnd(*pen.start, path.elementAt(0), path.elementAt(1)));
        if (pen.end)
            painter_.drawPath(
                placedLineEnd(*pen.end, path.elementAt(count - 1), path.elementAt(count - 2)));
    }
    painter_.restore();
}

} // namespace sortello::metafile

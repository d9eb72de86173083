// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plays EMF+ records (the GDI+ drawing office programs put in EMF comments)
// onto a QPainter. The EMF player hands over each EMF+ comment in turn and
// asks whether the GDI records that follow are to be drawn: in files that
// hold both, they are the same picture again for programs without EMF+.
// Input is hostile: a record that does not fit is skipped, the object table
// holds 64 entries and objects split over records are held to a bounded size.
#include "EmfPlusObjects.h"

#include <QPainter>
#include <QTransform>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace sortello::metafile {

class EmfPlusPlayer {
public:
    explicit EmfPlusPlayer(QPainter& painter);

    // One EMR_COMMENT record's data after its 4-byte "EMF+" identifier: one
    // or more EMF+ records. deviceToPicture maps the recording device's
    // pixels onto the painter.
    void play(std::span<const std::uint8_t> comment, const QTransform& deviceToPicture);
    bool drew() const { return drew_; }
    // Whether the GDI records that follow are alternates to skip: once EMF+
    // records have been played, unless the last comment asked for the device
    // context (GetDC), which the GDI records then draw into, or, in a file
    // that holds both, held a drawing record this player could not draw.
    bool skipGdi() const { return seen_ && !gdiDraws_; }

private:
    struct State {
        QTransform world;
        double pageScaleX = 1; // device pixels per page unit
        double pageScaleY = 1;
        std::optional<QPainterPath> clip; // in picture coordinates; nullopt: none
    };
    struct Pending {
        std::uint32_t total = 0;
        std::vector<std::uint8_t> bytes;
    };

    void playRecord(std::uint16_t type, std::uint16_t flags, std::span<const std::uint8_t> data);
    void defineObject(std::uint16_t flags, std::span<const std::uint8_t> data);
    void setTransform(std::uint16_t type, std::uint16_t flags, EmfPlusReader& in);
    void setClip(std::uint16_t type, std::uint16_t flags, EmfPlusReader& in);
    bool drawShape(std::uint16_t type, std::uint16_t flags, EmfPlusReader& in);
    bool drawText(std::uint16_t type, std::uint16_t flags, EmfPlusReader& in);
    bool drawImage(std::uint16_t type, std::uint16_t flags, EmfPlusReader& in);

    template <typename T> const T* objectAs(std::uint32_t id) const {
        return id < objects_.size() ? std::get_if<T>(&objects_[id]) : nullptr;
    }
    QTransform toPicture() const;
    QRectF everything() const; // the whole painting surface, in picture coordinates
    // Saves the painter and sets the current clip and `extra` then the
    // current transform; the caller restores it.
    void begin(const QTransform& extra = QTransform());
    std::optional<QBrush> brush(std::uint16_t flags, std::uint32_t idOrColour) const;
    void fill(const QPainterPath& path, const QBrush& brush);
    void stroke(const QPainterPath& path, const EmfPlusPen& pen);

    QPainter& painter_;
    QTransform device_;
    EmfPlusDpi dpi_;
    State state_;
    std::map<std::uint32_t, State> saved_;
    std::array<EmfPlusObject, 64> objects_{};
    Pending pending_;
    int pendingId_ = -1;
    bool drew_ = false;
    bool seen_ = false;
    bool dual_ = false;
    bool gdiDraws_ = false;
};

} // namespace sortello::metafile

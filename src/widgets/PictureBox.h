// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The picture control of both panes and of the viewer: it draws the Picture it
// is given by the placement rule and the display options, paints a large JPEG
// band by band while it decodes, keys out a bitmap's transparent colour, and
// plays animated GIFs. It never parses a file itself.
#include "pictures/DecodeAhead.h"
#include "pictures/Picture.h"
#include "widgets/Placement.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

namespace sortello {

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    // Opens path and shows it. On failure the Error propagates and the control
    // keeps showing what it showed before.
    void load(const QString& path);
    // Shows an opened picture (decoding it for the current size first).
    void setPicture(const Picture& picture);
    // Shows an opened picture with an image of it already decoded elsewhere
    // (at least as large as this control wants), without decoding again.
    void setDecoded(const Picture& picture, const QImage& image);
    // The size this control would decode a picture of the given own size at,
    // as values a worker thread may use.
    TargetRule targetRule() const;
    void clear();
    const Picture& picture() const { return shown; }

    const DisplayOptions& options() const { return opts; }
    void setOptions(const DisplayOptions& options);
    void setAutoSize(bool on);
    void setCenter(bool on);
    void setStretch(bool on);
    void setProportional(bool on);
    void setTransparent(bool on);

    // Where the picture is drawn now, in the control's coordinates.
    QRect pictureRect() const;
    QSize sizeHint() const override;

    // Pictures with more pixels than this paint bands while they decode.
    static constexpr qint64 ProgressivePixels = 4'000'000;

Q_SIGNALS:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setOption(bool DisplayOptions::*option, bool on);
    QSize drawSize() const;
    QImage sourceFor(const QSize& size, const DecodeProgress& progress = {});
    QImage keyedOut(const QImage& image) const;
    void applyAutoSize();
    void restartAnimation();
    void nextFrame();
    void invalidate();

    Picture shown;
    DisplayOptions opts;
    QImage source;  // the last decoded image of `shown`, at least the drawn size
    QImage drawn;   // `source` (keyed out) scaled to the drawn size
    QImage partial; // bands of a picture still decoding
    int partialRows = 0;
    QRect partialWhere;
    int frame = 0;
    QTimer animation;
};

} // namespace sortello

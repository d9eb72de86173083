// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/PictureBox.h"

#include "base/Error.h"

#include <QMouseEvent>
#include <QPainter>

namespace sortello {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    animation.setSingleShot(true);
    connect(&animation, &QTimer::timeout, this, &PictureBox::nextFrame);
}

void PictureBox::load(const QString& path) {
    setPicture(Picture::open(path));
}

void PictureBox::setPicture(const Picture& picture) {
    const QRect place = placePicture(contentsRect().size(), picture.size(), opts)
                            .translated(contentsRect().topLeft());
    const QSize target = place.size() * devicePixelRatioF();
    DecodeProgress progress;
    const qint64 pixels = qint64(picture.width()) * picture.height();
    if (picture.kind() == PictureKind::Jpeg && pixels > ProgressivePixels && isVisible()) {
        progress = [this, place](const QImage& image, int rowsDone) {
            partial = image;
            partialWhere = place;
            partialRows = rowsDone;
            repaint();
        };
    }
    QImage decoded;
    try {
        decoded = target.isEmpty() ? QImage() : picture.imageFor(target, progress);
    } catch (...) {
        partial = QImage();
        update();
        throw;
    }
    partial = QImage();
    shown = picture;
    source = decoded;
    frame = 0;
    invalidate();
    applyAutoSize();
    restartAnimation();
}

void PictureBox::setDecoded(const Picture& picture, const QImage& image) {
    partial = QImage();
    shown = picture;
    source = image;
    frame = 0;
    invalidate();
    applyAutoSize();
    restartAnimation();
}

TargetRule PictureBox::targetRule() const {
    return [control = contentsRect().size(), options = opts,
            ratio = devicePixelRatioF()](const QSize& pictureSize) {
        return placePicture(control, pictureSize, options).size() * ratio;
    };
}

void PictureBox::clear() {
    shown = Picture();
    source = QImage();
    animation.stop();
    invalidate();
    applyAutoSize();
}

void PictureBox::setOptions(const DisplayOptions& options) {
    if (options == opts)
        return;
    const bool autoSizeChanged = options.autoSize != opts.autoSize;
    opts = options;
    invalidate();
    if (autoSizeChanged)
        applyAutoSize();
}

void PictureBox::setOption(bool DisplayOptions::*option, bool on) {
    DisplayOptions changed = opts;
    changed.*option = on;
    setOptions(changed);
}

void PictureBox::setAutoSize(bool on) {
    setOption(&DisplayOptions::autoSize, on);
}
void PictureBox::setCenter(bool on) {
    setOption(&DisplayOptions::center, on);
}
void PictureBox::setStretch(bool on) {
    setOption(&DisplayOptions::stretch, on);
}
void PictureBox::setProportional(bool on) {
    setOption(&DisplayOptions::proportional, on);
}
void PictureBox::setTransparent(bool on) {
    setOption(&DisplayOptions::transparent, on);
}

QRect PictureBox::pictureRect() const {
    return placePicture(contentsRect().size(), shown.size(), opts)
        .translated(contentsRect().topLeft());
}

QSize PictureBox::sizeHint() const {
    if (opts.autoSize && shown.width() > 0 && shown.height() > 0)
        return shown.size();
    return QWidget::sizeHint();
}

QSize PictureBox::drawSize() const {
    return pictureRect().size() * devicePixelRatioF();
}

void PictureBox::invalidate() {
    drawn = QImage();
    update();
}

// The decoded image to draw from: the one we have when it still covers the
// size without being far larger, so that resizing a pane does not decode again.
QImage PictureBox::sourceFor(const QSize& size, const DecodeProgress& progress) {
    const bool covers = source.width() >= size.width() && source.height() >= size.height();
    const bool wasteful = source.width() > 2 * size.width() &&
                          source.height() > 2 * size.height() && shown.kind() == PictureKind::Jpeg;
    const bool exact = shown.kind() != PictureKind::Metafile || source.size() == size;
    const bool fullSize = source.size() == shown.size();
    if (!source.isNull() && exact && ((covers && !wasteful) || fullSize))
        return source;
    try {
        source = shown.imageFor(size, progress);
    } catch (const Error&) {
        // The picture opened and decoded once; if another scale fails, keep
        // drawing the image we have rather than nothing.
    }
    return source;
}

QImage PictureBox::keyedOut(const QImage& image) const {
    if (!opts.transparent || shown.kind() != PictureKind::Bitmap || image.isNull())
        return image;
    QImage keyed = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = keyed.pixel(0, keyed.height() - 1) & RGB_MASK;
    for (int y = 0; y < keyed.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(keyed.scanLine(y));
        for (int x = 0; x < keyed.width(); ++x)
            if ((row[x] & RGB_MASK) == key)
                row[x] = 0;
    }
    return keyed;
}

void PictureBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!partial.isNull() && !partialWhere.isEmpty()) {
        const QRect where = partialWhere;
        // Draw the rows decoded so far; the rest of the control stays as it was.
        const double scale = double(where.height()) / partial.height();
        const int rows = qMin(partialRows, partial.height());
        painter.drawImage(QRectF(where.left(), where.top(), where.width(), rows * scale), partial,
                          QRectF(0, 0, partial.width(), rows));
        return;
    }
    const QRect where = pictureRect();
    if (shown.isNull() || where.isEmpty())
        return;
    const QSize size = drawSize();
    if (drawn.isNull() || drawn.size() != size) {
        const auto& frames = shown.frames();
        QImage image = frames.isEmpty() ? sourceFor(size)
                                        : frames[qBound(0, frame, int(frames.size()) - 1)].image;
        image = keyedOut(image);
        // A vector picture declaring a poster's size is drawn at a bounded size;
        // a copy scaled up to its own size would take gigabytes, so the painter
        // scales just the part on screen.
        if (qint64(size.width()) * size.height() > MaxMetafileImagePixels &&
            qint64(size.width()) * size.height() > qint64(image.width()) * image.height()) {
            drawn = QImage();
            painter.drawImage(QRectF(where), image);
            return;
        }
        drawn = image.size() == size
                    ? image
                    : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        drawn.setDevicePixelRatio(devicePixelRatioF());
    }
    painter.drawImage(where.topLeft(), drawn);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
    QWidget::mouseReleaseEvent(event);
}

void PictureBox::applyAutoSize() {
    updateGeometry();
    // A control placed by hand (the viewer's) takes the picture's size itself,
    // as far as its parent allows; one in a layout gets it through sizeHint.
    if (!opts.autoSize || shown.width() <= 0 || shown.height() <= 0)
        return;
    if (parentWidget() && parentWidget()->layout())
        return;
    QSize size = shown.size();
    if (parentWidget())
        size = size.boundedTo(parentWidget()->contentsRect().size());
    resize(size);
}

void PictureBox::restartAnimation() {
    animation.stop();
    const auto& frames = shown.frames();
    if (frames.size() > 1 && isVisible())
        animation.start(qMax(20, frames[qBound(0, frame, int(frames.size()) - 1)].delayMs));
}

void PictureBox::nextFrame() {
    const auto& frames = shown.frames();
    if (frames.size() < 2)
        return;
    frame = (frame + 1) % frames.size();
    invalidate();
    restartAnimation();
}

void PictureBox::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    restartAnimation();
}

void PictureBox::hideEvent(QHideEvent* event) {
    animation.stop();
    QWidget::hideEvent(event);
}

} // namespace sortello

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TFrmSRImageView, the viewer: one picture in a window of its own, at the
// picture's own size where the screen allows, maximised with scroll bars where
// it does not. A left click or any character key closes it; its context menu
// holds the five display options, which the main window carries from one
// viewing to the next.
#include "settings/SettingsTables.h"
#include "widgets/Placement.h"

#include <QColor>
#include <QDialog>
#include <QImage>

class QAction;
class QMenu;
class QScrollArea;

namespace sortello {

class Picture;
class PictureBox;
class Prompts;

class TFrmSRImageView : public QDialog {
    Q_OBJECT
public:
    // `owner` is the window the viewer opens over (the main window).
    explicit TFrmSRImageView(QWidget* owner = nullptr);
    // Plays the closing animation.
    ~TFrmSRImageView() override;

    // Shows a picture; it is decoded at its own size, in full.
    void setPicture(const Picture& picture);

    // The window's own auto-size: its client area follows Image's size.
    bool autoSize() const { return autoSizing; }
    // The five check marks as display options.
    DisplayOptions checkedOptions() const;
    QColor backgroundColour() const;
    // The window's size with its frame; before the window system has framed
    // it, the frame is estimated from the owner's.
    QSize outerSize() const;
    void setBackgroundColour(const QColor& colour);

protected:
    // A key that types a character closes the viewer.
    void keyPressEvent(QKeyEvent* event) override;
    // The scroll box fills the window.
    void resizeEvent(QResizeEvent* event) override;
    // The first show places the viewer over its owner and plays the opening.
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // ---- Controls, named as everywhere else in the program ----
    QScrollArea* ScrollBox;
    PictureBox* Image;
    QMenu* PopupMenu1;
    QAction* MIImgAutoSize;
    QAction* MIImgCenter;
    QAction* MIImgProportional;
    QAction* MIImgStretch;
    QAction* MIImgTransparent;

    // ---- Handlers ----
    void MouseClick();
    void MIImgAutoSizeClick();
    void MIImgCenterClick();
    void MIImgProportionalClick();
    void MIImgStretchClick();
    void MIImgTransparentClick();

    // The opening sets the window's options as the viewer's items would.
    friend void ImageClick(QWidget* owner, Prompts& prompts, const Picture& picture,
                           DisplayOptions& options);
    using Handler = void (TFrmSRImageView::*)();
    static Handler handlerOf(PreviewOption option);

    // The menu item of a view option.
    QAction*& actionOf(PreviewOption option);
    void keepImageAtPictureSize();
    void sizeToContent();
    void updateScrollBars();
    void fitOnScreen();
    void centreOnScreen();

    QWidget* owner;
    bool autoSizing = true;
    bool placed = false;
};

// The option of `options` that a setting of the viewer keeps.
bool& viewerOption(DisplayOptions& options, PreviewOption option);

// The colour of pixel (9, 9) of a 10 x 10 white scratch bitmap with the picture
// drawn at its own size in its top-left corner: the viewer's background, so
// the margins around a centred picture match it near its top-left corner.
QColor scratchBackground(const QImage& picture);

// Opens the viewer on a copy of a shown picture, modally through
// prompts.runModal, starting from `options` and writing the five check marks
// back into it when the viewer closes. Errors decoding the picture at its own
// size propagate as sortello::Error, `options` unchanged.
void ImageClick(QWidget* owner, Prompts& prompts, const Picture& picture, DisplayOptions& options);

} // namespace sortello

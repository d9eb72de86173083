// SPDX-License-Identifier: GPL-3.0-or-later
#include "windows/SRMain.h"

#include "pictures/DecodeAhead.h"

#include "base/Error.h"
#include "base/Prompts.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTables.h"
#include "widgets/ComparisonGrid.h"
#include "widgets/FileListBox.h"
#include "widgets/PictureBox.h"
#include "widgets/Utility.h"
#include "windows/KVAboutVersion.h"
#include "windows/SRImageView.h"
#include "windows/SRSetup.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QSplitter>
#include <QVBoxLayout>
#include <utility>

namespace sortello {

namespace {

constexpr int SplitterThickness = 3;

QFrame* pane(const char* name, QWidget* parent, int innerBorder) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(innerBorder, innerBorder, innerBorder, innerBorder);
    layout->setSpacing(0);
    return frame;
}

QString text(const char* latin1) {
    return QString::fromLatin1(latin1);
}

} // namespace

TFrmSRMain::TFrmSRMain(Prompts& prompts, QString settingsPath, QWidget* parent)
    : QWidget(parent), ask(prompts), iniPath(std::move(settingsPath)), work(prompts),
      ahead(std::make_unique<DecodeAhead>(DecodeAhead::DefaultByteLimit, [this] {
          QMetaObject::invokeMethod(this, &TFrmSRMain::pictureDecoded, Qt::QueuedConnection);
      })) {
    work.setDialogParent(this);
    setObjectName(QStringLiteral("TFrmSRMain"));
    setWindowTitle(ApplicationTitle);
    // The layout's sizes were made for the small font of the dialogs; a larger
    // desktop font would cut the grid's last columns at the opening size.
    setFont(dialogFont(8));
    buildLayout();
    buildMenu();
    StringGrid1->writeCaptions();
    loadSettings();
    qApp->installEventFilter(this);
}

TFrmSRMain::~TFrmSRMain() {
    qApp->removeEventFilter(this);
    if (!saved)
        saveSettings();
}

void TFrmSRMain::buildLayout() {
    // Wide enough at first for every column of the grid, the capture time's
    // among them, beside the file list.
    resize(OpeningWidth, 417);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);

    SplitterFilesImages = new QSplitter(Qt::Horizontal, this);
    SplitterFilesImages->setObjectName(QStringLiteral("SplitterFilesImages"));
    SplitterFilesImages->setHandleWidth(SplitterThickness);
    SplitterFilesImages->setChildrenCollapsible(false);
    outer->addWidget(SplitterFilesImages);

    buildFilePane();
    buildPictureArea();
    SplitterFilesImages->setStretchFactor(0, 0);
    SplitterFilesImages->setStretchFactor(1, 1);
    SplitterFilesImages->setSizes({125, OpeningWidth - 125 - SplitterThickness});
    SplitterFilesMoved->setSizes({1000, 51});
    connectControls();

    // Centred on the desktop at its first size.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FileListBox->setFocus();
    // Lay the panes out now, so that sizes read during creation are real.
    outer->activate();
}

void TFrmSRMain::buildFilePane() {
    PanelFiles = pane("PanelFiles", SplitterFilesImages, 2);
    PanelFiles->setMinimumWidth(20);
    SplitterFilesMoved = new QSplitter(Qt::Vertical, PanelFiles);
    SplitterFilesMoved->setObjectName(QStringLiteral("SplitterFilesMoved"));
    SplitterFilesMoved->setHandleWidth(SplitterThickness);
    SplitterFilesMoved->setChildrenCollapsible(false);
    PanelFiles->layout()->addWidget(SplitterFilesMoved);
    FileListBox = new sortello::FileListBox(SplitterFilesMoved);
    FileListBox->setObjectName(QStringLiteral("FileListBox"));
    ListBoxFilesMoved = new QListWidget(SplitterFilesMoved);
    ListBoxFilesMoved->setObjectName(QStringLiteral("ListBoxFilesMoved"));
    ListBoxFilesMoved->setMinimumHeight(50);
    ListBoxFilesMoved->setUniformItemSizes(true);
    ListBoxFilesMoved->setItemDelegate(new sortello::AccentRoomDelegate(ListBoxFilesMoved));
    // The number of a numbered name sits at its end.
    ListBoxFilesMoved->setTextElideMode(Qt::ElideMiddle);
    SplitterFilesMoved->setStretchFactor(0, 1);
    SplitterFilesMoved->setStretchFactor(1, 0);
}

void TFrmSRMain::buildPictureArea() {
    PanelImages = new QWidget(SplitterFilesImages);
    PanelImages->setObjectName(QStringLiteral("PanelImages"));
    PanelImages->setMinimumWidth(290);
    auto* images = new QVBoxLayout(PanelImages);
    images->setContentsMargins(0, 0, 0, 0);
    images->setSpacing(0);

    Panel5 = new QFrame(PanelImages);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel5->setFixedHeight(81); // the grid and its likeness line
    auto* gridLayout = new QVBoxLayout(Panel5);
    gridLayout->setContentsMargins(1, 1, 1, 1);
    StringGrid1 = new ComparisonGrid(Panel5);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setFixedHeight(79);
    gridLayout->addWidget(StringGrid1, 0, Qt::AlignTop | Qt::AlignLeft);
    images->addWidget(Panel5);

    SplitterNewExisting = new QSplitter(Qt::Vertical, PanelImages);
    SplitterNewExisting->setObjectName(QStringLiteral("SplitterNewExisting"));
    SplitterNewExisting->setHandleWidth(SplitterThickness);
    SplitterNewExisting->setChildrenCollapsible(true);
    images->addWidget(SplitterNewExisting, 1);
    buildPicturePanes();
}

void TFrmSRMain::buildPicturePanes() {
    PanelNewImage = pane("PanelNewImage", SplitterNewExisting, 2);
    PanelNewImage->setMinimumSize(0, 0);
    ImageNew = new PictureBox(PanelNewImage);
    ImageNew->setObjectName(QStringLiteral("ImageNew"));
    PanelNewImage->layout()->addWidget(ImageNew);
    PanelExistingImage = pane("PanelExistingImage", SplitterNewExisting, 2);
    PanelExistingImage->setMinimumSize(0, 0);
    ImageExisting = new PictureBox(PanelExistingImage);
    ImageExisting->setObjectName(QStringLiteral("ImageExisting"));
    PanelExistingImage->layout()->addWidget(ImageExisting);
    ImageExisting->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    ImageNew->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    // The new picture's pane keeps its size; the existing one takes the rest.
    SplitterNewExisting->setStretchFactor(0, 0);
    SplitterNewExisting->setStretchFactor(1, 1);
    SplitterNewExisting->setSizes({164, 1000});
}

void TFrmSRMain::connectControls() {
    connect(FileListBox, &FileListBox::currentItemClicked, this, &TFrmSRMain::FileListBoxClick);
    connect(ListBoxFilesMoved, &QListWidget::itemSelectionChanged, this, [this] {
        movedPickPending = false;
        ListBoxFilesMovedClick();
    });
    connect(ListBoxFilesMoved, &QListWidget::itemPressed, this, [this](QListWidgetItem* item) {
        if (std::exchange(movedPickPending, false) && item->isSelected())
            ListBoxFilesMovedClick();
    });
    connect(ImageNew, &PictureBox::clicked, this, [this] { ImageClick(ImageNew); });
    connect(ImageExisting, &PictureBox::clicked, this, [this] { ImageClick(ImageExisting); });
}

void TFrmSRMain::loadSettings() {
    {
        SettingsFile settings(iniPath);
        work.setSourceFolder(
            settings.ReadText(text(SectionFolders), text(KeySource), QStringLiteral("/")));
        work.folderChars().load(settings);
        work.setDeletedToTrash(
            settings.ReadFlag(text(SectionOptions), text(KeyDeletedToTrash), false));
        work.setListModernFormats(settings.ReadFlag(
            text(SectionFormats), text(KeyListModernFormats), ListModernFormatsByDefault));
        const auto& split = MenuSelectionSettings[0];
        if (settings.ReadFlag(text(SectionMenuSelection), text(split.key), sideBySide))
            SRIBInverseSplitClick();
        for (std::size_t i = 1; i < MenuSelectionSettings.size(); ++i) {
            QAction* item = menuItem(MenuSelectionSettings[i].key);
            const bool on = settings.ReadFlag(
                text(SectionMenuSelection), text(MenuSelectionSettings[i].key), item->isChecked());
            item->setChecked(!on);
        }
        for (const PreviewSetting& setting : MenuSelectionPreviewSettings)
            viewerOption(PreviewOptions, setting.option) = settings.ReadFlag(
                text(SectionMenuSelectionPreview), text(setting.key), setting.defaultOn);
        for (const ShortcutSetting& s : ShortcutSettings)
            applyShortcut(s.key, shortCutFromNumber(settings.ReadNumber(
                                     text(SectionShortcuts), text(s.key), s.defaultCode)));
    }
    work.folderChars().complete();
    for (std::size_t i = 1; i < MenuSelectionSettings.size(); ++i)
        menuItem(MenuSelectionSettings[i].key)->trigger();
    if (work.listSourceFolder())
        showListing();
}

void TFrmSRMain::saveSettings() {
    saved = true;
    try {
        SettingsFile settings(iniPath);
        // Eighteen keys in one replace of the file, not eighteen.
        settings.Hold();
        settings.WriteFlag(text(SectionMenuSelection), text(MenuSelectionSettings[0].key),
                           sideBySide);
        for (std::size_t i = 1; i < MenuSelectionSettings.size(); ++i)
            settings.WriteFlag(text(SectionMenuSelection), text(MenuSelectionSettings[i].key),
                               menuItem(MenuSelectionSettings[i].key)->isChecked());
        const QString preview = text(SectionMenuSelectionPreview);
        for (const PreviewSetting& setting : MenuSelectionPreviewSettings)
            settings.WriteFlag(preview, text(setting.key),
                               viewerOption(PreviewOptions, setting.option));
        settings.Commit();
    } catch (const Error& error) {
        showError(error.message());
    }
}

void TFrmSRMain::SRISetupClick() {
    const std::optional<SetupResult> result = runSetupDialog(this, ask, iniPath);
    if (!result)
        return;
    BusyCursor busy;
    work.folderChars().replace(result->folderChars);
    work.setSourceFolder(result->sourceFolder);
    work.setDeletedToTrash(result->deletedToTrash);
    work.setListModernFormats(result->listModernFormats);
    if (work.listSourceFolder())
        showListing();
    // The about box's key is not the dialog's to change.
    for (int i = 0; i < SetupShortcutCount; ++i)
        applyShortcut(ShortcutSettings[i].key, result->codes[i], false);
}

void TFrmSRMain::ImageClick(PictureBox* image) {
    try {
        // The viewer opens the picture of the entry the user sees selected.
        settleAwaitedPair();
        // Nothing to show before the first file is opened.
        if (image->picture().isNull())
            return;
        sortello::ImageClick(this, ask, image->picture(), PreviewOptions);
    } catch (const Error& error) {
        showError(error.message());
    }
}

void TFrmSRMain::showAbout() {
    ShowAboutVersion(this, ask, {QStringLiteral("HTTP=Homepage"), QStringLiteral("SMTP=E-Mail")},
                     true);
}

void TFrmSRMain::applyOption(Command command, bool on) {
    switch (command) {
    case Command::ShowFilesMoved:
        ListBoxFilesMoved->setVisible(on);
        break;
    case Command::NewAutoSize:
        ImageNew->setAutoSize(on);
        break;
    case Command::NewCenter:
        ImageNew->setCenter(on);
        break;
    case Command::NewStretch:
        ImageNew->setStretch(on);
        break;
    case Command::NewProportional:
        ImageNew->setProportional(on);
        break;
    case Command::NewTransparent:
        ImageNew->setTransparent(on);
        break;
    case Command::ExistingAutoSize:
        ImageExisting->setAutoSize(on);
        break;
    case Command::ExistingCenter:
        ImageExisting->setCenter(on);
        break;
    case Command::ExistingStretch:
        ImageExisting->setStretch(on);
        break;
    case Command::ExistingProportional:
        ImageExisting->setProportional(on);
        break;
    case Command::ExistingTransparent:
        ImageExisting->setTransparent(on);
        break;
    case Command::ExistingHide:
        // The enabled flag remembers "Hide" for the comparison view.
        ImageExisting->setVisible(!on);
        ImageExisting->setEnabled(!on);
        break;
    default:
        break;
    }
}

void TFrmSRMain::SRIBInverseSplitClick() {
    sideBySide = !sideBySide;
    SplitterNewExisting->setOrientation(sideBySide ? Qt::Horizontal : Qt::Vertical);
    // While the window is built its panes have their minimum sizes; halves of
    // those would turn uneven when it grows to its real size on showing.
    if (isVisible())
        splitPanesEvenly();
    else
        splitWhenShown = true;
}

void TFrmSRMain::splitPanesEvenly() {
    splitWhenShown = false;
    PanelImages->setUpdatesEnabled(false);
    const int handle = SplitterNewExisting->handleWidth();
    if (sideBySide) {
        const int width = (PanelImages->width() - handle) / 2;
        SplitterNewExisting->setSizes({width, qMax(0, PanelImages->width() - handle - width)});
    } else {
        const int height = (PanelImages->height() - handle) / 2;
        const int below = SplitterNewExisting->height() - handle - height;
        SplitterNewExisting->setSizes({height, qMax(0, below)});
    }
    PanelImages->setUpdatesEnabled(true);
}

void TFrmSRMain::showError(const QString& message) {
    showApplicationError(ask, this, message);
}

void TFrmSRMain::bringForward() {
    bringApplicationForward(this);
}

void TFrmSRMain::receiveParameters(const QString&) {
    // The forwarded text itself has no use yet; what counts is that a dialog in
    // the way closes as cancelled and the window comes forward.
    closeActiveDialogAsCancelled(this);
    bringApplicationForward(this);
}

void TFrmSRMain::closeEvent(QCloseEvent* event) {
    if (!saved)
        saveSettings();
    animateForm(this, false);
    event->accept();
}

void TFrmSRMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (splitWhenShown)
        splitPanesEvenly();
    animateForm(this, true);
}

} // namespace sortello

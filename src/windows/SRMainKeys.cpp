// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's context menu, its visibility rule and the key handling:
// menu shortcuts in menu order first, then the three window-level bindings.
#include "windows/SRMain.h"

#include "settings/SettingsTables.h"
#include "widgets/FileListBox.h"
#include "widgets/PictureBox.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QSplitter>
#include <algorithm>
#include <cstring>

namespace sortello {

namespace {

int indexOfItem(const char* name) {
    for (std::size_t i = 0; i < PopupMenuItems.size(); ++i)
        if (std::strcmp(PopupMenuItems[i].name, name) == 0)
            return static_cast<int>(i);
    return -1;
}

// Undo keeps the key desktops give it, outside the commands table: a key the
// user gave a command there wins, as it did before undo existed.
constexpr ShortCutCode UndoShortCut = 16384 + 'Z';

} // namespace

void TFrmSRMain::buildMenu() {
    PopupMenuAll = new QMenu(this);
    PopupMenuAll->setObjectName(QStringLiteral("PopupMenuAll"));
    for (std::size_t i = 0; i < PopupMenuItems.size(); ++i) {
        const CommandRow& item = PopupMenuItems[i];
        QAction* action = nullptr;
        if (item.kind == ItemKind::Separator) {
            action = PopupMenuAll->addSeparator();
        } else {
            action = PopupMenuAll->addAction(QString::fromLatin1(item.caption));
            action->setEnabled(item.kind != ItemKind::Header);
            action->setCheckable(item.kind == ItemKind::Check);
        }
        action->setObjectName(QString::fromLatin1(item.name));
        items[i] = action;
        if (item.kind == ItemKind::Command)
            connect(action, &QAction::triggered, this, [this, &item] { runCommand(item.id); });
        if (item.kind == ItemKind::Check)
            connect(action, &QAction::triggered, this,
                    [this, &item](bool on) { applyOption(item.id, on); });
    }
    SRFUndo = new QAction(PopupMenuAll);
    SRFUndo->setObjectName(QStringLiteral("SRFUndo"));
    PopupMenuAll->insertAction(menuItem("SRFShowFilesMoved"), SRFUndo);
    connect(SRFUndo, &QAction::triggered, this, &TFrmSRMain::SRFUndoClick);
    updateUndoItem();
    // The window manager owns the title bar's menu here, so the about box gets
    // its entry at the end of this one, where every target shows it.
    PopupMenuAll->addSeparator()->setObjectName(QStringLiteral("SRIAboutSplit"));
    const CommandRow& aboutRow = CommandTable[commandIndexOf("SRIShowAbout")];
    QAction* about = PopupMenuAll->addAction(captionWithShortcut(aboutRow, aboutRow.defaultCode));
    about->setObjectName(QStringLiteral("SRIAbout"));
    connect(about, &QAction::triggered, this, &TFrmSRMain::showAbout);
    // The items' defaults are the check marks the window starts with.
    for (const auto& setting : MenuSelectionSettings)
        if (QAction* action = menuItem(setting.key))
            action->setChecked(setting.defaultOn);
}

QAction* TFrmSRMain::menuItem(const char* name) const {
    const int at = indexOfItem(name);
    return at < 0 ? nullptr : items[at];
}

ShortCutCode TFrmSRMain::shortcutOf(const char* name) const {
    const int at = indexOfItem(name);
    return at < 0 ? 0 : codes[at];
}

void TFrmSRMain::applyShortcut(const char* key, ShortCutCode code, bool includeAbout) {
    const int row = commandIndexOf(key);
    if (row < 0)
        return;
    switch (CommandTable[row].id) {
    case Command::ShowNew:
        ShowNewShortCut = code;
        return;
    case Command::ShowExisting:
        ShowExistingShortCut = code;
        return;
    case Command::ShowAbout:
        if (includeAbout)
            ShowAboutShortCut = code;
        return;
    default:
        break;
    }
    if (const int at = indexOfItem(key); at >= 0) {
        codes[at] = code;
        items[at]->setText(captionWithShortcut(PopupMenuItems[at], code));
    }
    updateUndoItem();
}

void TFrmSRMain::runCommand(Command command) {
    // A batch lets the window repaint while it runs; nothing else starts then.
    if (work.batchRunning())
        return;
    switch (command) {
    case Command::Setup:
        SRISetupClick();
        break;
    case Command::InverseSplit:
        SRIBInverseSplitClick();
        break;
    default:
        runFileCommand(command);
        break;
    }
}

MenuTarget TFrmSRMain::targetOf(QWidget* widget) const {
    for (QWidget* w = widget; w && w != this; w = w->parentWidget()) {
        if (w == FileListBox)
            return MenuTarget::FileList;
        if (w == ImageNew)
            return MenuTarget::NewImage;
        if (w == ImageExisting)
            return MenuTarget::ExistingImage;
    }
    // Only the window's own surface and the splitter between the file pane and
    // the picture panes have no menu of their own; every pane has.
    const bool splitter =
        widget == SplitterFilesImages ||
        (qobject_cast<QSplitterHandle*>(widget) && widget->parentWidget() == SplitterFilesImages);
    return widget == this || splitter ? MenuTarget::Window : MenuTarget::Other;
}

void TFrmSRMain::prepareMenuFor(MenuTarget target) {
    for (std::size_t i = 0; i < PopupMenuItems.size(); ++i)
        items[i]->setVisible(itemVisibleFor(PopupMenuItems[i], target));
    SRFUndo->setVisible(target == MenuTarget::FileList || target == MenuTarget::Window);
    updateUndoItem();
}

bool TFrmSRMain::undoKeyIsFree() const {
    return std::find(codes.begin(), codes.end(), UndoShortCut) == codes.end() &&
           UndoShortCut != ShowAboutShortCut && UndoShortCut != ShowNewShortCut &&
           UndoShortCut != ShowExistingShortCut;
}

// Names what the item would take back, and its key while no command has it.
void TFrmSRMain::updateUndoItem() {
    const QString shortcut = undoKeyIsFree() ? shortCutToText(UndoShortCut) : QString();
    const QString caption = work.undoText();
    SRFUndo->setText(shortcut.isEmpty() ? caption : caption + QLatin1Char('\t') + shortcut);
    SRFUndo->setEnabled(work.canUndo());
}

void TFrmSRMain::contextMenuEvent(QContextMenuEvent* event) {
    QWidget* target = nullptr;
    if (event->reason() == QContextMenuEvent::Mouse)
        target = childAt(event->pos());
    else
        target = QApplication::focusWidget();
    prepareMenuFor(target ? targetOf(target) : MenuTarget::Window);
    PopupMenuAll->popup(event->globalPos());
    event->accept();
}

bool TFrmSRMain::handleShortcut(ShortCutCode code) {
    if (code == 0)
        return false;
    for (std::size_t i = 0; i < PopupMenuItems.size(); ++i) {
        if (codes[i] == code && PopupMenuItems[i].id != Command::None) {
            items[i]->trigger();
            return true;
        }
    }
    if (code == ShowAboutShortCut) {
        showAbout();
        return true;
    }
    if (code == ShowNewShortCut || code == ShowExistingShortCut) {
        ImageClick(code == ShowNewShortCut ? ImageNew : ImageExisting);
        return true;
    }
    if (code == UndoShortCut) {
        if (work.canUndo())
            SRFUndoClick();
        return true;
    }
    return false;
}

// The window sees every key before the control that has the focus, as long as
// the key is meant for this window and not for an open menu or dialog.
bool TFrmSRMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && watched == ListBoxFilesMoved->viewport())
        movedPickPending = true;
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return QWidget::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this || QApplication::activePopupWidget() ||
        QApplication::activeModalWidget())
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const ShortCutCode code = shortCutFromKeyEvent(key->key(), key->modifiers());
    if (event->type() == QEvent::ShortcutOverride) {
        // Claim our keys so that no widget shortcut takes them first.
        if (code != 0 && wouldHandle(code))
            event->accept();
        return false;
    }
    return handleShortcut(code);
}

bool TFrmSRMain::wouldHandle(ShortCutCode code) const {
    if (code == 0)
        return false;
    for (std::size_t i = 0; i < PopupMenuItems.size(); ++i)
        if (codes[i] == code && PopupMenuItems[i].id != Command::None)
            return true;
    return code == ShowAboutShortCut || code == ShowNewShortCut || code == ShowExistingShortCut ||
           code == UndoShortCut;
}

} // namespace sortello

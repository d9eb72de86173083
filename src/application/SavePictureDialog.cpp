// SPDX-License-Identifier: GPL-3.0-or-later
#include "application/SavePictureDialog.h"

#include "base/Error.h"
#include "base/Prompts.h"
#include "pictures/Picture.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>

namespace sortello {

namespace {

const QSize PreviewSize(200, 200);

} // namespace

SavePictureDialog::SavePictureDialog(QWidget* parent, Prompts& prompts,
                                     const SavePictureRequest& request)
    : QFileDialog(parent, request.title, request.initialFolder), prompts(prompts),
      preview(new QLabel(this)), promptCreate(request.promptCreate) {
    setObjectName(QStringLiteral("SavePictureDialog"));
    // The toolkit's own widgets, so the preview can sit beside the file list.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setSizeGripEnabled(true);
    preview->setObjectName(QStringLiteral("Preview"));
    preview->setFixedSize(PreviewSize);
    preview->setAlignment(Qt::AlignCenter);
    preview->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(preview, 1, grid->columnCount(), grid->rowCount() - 1, 1);

    // A name becomes selected by a click, by the keyboard, by typing it, or
    // by being proposed when the dialog opens; the toolkit's signal for the
    // current item misses the last two, so the preview follows the selection
    // and the name field themselves.
    if (auto* list = findChild<QAbstractItemView*>(QStringLiteral("listView")))
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &SavePictureDialog::updatePreview);
    if (auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        connect(name, &QLineEdit::textChanged, this, &SavePictureDialog::updatePreview);

    setNameFilters(request.filters);
    setDefaultSuffix(request.defaultSuffix);
    setOption(QFileDialog::DontConfirmOverwrite, !request.promptOverwrite);
    if (!request.selectedFilter.isEmpty())
        selectNameFilter(request.selectedFilter);
    if (!request.fileName.isEmpty())
        selectFile(request.fileName);
    updatePreview();
}

void SavePictureDialog::updatePreview() {
    const QString path = selectedFiles().value(0);
    const QFileInfo file(path);
    if (path == previewed && file.isFile())
        return; // the same picture, still there: not decoded again
    previewed = path;
    preview->clear();
    if (!file.isFile())
        return;
    try {
        const Picture picture = Picture::open(path);
        const QImage image = picture.imageFor(PreviewSize);
        preview->setPixmap(QPixmap::fromImage(
            image.scaled(PreviewSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    } catch (const Error&) {
        preview->setText(tr("No preview"));
    }
}

void SavePictureDialog::accept() {
    const QStringList chosen = selectedFiles();
    const QFileInfo file(chosen.value(0));
    // A folder that was picked or typed is opened by the toolkit's dialog.
    if (chosen.isEmpty() || file.isDir())
        return QFileDialog::accept();
    const QString folder = file.absolutePath();
    if (!QFileInfo(folder).isDir()) {
        prompts.message(this, windowTitle(),
                        tr("%1\nThis folder does not exist.\nPlease choose a folder that exists.")
                            .arg(QDir::toNativeSeparators(folder)),
                        MessageIcon::Warning, MessageButton::Ok);
        return;
    }
    if (promptCreate && !file.exists()) {
        const MessageButton answer = prompts.message(
            this, windowTitle(),
            tr("%1 does not exist.\nDo you want to create it?").arg(file.fileName()),
            MessageIcon::Question, MessageButton::Yes | MessageButton::No);
        if (answer != MessageButton::Yes)
            return;
    }
    QFileDialog::accept();
}

} // namespace sortello

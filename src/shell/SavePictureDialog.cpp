// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/SavePictureDialog.h"

#include "pictures/Picture.h"
#include "shell/Error.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>

namespace sortello {

namespace {

const QSize PreviewSize(200, 200);

} // namespace

SavePictureDialog::SavePictureDialog(QWidget* parent, const QString& title, const QString& folder,
                                     bool promptCreate)
    : QFileDialog(parent, title, folder), preview(new QLabel(this)), promptCreate(promptCreate) {
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
    connect(this, &QFileDialog::currentChanged, this, &SavePictureDialog::showPreview);
}

void SavePictureDialog::showPreview(const QString& path) {
    preview->clear();
    if (!QFileInfo(path).isFile())
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
    if (promptCreate && !chosen.isEmpty() && !QFileInfo::exists(chosen.first())) {
        const auto answer =
            QMessageBox::question(this, windowTitle(),
                                  tr("%1 does not exist.\nDo you want to create it?")
                                      .arg(QFileInfo(chosen.first()).fileName()));
        if (answer != QMessageBox::Yes)
            return;
    }
    QFileDialog::accept();
}

} // namespace sortello

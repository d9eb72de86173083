// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// WMF files are converted to SVG by libwmf, which has a history of
// memory-safety faults on hostile files, and EMF files are played into a
// QPicture by code that reads records nobody checked. Both therefore run in a
// small helper program of ours, started once per metafile under a time and a
// memory limit; whatever the helper does, this process only ever sees a bounded
// answer or a clear error.
#include <QByteArray>
#include <QSize>
#include <QString>

namespace sortello {

struct MetafileRendering {
    QSize size;         // the picture's own size in pixels
    QByteArray svg;     // a WMF's drawing as an SVG document
    QByteArray picture; // an EMF's drawing as a QPicture's data
};

// Converts a .wmf or .emf file through the helper. Throws sortello::Error with
// a clear text when the file is damaged or the helper crashes, hangs, runs out
// of its limits or cannot be started.
MetafileRendering renderMetafile(const QString& path);

// Where the helper program is: SORTELLO_METAFILE_HELPER when set, else
// "sortello-metafile" next to the running program.
QString metafileHelperPath();

} // namespace sortello

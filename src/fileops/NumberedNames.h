// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Numbered names for files whose own name is taken in their destination folder:
// the stem, eight digits and the extension in lower case. The choice of the
// number keeps its historical quirks (a run 3, 4 gives 5 though 0 is free),
// because folders sorted over years follow them.
#include <QHash>
#include <QString>
#include <QStringList>
#include <set>

namespace sortello {

struct NumberedName {
    QString stem;
    QString digits;
    QString extension;
};

// Splits a name (or the name part of a path) into stem, trailing digit run and
// extension: "Anna0012.jpg" gives "Anna", "0012", ".jpg".
NumberedName SplitNumberedName(const QString& name);

// The number to give from the used numbers, ascending and without repeats.
qint64 chooseNumber(const std::set<qint64>& used);

// stem + the number padded to eight digits + the extension lower-cased (a to z).
QString numberedName(const QString& stem, qint64 number, const QString& extension);

// The used numbers of every folder a batch run writes into, read once per
// folder and kept up to date with every file the run moves there, so that a
// folder of 100,000 names is not read again for each of 10,000 files.
class UsedNumbersCache {
public:
    // The numbers used in folder by stem + 8 digits + extension.
    const std::set<qint64>& usedNumbers(const QString& folder, const QString& stem,
                                        const QString& extension);
    // Records a name that has just arrived in folder.
    void noteArrival(const QString& folder, const QString& name);

private:
    using Numbers = QHash<QString, std::set<qint64>>; // key: folded stem + "/" + folded extension
    Numbers& scanned(const QString& folder);
    static QString keyOf(const QString& stem, const QString& extension);
    static void record(Numbers& numbers, const QString& name);

    QHash<QString, Numbers> folders;
};

} // namespace sortello

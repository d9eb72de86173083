// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings file: the one INI-style text file that holds every setting
// Sortello keeps. A SettingsFile object serves one batch of reads or writes and
// is released right after; creating it touches nothing, the file is parsed once
// on first use and the parsed lines serve the rest of the batch.
//
// Promises: reads never fail; a missing file, section or key, or a value that is
// not a number, gives the caller's default. Section and key names match without
// regard to case; a line ends at CR LF, CR or LF. Every write is in the file,
// synced to disk, when the call returns (or, after Hold(), when Commit()
// returns), and replaces the file whole, so a crash never leaves it half
// written (SettingsStore.h). A write the system refuses throws sortello::Error
// "Unable to write to <path>" and leaves the file as it was; a name or value
// that would corrupt the file's line structure is refused with an Error before
// anything is written.
#include <QString>
#include <QStringList>
#include <vector>

namespace sortello {

namespace detail {
struct SettingsLine;
}

class SettingsFile {
public:
    explicit SettingsFile(QString path);
    ~SettingsFile();
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    // Blanks around the value are dropped, then one pair of enclosing quotation
    // marks; the result is cut at 2047 bytes. Present but empty gives "".
    QString ReadText(const QString& section, const QString& key, const QString& defaultValue);
    // Signed decimal, or 0x followed by up to eight hex digits.
    qint32 ReadNumber(const QString& section, const QString& key, qint32 defaultValue);
    bool ReadFlag(const QString& section, const QString& key, bool defaultValue);
    // Replaces lines with "key=value" for each key of the section in file order,
    // as many as fit in the 16,384-byte key list of the file's format.
    void ReadKeyLines(const QString& section, QStringList& lines);

    // The value is written unchanged; enclosing it in quotation marks is the
    // caller's business.
    void WriteText(const QString& section, const QString& key, const QString& value);
    void WriteNumber(const QString& section, const QString& key, qint32 value);
    void WriteFlag(const QString& section, const QString& key, bool value);
    // Removes every occurrence of the section with all its lines; a section that
    // is not there leaves the file untouched.
    void RemoveSection(const QString& section);

    // Throws the Error WriteText would for a name or value the file cannot
    // hold, without reading or writing anything.
    void CheckText(const QString& section, const QString& key, const QString& value) const;
    // The writes that follow change the file only at Commit(), all in one
    // replace; a batch given up before Commit() leaves the file as it was.
    void Hold();
    // Throws "Unable to write to <path>" when the system refuses the write.
    void Commit();

private:
    using Lines = std::vector<detail::SettingsLine>;

    const Lines& model();
    void store(Lines next);

    QString path;
    Lines lines;
    bool loaded = false;
    bool readable = true;
    bool byteOrderMark = false;
    bool holding = false;
    bool held = false;
};

} // namespace sortello

// SPDX-License-Identifier: GPL-3.0-or-later
// The version block reader meets any file the about box is pointed at: the
// input goes to the block parser as it is, and as a file to look for an ELF
// section or PE resource in.
#include "FuzzSupport.h"
#include "base/Error.h"
#include "base/VersionInfo.h"

using namespace sortello;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QString path = fuzz::scratchPath(QStringLiteral("program"));
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        parseVersionBlock(bytes);
    } catch (const Error&) {
    }
    if (!fuzz::writeScratch(path, data, size))
        return 0;
    try {
        GetVersionStrings(path);
    } catch (const Error&) {
        // An unrecognised block is reported, not a fault.
    }
    return 0;
}

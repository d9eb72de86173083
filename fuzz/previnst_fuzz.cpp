// SPDX-License-Identifier: GPL-3.0-or-later
// Any local process of the same user can talk to the instance socket; the
// server reads the lines it sends with parseInstanceMessage.
#include "application/PrevInst.h"

#include <cstddef>
#include <cstdint>

using namespace sortello;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView line(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<InstanceMessage> message = parseInstanceMessage(line);
    // Escapes only ever shorten the text.
    if (message && message->text.size() > line.size())
        __builtin_trap();
    return 0;
}

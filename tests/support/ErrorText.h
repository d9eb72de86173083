// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of the error an action throws, for tests that check what a user is told.
#include "base/Error.h"

#include <QString>
#include <functional>

namespace sortello::test {

// The message of the Error `action` throws, or "(no error)".
inline QString messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

} // namespace sortello::test

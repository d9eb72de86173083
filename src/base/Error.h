// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Errors that no operation handles travel as this exception, carrying the exact
// text the user is shown; the window that catches it decides how to show it.
#include <QString>
#include <stdexcept>

namespace sortello {

class Error : public std::runtime_error {
public:
    explicit Error(const QString& message)
        : std::runtime_error(message.toStdString()), text(message) {}
    const QString& message() const noexcept { return text; }

private:
    QString text;
};

} // namespace sortello

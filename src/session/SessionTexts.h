// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Wording the session's commands share between their files.
#include "fileops/FileSystem.h"

#include <QString>

namespace sortello {

// The system's own words for a failure, such as "No space left on device", on
// a line of their own; empty when the failure has no system error.
QString reasonLine(const FileResult& failure);

} // namespace sortello

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The hidden temporaries a move across file systems names in the destination
// folder, briefly, where the file system has no unnamed files or where a file
// is swapped in for the one it replaces. Each is marked as in use by a lock
// held for as long as it exists, so that one left by a killed process tells
// itself apart from one a running move still needs, and is removed the next
// time a folder is listed or moved into.
#include <QByteArray>

namespace sortello {

// ".sortello-" and six random letters or digits.
QByteArray temporaryName();
bool isTemporaryName(const char* name);

// Marks the open temporary as in use until the descriptor is closed; false
// when the file system has no locks.
bool markInUse(int fd);

// Removes the temporary `name` in the folder when it is a plain file that no
// process uses any more; true when it went.
bool removeIfStale(int dirFd, const char* name);

// Removes the stale temporaries of the folder, the first time in a run that a
// move goes into it.
void removeStaleTemporariesOnce(const QByteArray& folder);

} // namespace sortello

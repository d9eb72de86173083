// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/DecodeAhead.h"

#include "base/Misc.h"

#include <QFile>
#include <algorithm>
#include <sys/stat.h>

namespace sortello {

namespace {

// Metafiles are drawn by a helper process, which the UI thread starts.
bool workerMayOpen(const QString& path) {
    const QString lower = asciiLower(extensionOf(path));
    return lower != QLatin1String(".wmf") && lower != QLatin1String(".emf");
}

} // namespace

FileIdentity identityOf(const QString& path) {
    FileIdentity identity;
    identity.path = path;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modifiedNs = qint64(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return identity;
}

DecodeAhead::DecodeAhead(qint64 byteLimit) : limit(byteLimit) {
    for (int i = 0; i < WorkerThreads; ++i)
        workers.emplace_back([this] { work(); });
}

DecodeAhead::~DecodeAhead() {
    {
        const std::lock_guard guard(lock);
        stopping = true;
        waiting.clear();
    }
    wake.notify_all();
    for (std::thread& worker : workers)
        worker.join();
}

bool DecodeAhead::holds(const QString& path) const {
    return running.contains(path) ||
           std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& entry) { return entry.identity.path == path; });
}

void DecodeAhead::want(const QList<DecodeRequest>& requests) {
    {
        const std::lock_guard guard(lock);
        waiting.clear();
        for (const DecodeRequest& request : requests) {
            if (waiting.size() >= MaxQueued)
                break;
            if (!holds(request.path) && workerMayOpen(request.path))
                waiting.append(request);
        }
    }
    wake.notify_all();
}

std::optional<DecodedPicture> DecodeAhead::take(const QString& path, const TargetRule& target) {
    const std::lock_guard guard(lock);
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const Entry& entry) {
        return entry.identity.path == path;
    });
    if (found == entries.end())
        return std::nullopt;
    if (found->identity != identityOf(path)) {
        held -= found->bytes;
        entries.erase(found);
        return std::nullopt;
    }
    if (target(found->decoded.picture.size()) != found->target)
        return std::nullopt;
    return found->decoded;
}

void DecodeAhead::invalidate(const QString& path) {
    const std::lock_guard guard(lock);
    for (auto it = entries.begin(); it != entries.end();) {
        if (it->identity.path == path) {
            held -= it->bytes;
            it = entries.erase(it);
        } else {
            ++it;
        }
    }
    waiting.removeIf([&](const DecodeRequest& request) { return request.path == path; });
}

void DecodeAhead::clear() {
    const std::lock_guard guard(lock);
    entries.clear();
    waiting.clear();
    held = 0;
}

qint64 DecodeAhead::bytesHeld() const {
    const std::lock_guard guard(lock);
    return held;
}

qint64 DecodeAhead::peakBytes() const {
    const std::lock_guard guard(lock);
    return peak;
}

int DecodeAhead::queued() const {
    const std::lock_guard guard(lock);
    return int(waiting.size());
}

void DecodeAhead::waitIdle() {
    std::unique_lock guard(lock);
    idle.wait(guard, [this] { return waiting.isEmpty() && running.isEmpty(); });
}

void DecodeAhead::work() {
    std::unique_lock guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return stopping || !waiting.isEmpty(); });
        if (stopping)
            return;
        const DecodeRequest request = waiting.takeFirst();
        running.append(request.path);
        guard.unlock();
        try {
            decode(request);
        } catch (...) {
            // A damaged file is left to the UI thread, which opens it again
            // and tells the user once, for the entry on screen.
        }
        guard.lock();
        running.removeOne(request.path);
        if (waiting.isEmpty() && running.isEmpty())
            idle.notify_all();
    }
}

// The Picture is this worker's alone until store() hands it to the cache;
// after that only the UI thread uses it.
void DecodeAhead::decode(const DecodeRequest& request) {
    Entry entry;
    entry.identity = identityOf(request.path);
    if (entry.identity.size < 0)
        return;
    entry.decoded.picture = Picture::open(request.path);
    entry.target = request.target(entry.decoded.picture.size());
    if (entry.target.isEmpty())
        return;
    entry.decoded.image = entry.decoded.picture.imageFor(entry.target);
    entry.decoded.look = lookPrintOf(entry.decoded.image);
    if (!request.compareWith.isEmpty()) {
        const FileIdentity other = identityOf(request.compareWith);
        const Sameness sameness = compareBytes(request.compareWith, request.path);
        if (identityOf(request.compareWith) == other) {
            entry.decoded.sameness = sameness;
            entry.decoded.comparedWith = other;
        }
    }
    // A JPEG keeps its file's bytes for later sizes.
    entry.bytes = entry.decoded.image.sizeInBytes() +
                  (entry.decoded.picture.kind() == PictureKind::Jpeg ? entry.identity.size : 0);
    // A file rewritten while it was read may have given a mix of both.
    if (entry.bytes <= limit && identityOf(request.path) == entry.identity)
        store(std::move(entry));
}

void DecodeAhead::store(Entry entry) {
    const std::lock_guard guard(lock);
    std::erase_if(entries, [&](const Entry& old) {
        if (old.identity.path != entry.identity.path)
            return false;
        held -= old.bytes;
        return true;
    });
    held += entry.bytes;
    entries.push_back(std::move(entry));
    while (held > limit && !entries.empty()) {
        held -= entries.front().bytes;
        entries.erase(entries.begin());
    }
    peak = std::max(peak, held);
}

} // namespace sortello

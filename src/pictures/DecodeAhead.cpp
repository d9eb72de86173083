// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures/DecodeAhead.h"

#include "base/Error.h"
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

// What a remembered failure is counted as holding.
constexpr qint64 FailureBytes = 1024;

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

DecodeAhead::DecodeAhead(qint64 byteLimit, std::function<void()> finished)
    : limit(byteLimit), finished(std::move(finished)), jobs(WorkerThreads) {
    for (Job& job : jobs)
        workers.emplace_back([this, &job] { work(job); });
}

DecodeAhead::~DecodeAhead() {
    {
        const std::lock_guard guard(lock);
        stopping = true;
        waiting.clear();
        for (Job& job : jobs)
            job.cancelled = true;
    }
    wake.notify_all();
    for (std::thread& worker : workers)
        worker.join();
}

bool DecodeAhead::readyFor(const QString& path, const TargetRule& target) const {
    return std::any_of(entries.begin(), entries.end(), [&](const Entry& entry) {
        return entry.identity.path == path &&
               (!entry.decoded.error.isEmpty() ||
                target(entry.decoded.picture.size()) == entry.target);
    });
}

// The job decoding path that has not stopped, if any.
DecodeAhead::Job* DecodeAhead::liveJobFor(const QString& path) {
    for (Job& job : jobs)
        if (job.busy && !job.stopped && job.path == path)
            return &job;
    return nullptr;
}

bool DecodeAhead::coming(const QString& path) const {
    return std::any_of(jobs.begin(), jobs.end(),
                       [&](const Job& job) {
                           return job.busy && !job.cancelled && !job.stopped && job.path == path;
                       }) ||
           std::any_of(waiting.begin(), waiting.end(),
                       [&](const DecodeRequest& request) { return request.path == path; });
}

// Stops what is no longer wanted, and makes room for the urgent requests no
// worker is on yet by stopping the least wanted of the rest.
void DecodeAhead::cancelFor(const QList<DecodeRequest>& requests, int urgent) {
    const auto rankOf = [&](const QString& path) {
        for (int i = 0; i < int(requests.size()); ++i)
            if (requests[i].path == path)
                return i;
        return -1;
    };
    int urgentWaiting = 0;
    for (int i = 0; i < urgent; ++i) {
        const DecodeRequest& request = requests[i];
        urgentWaiting += workerMayOpen(request.path) && !liveJobFor(request.path) &&
                         !readyFor(request.path, request.target);
    }
    int free = 0;
    for (Job& job : jobs) {
        const int rank = job.busy ? rankOf(job.path) : -1;
        // A job not yet stopped that is wanted again goes on.
        job.cancelled = job.busy && (rank < 0 || job.stopped);
        job.urgent = rank >= 0 && rank < urgent;
        free += !job.busy || job.cancelled;
    }
    while (urgentWaiting > free) {
        Job* least = nullptr;
        for (Job& job : jobs)
            if (job.busy && !job.cancelled && !job.urgent &&
                (!least || rankOf(job.path) > rankOf(least->path)))
                least = &job;
        if (!least)
            break;
        least->cancelled = true;
        ++free;
    }
}

void DecodeAhead::want(const QList<DecodeRequest>& requests, int urgent) {
    {
        const std::lock_guard guard(lock);
        urgent = std::clamp(urgent, 0, int(requests.size()));
        cancelFor(requests, urgent);
        waiting.clear();
        waitingUrgent = 0;
        for (int i = 0; i < int(requests.size()) && waiting.size() < MaxQueued; ++i) {
            const DecodeRequest& request = requests[i];
            const Job* job = liveJobFor(request.path);
            if ((job && !job->cancelled) || readyFor(request.path, request.target) ||
                !workerMayOpen(request.path))
                continue;
            waiting.append(request);
            waitingUrgent += i < urgent;
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
    if (found->decoded.error.isEmpty() && target(found->decoded.picture.size()) != found->target)
        return std::nullopt;
    return found->decoded;
}

DecodeAhead::Readiness DecodeAhead::readiness(const QString& path, const TargetRule& target) const {
    const std::lock_guard guard(lock);
    if (readyFor(path, target))
        return Readiness::Ready;
    return coming(path) ? Readiness::Coming : Readiness::NotAsked;
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
    dropWaiting([&](const DecodeRequest& request) { return request.path == path; });
}

void DecodeAhead::forgetChanged() {
    const std::lock_guard guard(lock);
    std::erase_if(entries, [&](const Entry& entry) {
        if (entry.identity == identityOf(entry.identity.path))
            return false;
        held -= entry.bytes;
        return true;
    });
}

void DecodeAhead::clear() {
    const std::lock_guard guard(lock);
    entries.clear();
    waiting.clear();
    waitingUrgent = 0;
    held = 0;
}

void DecodeAhead::dropWaiting(const std::function<bool(const DecodeRequest&)>& drop) {
    for (int i = int(waiting.size()) - 1; i >= 0; --i) {
        if (drop(waiting[i])) {
            waiting.removeAt(i);
            waitingUrgent -= i < waitingUrgent;
        }
    }
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
    idle.wait(guard, [this] {
        return waiting.isEmpty() &&
               std::none_of(jobs.begin(), jobs.end(), [](const Job& job) { return job.busy; });
    });
}

void DecodeAhead::waitFor(const QString& path) {
    std::unique_lock guard(lock);
    idle.wait(guard, [&] { return !coming(path); });
}

void DecodeAhead::watchStarts(std::function<void(const QString&)> watcher) {
    const std::lock_guard guard(lock);
    startWatcher = std::move(watcher);
}

void DecodeAhead::work(Job& job) {
    std::unique_lock guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return stopping || !waiting.isEmpty(); });
        if (stopping)
            return;
        const DecodeRequest request = waiting.takeFirst();
        job = Job{request.path, true, waitingUrgent > 0, false, false};
        waitingUrgent = std::max(0, waitingUrgent - 1);
        if (startWatcher)
            startWatcher(request.path);
        guard.unlock();
        try {
            decode(request, job);
        } catch (...) {
            // Stopped, or out of memory: nothing to keep. The UI thread opens
            // a file it still needs itself.
        }
        guard.lock();
        job = Job{};
        idle.notify_all();
        if (finished)
            finished();
    }
}

// Called between bands of rows: a decode nobody wants any more ends here.
void DecodeAhead::stopIfCancelled(Job& job) {
    const std::lock_guard guard(lock);
    if (job.cancelled) {
        job.stopped = true;
        throw Stop{};
    }
}

// The Picture is this worker's alone until store() hands it to the cache;
// after that only the UI thread uses it.
namespace {

// Whether a namesake holds its new file's bytes, kept only when the new file
// stayed as it was while it was read.
void compareWithNewFile(const QString& newFile, const QString& namesake, DecodedPicture& decoded) {
    const FileIdentity other = identityOf(newFile);
    const Sameness sameness = compareBytes(newFile, namesake);
    if (identityOf(newFile) == other) {
        decoded.sameness = sameness;
        decoded.comparedWith = other;
    }
}

} // namespace

void DecodeAhead::decode(const DecodeRequest& request, Job& job) {
    Entry entry;
    entry.identity = identityOf(request.path);
    if (entry.identity.size < 0)
        return;
    try {
        entry.decoded.picture = Picture::open(request.path);
        stopIfCancelled(job);
        entry.target = request.target(entry.decoded.picture.size());
        if (entry.target.isEmpty())
            return;
        entry.decoded.image = entry.decoded.picture.imageFor(
            entry.target, [&](const QImage&, int) { stopIfCancelled(job); });
        entry.decoded.look = lookPrintOf(entry.decoded.image);
        if (!request.compareWith.isEmpty())
            compareWithNewFile(request.compareWith, request.path, entry.decoded);
        // A JPEG, PNG, WebP, TIFF or HEIF keeps its file's bytes for later sizes.
        entry.bytes = entry.decoded.image.sizeInBytes() +
                      (keepsFileBytes(entry.decoded.picture.kind()) ? entry.identity.size : 0);
    } catch (const Error& error) {
        // Told once, by the UI thread, when the entry is on screen.
        entry.decoded = DecodedPicture{{}, {}, error.message()};
        entry.bytes = FailureBytes;
    }
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
    // A decode asked to stop that finished all the same serves the same
    // request waiting again.
    dropWaiting(
        [&](const DecodeRequest& request) { return readyFor(request.path, request.target); });
}

} // namespace sortello

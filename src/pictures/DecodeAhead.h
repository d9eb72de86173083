// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pictures decoded ahead of the key that shows them: worker threads open the
// files the next steps will show and decode them at the size their pane
// wants, into a bounded cache. Each entry remembers the file's identity (path,
// device, inode, size, modification time); a file that changed on disk since
// is never handed out. Workers only read files; a metafile, drawn by a helper
// process, is left to the UI thread as before. The pictures the screen waits
// for go first: they take a worker from less wanted work at once, and work no
// longer wanted stops between bands of rows. Beside the image they work out
// what the comparison view says of a pair: the picture's look, and whether a
// namesake holds the same bytes as its new file.
#include "fileops/SameBytes.h"
#include "pictures/PerceptualHash.h"
#include "pictures/Picture.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace sortello {

// What tells one file version from another without reading it.
struct FileIdentity {
    QString path;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};
// The identity of the file at path now; size -1 when there is none.
FileIdentity identityOf(const QString& path);

// The decoded size a pane wants for a picture of the given own size. It runs
// on a worker, so it holds values, never a widget.
using TargetRule = std::function<QSize(const QSize& pictureSize)>;

struct DecodeRequest {
    QString path;
    TargetRule target;
    QString compareWith = {}; // a new file whose bytes this namesake's are compared with
};

struct DecodedPicture {
    Picture picture;
    QImage image;
    // Why the file could not be shown (its Error's text), or empty.
    QString error;
    std::optional<LookPrint> look = {}; // of the image
    // A namesake's bytes against its new file's, and that file as compared.
    std::optional<Sameness> sameness = {};
    FileIdentity comparedWith = {};
};

class DecodeAhead {
public:
    // Pairs ahead of and behind the current entry worth decoding.
    static constexpr int PairsAhead = 4;
    static constexpr int PairsBehind = 2;
    // Two cores: one worker per core, the UI thread still has the rest.
    static constexpr int WorkerThreads = 2;
    static constexpr qint64 DefaultByteLimit = 256LL * 1024 * 1024;
    // Requests waiting at once; older ones are dropped when more arrive.
    static constexpr int MaxQueued = 2 * (PairsAhead + PairsBehind);

    enum class Readiness { Ready, Coming, NotAsked };

    // `finished` runs on a worker thread each time a decode ends, whatever
    // came of it; it must only pass the news on.
    explicit DecodeAhead(qint64 byteLimit = DefaultByteLimit, std::function<void()> finished = {});
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // Replaces the waiting work by these, most wanted first; the first
    // `urgent` ones are what the screen waits for and start at once, stopping
    // the least wanted running decode when no worker is free. Work for files
    // no longer wanted is dropped before it starts, and a running one stops
    // at its next band of rows.
    void want(const QList<DecodeRequest>& requests, int urgent = 0);
    // The picture of path decoded for `target`, when it is ready and the file
    // is still the one decoded, or the reason it failed (`error`).
    std::optional<DecodedPicture> take(const QString& path, const TargetRule& target);
    // Whether take() would find path decoded for `target`, or a worker is
    // on it or will be.
    Readiness readiness(const QString& path, const TargetRule& target) const;
    // Forgets whatever the cache holds for path.
    void invalidate(const QString& path);
    // Forgets the pictures of files changed, moved or removed since they
    // were decoded, keeping the rest.
    void forgetChanged();
    void clear();

    qint64 bytesHeld() const;
    qint64 peakBytes() const;
    int queued() const;
    // Blocks until no work waits or runs; for tests and measurements.
    void waitIdle();
    // Blocks until path is no longer coming.
    void waitFor(const QString& path);
    // Sees the path of every decode as a worker starts it, under the cache's
    // lock; for tests and measurements.
    void watchStarts(std::function<void(const QString& path)> watcher);

private:
    struct Entry {
        FileIdentity identity;
        QSize target;
        DecodedPicture decoded;
        qint64 bytes = 0;
    };
    // What one worker is doing.
    struct Job {
        QString path;
        bool busy = false;
        bool urgent = false;
        bool cancelled = false; // asked to stop at its next band
        bool stopped = false;   // has stopped; it only tidies up
    };
    struct Stop {};
    void work(Job& job);
    void decode(const DecodeRequest& request, Job& job);
    void stopIfCancelled(Job& job);
    void store(Entry entry);
    bool readyFor(const QString& path, const TargetRule& target) const;
    Job* liveJobFor(const QString& path);
    bool coming(const QString& path) const;
    void cancelFor(const QList<DecodeRequest>& requests, int urgent);
    void dropWaiting(const std::function<bool(const DecodeRequest&)>& drop);

    const qint64 limit;
    mutable std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::function<void()> finished;
    std::function<void(const QString&)> startWatcher;
    QList<DecodeRequest> waiting;
    int waitingUrgent = 0;      // the first ones of `waiting`
    std::vector<Job> jobs;      // one per worker
    std::vector<Entry> entries; // most recently stored last
    qint64 held = 0;
    qint64 peak = 0;
    bool stopping = false;
    std::vector<std::thread> workers;
};

} // namespace sortello

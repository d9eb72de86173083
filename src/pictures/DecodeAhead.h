// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pictures decoded ahead of the key that shows them: worker threads open the
// files the next steps will show and decode them at the size their pane
// wants, into a bounded cache. Each entry remembers the file's identity (path,
// device, inode, size, modification time); a file that changed on disk since
// is never handed out. Workers only read files; a metafile, drawn by a helper
// process, is left to the UI thread as before. Beside the image they work out
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

    explicit DecodeAhead(qint64 byteLimit = DefaultByteLimit);
    ~DecodeAhead();
    DecodeAhead(const DecodeAhead&) = delete;
    DecodeAhead& operator=(const DecodeAhead&) = delete;

    // Replaces the waiting work by these, most wanted first. Work for files
    // no longer wanted is dropped before it starts; a running decode ends
    // into the cache.
    void want(const QList<DecodeRequest>& requests);
    // The picture of path decoded for `target`, when it is ready and the file
    // is still the one decoded. The entry is handed over: the caller owns it.
    std::optional<DecodedPicture> take(const QString& path, const TargetRule& target);
    // Forgets whatever the cache holds for path.
    void invalidate(const QString& path);
    void clear();

    qint64 bytesHeld() const;
    qint64 peakBytes() const;
    int queued() const;
    // Blocks until no work waits or runs; for tests and measurements.
    void waitIdle();

private:
    struct Entry {
        FileIdentity identity;
        QSize target;
        DecodedPicture decoded;
        qint64 bytes = 0;
    };
    void work();
    void decode(const DecodeRequest& request);
    void store(Entry entry);
    bool holds(const QString& path) const;

    const qint64 limit;
    mutable std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    QList<DecodeRequest> waiting;
    QList<QString> running;
    std::vector<Entry> entries; // most recently stored last
    qint64 held = 0;
    qint64 peak = 0;
    bool stopping = false;
    std::vector<std::thread> workers;
};

} // namespace sortello

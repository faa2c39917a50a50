// FindEngine: runs the find off the user-interface thread, through the find index when it is
// current and by the find statement otherwise, and keeps the index built in the background.
#pragma once

#include "find/PageFind.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace dbengine {
class IDbConnection;
}

namespace find {

class FindEngine : public QObject {
    Q_OBJECT
public:
    explicit FindEngine(QObject* parent = nullptr);
    /// Stops the running work and waits for it.
    ~FindEngine() override;

    /// The database file searched ("" when none is open, or for a server database). A missing or
    /// stale index is built in the background; changing the database stops the work on the old one.
    /// A server database is searched by the find statement on a connection of the engine's own,
    /// opened with serverConnection (zSvr::connectionText).
    void setDatabase(const QString& dbFile, const QString& serverConnection = {});
    QString database() const { return m_db; }
    /// Starts a find of text and returns at once; a find still running is stopped and never reports.
    /// False when no database is open (the caller then finds by itself).
    bool find(const QString& text);
    /// Stops the running find; it reports nothing.
    void cancel();
    /// Stops a running index build and waits for it to let go of the database (its read would hold
    /// off a write of ours); setDatabase starts it again.
    void stopBuild();
    bool finding() const { return m_finding; }
    bool indexing() const { return m_indexing; }

Q_SIGNALS:
    /// The rows of the last find started, in the find statement's order; ok false when it failed,
    /// error then says why (the engine's words).
    void found(const QVector<find::FoundPage>& pages, bool ok, const QString& error);
    /// The index build's progress in percent; 100 when it is ready.
    void indexProgress(int percent);
    /// The index build ended without an index (refused, failed or stopped): the find is the
    /// statement's until it is built.
    void indexFailed();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic_bool> cancel, done;
    };
    void start(std::function<void(const std::atomic_bool&)> work, std::shared_ptr<std::atomic_bool>& cancel);
    void reap(bool all);
    void buildIndex();

    /// The server connection of the latest find while its statement runs, which cancel() interrupts.
    struct Running {
        std::mutex lock;
        dbengine::IDbConnection* conn = nullptr;
    };
    void findOnServer(const QString& text, quint64 generation);
    /// Hands a worker's report to the engine's thread, unless the engine is going away.
    void post(std::function<void()> report);
    /// Whether the engine still takes reports; shared with workers that may outlive it.
    struct Alive {
        std::mutex lock;
        bool alive = true;
    };
    std::shared_ptr<Alive> m_alive = std::make_shared<Alive>();

    QString m_db, m_server;
    std::shared_ptr<Running> m_running = std::make_shared<Running>();
    std::vector<Worker> m_workers;
    std::shared_ptr<std::atomic_bool> m_findCancel, m_buildCancel;
    quint64 m_generation = 0;
    bool m_finding = false, m_indexing = false;
};

} // namespace find

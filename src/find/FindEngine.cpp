// FindEngine: finds and index builds on threads of their own; results come back as queued signals.
#include "find/FindEngine.h"

#include "dbengine/DbProvider.h"
#include "docdb/Schema.h"
#include "find/FindIndex.h"
#include "util/Vb.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

namespace find {

FindEngine::FindEngine(QObject* parent) : QObject(parent) {}

FindEngine::~FindEngine() {
    cancel(); // a statement running on a server stops there, so the wait below is short
    if (m_buildCancel)
        *m_buildCancel = true;
    {
        const std::lock_guard lock(m_alive->lock);
        m_alive->alive = false; // from here on no worker reaches this object
    }
    // A worker still busy after a moment (a server that answers nothing, not even the request to
    // stop) is left to end on its own rather than hold the window.
    for (int i = 0;
         i < 100 && std::any_of(m_workers.begin(), m_workers.end(), [](const Worker& w) { return !*w.done; }); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    for (Worker& w : m_workers) {
        if (*w.done)
            w.thread.join();
        else
            w.thread.detach();
    }
}

void FindEngine::post(std::function<void()> report) {
    const std::lock_guard lock(m_alive->lock);
    if (m_alive->alive)
        QMetaObject::invokeMethod(this, std::move(report), Qt::QueuedConnection);
}

void FindEngine::start(std::function<void(const std::atomic_bool&)> work, std::shared_ptr<std::atomic_bool>& cancel) {
    reap(false);
    cancel = std::make_shared<std::atomic_bool>(false);
    auto done = std::make_shared<std::atomic_bool>(false);
    m_workers.push_back({std::thread([work = std::move(work), cancel, done] {
                             work(*cancel);
                             *done = true;
                         }),
                         cancel, done});
}

void FindEngine::reap(bool all) {
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (all || *it->done) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

void FindEngine::setDatabase(const QString& dbFile, const QString& serverConnection) {
    const QString server = dbFile.isEmpty() ? serverConnection : QString();
    if (server != m_server) {
        cancel();
        m_server = server;
    }
    if (dbFile == m_db && (m_indexing || dbFile.isEmpty()))
        return;
    if (dbFile != m_db) {
        cancel();
        if (m_buildCancel)
            *m_buildCancel = true;
        m_indexing = false;
        m_db = dbFile;
    }
    if (!m_db.isEmpty() && !findindex::isCurrent(m_db))
        buildIndex();
}

void FindEngine::buildIndex() {
    m_indexing = true;
    const QString db = m_db;
    start(
        [this, db](const std::atomic_bool& cancel) {
            int last = -1;
            QString error;
            const bool built = findindex::build(
                db, cancel,
                [&](qint64 done, qint64 total) {
                    const int percent = total > 0 ? int(done * 100 / total) : 0;
                    if (percent != last && percent < 100) {
                        last = percent;
                        post([this, db, percent] {
                            if (db == m_db && m_indexing)
                                Q_EMIT indexProgress(percent);
                        });
                    }
                },
                error);
            if (cancel)
                return;
            post([this, db, built] {
                if (db != m_db)
                    return;
                m_indexing = false;
                if (built)
                    Q_EMIT indexProgress(100);
                else
                    Q_EMIT indexFailed();
            });
            // Read back whole once, so that the finds of every process need not check what they read.
            if (built)
                findindex::verifyWhole(db, &cancel);
        },
        m_buildCancel);
}

bool FindEngine::find(const QString& text) {
    if (m_db.isEmpty() && m_server.isEmpty())
        return false;
    cancel();
    const QString db = m_db;
    const quint64 generation = ++m_generation;
    m_finding = true;
    if (db.isEmpty()) {
        findOnServer(text, generation);
        return true;
    }
    start(
        [this, db, text, generation](const std::atomic_bool& cancel) {
            // Through the index when it answers for the database as it is now; else the statement.
            std::optional<QVector<FoundPage>> pages = findindex::find(db, text, cancel);
            const bool stale = !pages;
            QString error;
            if (!pages && !cancel)
                pages = findindex::scan(db, text, cancel, &error);
            if (cancel)
                return;
            post([this, generation, stale, error, ok = pages.has_value(), rows = pages.value_or(QVector<FoundPage>())] {
                if (generation != m_generation)
                    return; // a later find or a closed database: this one is not wanted
                m_finding = false;
                Q_EMIT found(rows, ok, error);
                if (stale && !m_indexing && !m_db.isEmpty() && !findindex::isCurrent(m_db))
                    buildIndex(); // the database changed: the index follows it
            });
        },
        m_findCancel);
    return true;
}

void FindEngine::findOnServer(const QString& text, quint64 generation) {
    m_running = std::make_shared<Running>(); // this find's own, so that an older one never clears it
    start(
        [this, server = m_server, text, generation, running = m_running](const std::atomic_bool& cancel) {
            QString error;
            std::unique_ptr<dbengine::IDbConnection> conn = dbengine::DbProviders::open(server, error);

            std::optional<QVector<FoundPage>> pages;
            if (conn && !cancel) {
                {
                    const std::lock_guard lock(running->lock);
                    running->conn = conn.get();
                }
                const QString condition = findCondition(text);
                dbengine::DbRows rows;
                if (conn->query(condition.isEmpty() ? docdb::sql::kFindAll
                                                    : docdb::sql::kFindWhere + condition + docdb::sql::kFindOrder,
                                rows, error)) {
                    pages.emplace();
                    for (const QVariantList& row : rows.rows)
                        if (const std::optional<qint32> no = util::pageNumber(row.value(0)))
                            pages->push_back({*no, util::CStr(row.value(1))});
                }
                const std::lock_guard lock(running->lock);
                running->conn = nullptr;
            }
            if (cancel)
                return;
            if (!conn && error.isEmpty())
                error = QStringLiteral("the connection to the server is lost");
            post([this, generation, error, ok = pages.has_value(), rows = pages.value_or(QVector<FoundPage>())] {
                if (generation != m_generation)
                    return;
                m_finding = false;
                Q_EMIT found(rows, ok, error);
            });
        },
        m_findCancel);
}

void FindEngine::stopBuild() {
    if (!m_indexing || !m_buildCancel)
        return;
    *m_buildCancel = true;
    m_indexing = false;
    // The build notices at its next check, a few thousand steps of SQLite later.
    for (auto it = m_workers.begin(); it != m_workers.end(); ++it) {
        if (it->cancel == m_buildCancel) {
            it->thread.join();
            m_workers.erase(it);
            break;
        }
    }
}

void FindEngine::cancel() {
    ++m_generation;
    m_finding = false;
    if (m_findCancel)
        *m_findCancel = true;
    // A statement running on the server stops there too, rather than running to its end.
    const std::lock_guard lock(m_running->lock);
    if (m_running->conn)
        m_running->conn->interrupt();
}

} // namespace find

// FindIndex: a fast stand-in for the find statement over an SQLite document database. The index is
// a copy of every page's plain text (ASCII letters lower-cased, as LIKE compares them) with the
// pages in title order, kept in the user's cache folder and never in the database. It is used only
// while the database file is unchanged since it was built.
#pragma once

#include "dbengine/DbProvider.h"
#include "find/LikeMatch.h"
#include "find/PageFind.h"

#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string_view>

namespace find {

/// What changes whenever any program writes the database: the file's size and times (of its last
/// change of bytes and of its last change of any kind, to the nanosecond, folded into one number),
/// SQLite's change counter in its header, and the size and times of its write-ahead log.
struct FileStamp {
    qint64 size = -1, timesNs = 0, walSize = -1, walTimesNs = 0;
    quint32 counter = 0;
    bool operator==(const FileStamp&) const = default;
    static FileStamp of(const QString& dbFile);
};

namespace findindex {

/// The index file of a database in the user's cache folder, named by the database's full path.
QString indexPath(const QString& dbFile);
/// Builds the index anew from the database's own read-only connection. progress(done, total) is
/// called now and then; false when cancelled, when the database changed meanwhile, or on failure.
/// Every read obeys the command time-out (a read that gives no row for that long fails, and
/// timedOut says so): an msDoc that never ends fails as a read error does.
bool build(const QString& dbFile, const std::atomic_bool& cancel, const std::function<void(qint64, qint64)>& progress,
           QString& error, bool* timedOut = nullptr);
/// Whether an index exists that was built from the database as it is now.
bool isCurrent(const QString& dbFile);
/// The find through the index: the statement's rows in its order. Nothing when there is no current
/// index, the words are beyond what the index answers, or when cancelled.
std::optional<QVector<FoundPage>> find(const QString& dbFile, const QString& text, const std::atomic_bool& cancel);
/// Reads the whole index back and checks every block: when all are as written it is marked so, and
/// the finds of every process take it as it is until it changes in any way (a damaged one goes, to
/// be built anew). Without the mark each find checks the blocks it reads.
bool verifyWhole(const QString& dbFile, const std::atomic_bool* cancel = nullptr);
/// Keeps the index of the open database (dbFile() names it) current across the program's own writes
/// that change tbTree alone, as a rename does (the index holds msDoc alone): an index current before
/// such a write is stamped with the file as the write left it, unless another connection wrote in
/// between, whose change is then never answered from it.
dbengine::WriteWatch ownWriteWatch(std::function<QString()> dbFile);
/// The find statement itself on a read-only connection of its own (usable off the user-interface
/// thread); nothing when it fails (error says why) or is cancelled.
std::optional<QVector<FoundPage>> scan(const QString& dbFile, const QString& text, const std::atomic_bool& cancel,
                                       QString* error = nullptr);

} // namespace findindex
} // namespace find

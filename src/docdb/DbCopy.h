// DbCopy: copies a document database between a .txdb file and a server database (dbtext-copy).
#pragma once

#include "dbengine/DbProvider.h"

#include <QString>

#include <functional>
#include <memory>

namespace docdb {

/// Opens one end of a copy: a data link (.udl) names a server database; any other path is a
/// document database file. A target file that does not exist (or is empty) is made under another
/// name, `partial`, so that an interrupted copy never leaves a half-filled file under the target's
/// name: finishCopy puts it in place. partial is "" when the copy goes into the target itself.
std::unique_ptr<dbengine::IDbConnection> openCopyEnd(const QString& path, bool target, QString& partial,
                                                     QString& error);
/// After a copy into `partial`: on success it becomes the target; otherwise it is removed.
bool finishCopy(const QString& partial, const QString& target, bool copied, QString& error);

/// Copies the tables tbTree, msDoc, msDxml and kaUsr with all their columns and rows from one
/// database into another that holds no tables yet, in one transaction: the target ends with all
/// of it or with nothing. Row counts are compared after the copy; the indexes the reader's
/// statements use are made. progress(done, total) counts rows; note(text) tells of the steps after
/// the rows (the indexes can take minutes on a large database).
bool copyDatabase(dbengine::IDbConnection& from, dbengine::IDbConnection& to,
                  const std::function<void(qint64, qint64)>& progress, QString& error,
                  const std::function<void(const QString&)>& note = {});

} // namespace docdb

// DbCopy: copies a document database between a .txdb file and a server database (dbtext-copy).
#pragma once

#include "platform/DbProvider.h"

#include <QString>

#include <functional>
#include <memory>

namespace docdb {

/// Opens one end of a copy: a data link (.udl) names a server database; any other path is a
/// document database file. A target file that does not exist is made (and `made` set).
std::unique_ptr<platform::IDbConnection> openCopyEnd(const QString& path, bool target, bool& made, QString& error);

/// Copies the tables tbTree, msDoc, msDxml and kaUsr with all their columns and rows from one
/// database into another that holds no tables yet, in one transaction: the target ends with all
/// of it or with nothing. Row counts are compared after the copy; the indexes the reader's
/// statements use are made. progress(done, total) counts rows; note(text) tells of the steps after
/// the rows (the indexes can take minutes on a large database).
bool copyDatabase(platform::IDbConnection& from, platform::IDbConnection& to,
                  const std::function<void(qint64, qint64)>& progress, QString& error,
                  const std::function<void(const QString&)>& note = {});

} // namespace docdb

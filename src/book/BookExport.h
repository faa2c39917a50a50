// BookExport: a branch of the tree (or the whole database) written as one book: a PDF whose outline
// mirrors the tree and whose page links lead to the pages inside it, or one self-contained HTML file.
#pragma once

#include <QString>
#include <QVector>

#include <functional>

namespace docdb {
class zSvr;
}

namespace book {

/// One placement of the exported tree.
struct Entry {
    QString title; // the placement's title
    qint32 no = 0; // its page
    int depth = 0; // 0 for the top of the book
    bool own = false; // the page is exported here; otherwise the entry points to where it is
};

/// What a book holds: its title, its tree, and each exported page once, in the order of the entries
/// that export them.
struct Branch {
    QString title;
    QVector<Entry> entries;
    QVector<qint32> pages;
};

/// The branch of page `root` (the page itself first, then everything below it in tree order), or
/// with root 0 the whole database. Each page is exported at its first placement that is no link
/// (with what lies below it); a link placement, a second placement and one that would close a cycle
/// only point to it. A page held through link placements alone is exported at the first of them. Rows hidden from the run-through are left out with
/// everything below them, unless all is true. False with error when the tree cannot be read or
/// root is no page (noSuchPage then says so).
bool readBranch(docdb::zSvr& svr, qint32 root, bool all, Branch& branch, QString& error, bool* noSuchPage = nullptr);

/// Told after each page (done of total); returning false cancels the export.
using Progress = std::function<bool(int done, int total)>;

/// Writes the branch to file: a PDF for ".pdf", one HTML file for ".htm" and ".html". The file is
/// written beside its place and put there only when whole: a failed or cancelled export leaves no
/// file (and an existing one as it was). False with reason.
bool writeBook(docdb::zSvr& svr, const Branch& branch, const QString& file, const Progress& progress,
               QString& reason);

/// The kind of book a file name asks for: 1 PDF, 2 HTML, 0 neither.
int bookKind(const QString& file);

} // namespace book

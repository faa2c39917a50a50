// DocDbWriter: writes document database files (the sample database and the tests' fixtures).
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

namespace samples {

/// One page document (a row of msDoc).
struct PageRow {
    qint32 no = 0;
    QString title;
    std::optional<QByteArray> obDoc; // stored document bytes; nullopt = Null
    QString txDoc;                   // plain text (filled from obDoc when empty and a document is given)
    QDateTime updated;               // msDoc.dyUdt
    std::optional<int> boCod;        // nullopt = Null
};

/// One placement of a page in the tree (a row of tbTree).
struct TreeRow {
    qint32 parent = 0;
    qint32 child = 0;
    qint32 order = 0;
    QString title;
    int boLnk = 0;
    int boHide = 0;
    QDateTime updated;
};

/// A whole document database.
struct DocDbContent {
    QVector<PageRow> pages;
    QVector<TreeRow> edges;
    QVector<QPair<qint32, QString>> dxml; // msDxml rows
    bool markerTable = true;              // create kaUsr
    int markerRows = 1;                   // rows in kaUsr
};

/// The plain text of a stored page (HTML in Qt's rich-text subset, or plain text). Needs a
/// QGuiApplication.
QString plainTextOf(const QByteArray& stored);

/// Writes content to path as a new SQLite document database (an existing file is replaced).
/// Dates are stored as "yyyy-MM-dd hh:mm:ss" text in DATETIME columns; texts are bound as text.
bool writeDocDb(const QString& path, const DocDbContent& content, QString& error);

/// Reads the readable source of a database: "tree.txt", "pages/N.html" and "dxml/N.xml" under dir.
/// tree.txt has one placement per line, "N | title | attributes", indented two spaces a level;
/// attributes: link, hide, code, null, date=yyyy-MM-dd hh:mm:ss. Lines starting with "#" are comments.
bool readSource(const QString& dir, DocDbContent& content, QString& error);

} // namespace samples

// PageFind: the find over the plain text of every page, shared by the find pane and `dbtext --find`.
#pragma once

#include <QString>
#include <QVector>

namespace docdb {
class zSvr;
}

namespace find {

/// One page the find lists: its number and its title.
struct FoundPage {
    qint32 no = 0;
    QString title;
    bool operator==(const FoundPage&) const = default;
};

/// The search condition for a text: "txDoc Like '%w%' " per blank-separated word, joined by " And ";
/// "" for none. Single quotes are doubled so that a word is searched for as typed; "%" and "_" stay
/// wildcards, and every other character ("?" and "!" included) is text.
QString findCondition(const QString& text);

/// The pages whose text holds every word of text (all pages for none), ordered by title. A read that
/// fails gives no pages and, when ok is given, false in it.
QVector<FoundPage> findPages(docdb::zSvr& svr, const QString& text, bool* ok = nullptr);

} // namespace find

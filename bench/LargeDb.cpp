// LargeDb: a deterministic generator of large document databases.
#include "bench/LargeDb.h"

#include "samples/builder/DocDbWriter.h"

#include <QFile>

namespace bench {

QString largeDb(const QString& path, int pages, int fanout, int bytes) {
    if (QFile::exists(path))
        return path;
    samples::DocDbContent content;
    const QString words[] = {QStringLiteral("文書"),  QStringLiteral("検索"), QStringLiteral("ツリー"),
                             QStringLiteral("Alpha"), QStringLiteral("表示"), QStringLiteral("印刷"),
                             QStringLiteral("設定"),  QStringLiteral("beta"), QStringLiteral("保存")};
    quint32 seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    for (int no = 1; no <= pages; ++no) {
        samples::PageRow p;
        p.no = no;
        p.title = QStringLiteral("ページ %1").arg(no);
        QString html = QStringLiteral("<html><body><h2>%1</h2><p>").arg(p.title);
        while (html.toUtf8().size() < bytes) {
            html += words[next() % 9] + QLatin1Char(' ');
            if (next() % 40 == 0)
                html += QStringLiteral("</p><p>");
        }
        html += QStringLiteral("<a href=\"TG_%1\">次へ</a></p></body></html>").arg(no % pages + 1);
        p.obDoc = html.toUtf8();
        p.boCod = 0;
        p.updated = QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(no * 60);
        content.pages << p;
        samples::TreeRow e;
        e.child = no;
        e.parent = no <= fanout ? 0 : (no - 1) / fanout;
        e.order = no;
        e.title = p.title;
        e.updated = p.updated;
        content.edges << e;
    }
    QString error;
    samples::writeDocDb(path, content, error);
    return path;
}

QString wideNodeDb(const QString& path, int children, bool codeNode) {
    if (QFile::exists(path))
        return path;
    samples::DocDbContent content;
    content.pages.reserve(children + 1);
    content.edges.reserve(children + 1);
    for (int no = 1; no <= children + 1; ++no) {
        samples::PageRow p;
        p.no = no;
        p.title = no == 1 ? QStringLiteral("親") : QStringLiteral("子 %1").arg(no);
        p.obDoc = QByteArray("<p>") + QByteArray::number(no) + "</p>";
        p.boCod = codeNode && no == 1 ? 1 : 0; // a code node lists its children in the code list
        p.updated = QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(no);
        content.pages << p;
        samples::TreeRow e;
        e.child = no;
        e.parent = no == 1 ? 0 : 1;
        e.order = no;
        e.title = p.title;
        content.edges << e;
    }
    QString error;
    samples::writeDocDb(path, content, error);
    return path;
}

} // namespace bench

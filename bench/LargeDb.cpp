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

/// Pages of about `bytes` of text from a mixed vocabulary with a long tail of rare words; page 1
/// has 5,000 children, the rest hang below the top in groups of 50.
void mixedTextDb(const QString& path, int pages, int bytes) {
    const QStringList common = {
        QStringLiteral("データベース"), QStringLiteral("の"),       QStringLiteral("設定"), QStringLiteral("文書"),
        QStringLiteral("検索"),         QStringLiteral("表示"),     QStringLiteral("する"), QStringLiteral("ファイル"),
        QStringLiteral("option"),       QStringLiteral("function"), QStringLiteral("the"),  QStringLiteral("value"),
        QStringLiteral("Command"),      QStringLiteral("印刷"),     QStringLiteral("は"),   QStringLiteral("コマンド"),
        QStringLiteral("directory"),    QStringLiteral("および"),   QStringLiteral("user"), QStringLiteral("Linux")};
    quint32 seed = 4242;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    samples::DocDbContent content;
    content.pages.reserve(pages);
    for (int no = 1; no <= pages; ++no) {
        samples::PageRow p;
        p.no = no;
        p.title = QStringLiteral("頁 %1").arg(next() % (pages / 2 + 1));
        p.obDoc = QByteArray("<html><body><p>") + QByteArray::number(no) + "</p></body></html>";
        QString text;
        text.reserve(bytes);
        while (text.size() * 2 < bytes) { // about 2 bytes a character, mixed
            const quint32 r = next();
            if (r % 100 < 3) // a rare word: one of 50,000 made-up ones
                text += QStringLiteral("rw%1x ").arg(next() % 50000);
            else if (r % 100 < 6)
                text += QStringLiteral("語%1 ").arg(next() % 20000);
            else
                text += common[int(next() % quint32(common.size()))] + QLatin1Char(' ');
            if (r % 37 == 0)
                text += QLatin1Char('\n');
        }
        p.txDoc = text;
        content.pages << p;
        samples::TreeRow e;
        e.child = no;
        e.parent = no == 1 ? 0 : no <= 5001 ? 1 : 0;
        e.order = no;
        e.title = p.title;
        content.edges << e;
    }
    QString error;
    if (!samples::writeDocDb(path, content, error))
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(error));
}

} // namespace bench

// Tests of the book export: the branch read from the tree, the PDF read back by independent readers
// (pypdf for the outline and the links, pdftotext for the text), the HTML file's anchors, a cancelled
// export, and `dbtext --export` as a process.
#include "book/BookExport.h"
#include "docdb/zSvr.h"
#include "samples/builder/DocDbWriter.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "util/zClt.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using testsupport::edge;

samples::PageRow page(qint32 no, const QString& title, const QString& body) {
    samples::PageRow p;
    p.no = no;
    p.title = title;
    p.obDoc = (QStringLiteral("<html><body>") + body + QStringLiteral("</body></html>")).toUtf8();
    return p;
}

/// A small manual: a book page, two chapters (the second long enough for several sheets), a section
/// placed twice (once as a link), a placement that would close a cycle, a hidden page and a page
/// outside the branch.
samples::DocDbContent manual() {
    QString longChapter = QStringLiteral("<p>第2章の本文。<a href=\"TG_2\">第1章へ</a></p>");
    for (int i = 0; i < 120; ++i)
        longChapter += QStringLiteral("<p>第2章の段落 %1 です。</p>").arg(i);
    samples::DocDbContent c;
    c.pages << page(1, QStringLiteral("手引き"),
                    QStringLiteral("<p>手引きの表紙。<a href=TG_3>第2章</a> と <a "
                                   "href=\"http://example.com/book?a=1\">外の案内</a> と <a href=\"TG_6\">外の頁</a></p>"))
            << page(2, QStringLiteral("第1章"), QStringLiteral("<p>第1章の本文 alpha。</p>"))
            << page(3, QStringLiteral("第2章"), longChapter)
            << page(4, QStringLiteral("節"), QStringLiteral("<p>節の本文 beta。<a href='TG_x_2'>章へ</a></p>"))
            << page(5, QStringLiteral("隠し"), QStringLiteral("<p>隠しの本文。</p>"))
            << page(6, QStringLiteral("外"), QStringLiteral("<p>外の本文。</p>"));
    c.edges << edge(0, 1, 1, QStringLiteral("手引き")) << edge(1, 2, 1, QStringLiteral("第1章"))
            << edge(1, 3, 2, QStringLiteral("第2章")) << edge(2, 4, 1, QStringLiteral("節"))
            << edge(1, 5, 3, QStringLiteral("隠し"), 0, 1) << edge(3, 4, 1, QStringLiteral("節へのリンク"), 1)
            << edge(4, 2, 1, QStringLiteral("第1章 (もう一度)")) << edge(0, 6, 2, QStringLiteral("外"));
    return c;
}

class BookExport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        db = testsupport::writeDb(tmp.path(), QStringLiteral("manual.txdb"), manual());
        bool ok = false;
        svr.D_StDcDb(db, ok);
        ASSERT_TRUE(ok);
    }
    /// The PDF as pypdf reads it: title, sheets, outline (title, depth, sheet) and links.
    QJsonObject readPdf(const QString& file) {
        static const char* const script = R"(
import sys, json
from pypdf import PdfReader
r = PdfReader(sys.argv[1])
out = {"title": r.metadata.title, "sheets": len(r.pages), "outline": [], "links": []}
def walk(items, depth):
    for it in items:
        if isinstance(it, list):
            walk(it, depth + 1)
        else:
            out["outline"].append([it.title, depth, r.get_destination_page_number(it)])
walk(r.outline, 0)
for i, p in enumerate(r.pages):
    annots = p.get("/Annots")
    for a in (annots.get_object() if annots is not None else []):
        act = a.get_object().get("/A")
        if act is None:
            continue
        if act["/S"] == "/URI":
            out["links"].append([i, "uri", act["/URI"]])
        elif act["/S"] == "/GoTo":
            out["links"].append([i, "goto", r.get_page_number(act["/D"][0].get_object())])
print(json.dumps(out, ensure_ascii=False))
)";
        QProcess py;
        py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), file});
        py.waitForFinished(60000);
        const QByteArray out = py.readAllStandardOutput();
        EXPECT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(out).object();
    }
    QTemporaryDir tmp;
    QString db;
    testsupport::FakeMessageBox box;
    util::zClt clt;
    docdb::zSvr svr{box, clt};
};

TEST_F(BookExport, TheBranchHoldsEachPageOnceCutsCyclesAndLeavesHiddenRowsOut) {
    book::Branch b;
    QString error;
    ASSERT_TRUE(book::readBranch(svr, 1, false, b, error)) << error.toStdString();
    EXPECT_EQ(b.title, QStringLiteral("手引き"));
    EXPECT_EQ(b.pages, (QVector<qint32>{1, 2, 4, 3}));
    QStringList tree;
    for (const book::Entry& e : b.entries)
        tree << QStringLiteral("%1%2 %3%4").arg(QString(e.depth, QLatin1Char(' ')), e.title).arg(e.no).arg(e.own ? "" : " →");
    EXPECT_EQ(tree, (QStringList{QStringLiteral("手引き 1"), QStringLiteral(" 第1章 2"), QStringLiteral("  節 4"),
                                 QStringLiteral("   第1章 (もう一度) 2 →"), QStringLiteral(" 第2章 3"),
                                 QStringLiteral("  節へのリンク 4 →")}));
    ASSERT_TRUE(book::readBranch(svr, 1, true, b, error));
    EXPECT_EQ(b.pages, (QVector<qint32>{1, 2, 4, 3, 5})); // asked for all: the hidden page too
    ASSERT_TRUE(book::readBranch(svr, 0, false, b, error));
    EXPECT_EQ(b.pages, (QVector<qint32>{1, 2, 4, 3, 6})); // the whole database
    EXPECT_EQ(b.title, QStringLiteral("manual"));
    EXPECT_FALSE(book::readBranch(svr, 99, false, b, error));
    EXPECT_FALSE(error.isEmpty());
    // The sample database: a link placement of 印刷 comes before its own placement, which exports it.
    docdb::zSvr sample{box, clt};
    bool ok = false;
    sample.D_StDcDb(testsupport::sampleDb(), ok);
    ASSERT_TRUE(ok);
    ASSERT_TRUE(book::readBranch(sample, 0, true, b, error));
    QStringList printing;
    for (const book::Entry& e : b.entries)
        if (e.no == 23)
            printing << e.title + (e.own ? QString() : QStringLiteral(" →"));
    EXPECT_EQ(printing, (QStringList{QStringLiteral("印刷(ﾌｧｲﾙﾒﾆｭｰから) →"), QStringLiteral("印刷")}));
    EXPECT_EQ(b.pages.count(23), 1);
}

TEST_F(BookExport, ThePdfHasTheTreeAsOutlineLinksBetweenItsPagesAndEveryText) {
    book::Branch b;
    QString error;
    ASSERT_TRUE(book::readBranch(svr, 1, false, b, error));
    const QString pdf = tmp.filePath(QStringLiteral("book.pdf"));
    QList<int> told;
    ASSERT_TRUE(book::writeBook(svr, b, pdf, [&](int done, int) { told << done; return true; }, error))
        << error.toStdString();
    EXPECT_EQ(told, (QList<int>{0, 1, 2, 3, 4}));
    const QJsonObject read = readPdf(pdf);
    EXPECT_EQ(read[QStringLiteral("title")].toString(), QStringLiteral("手引き"));
    // Sheets: the book page, the first chapter and the section one each, then the long chapter.
    const int chapter2 = 3;
    ASSERT_GT(read[QStringLiteral("sheets")].toInt(), chapter2 + 1);
    const QJsonArray outline = read[QStringLiteral("outline")].toArray();
    QStringList got;
    for (const QJsonValue& v : outline) {
        const QJsonArray item = v.toArray();
        got << QStringLiteral("%1/%2/%3").arg(item[0].toString()).arg(item[1].toInt()).arg(item[2].toInt());
    }
    EXPECT_EQ(got, (QStringList{QStringLiteral("手引き/0/0"), QStringLiteral("第1章/1/1"), QStringLiteral("節/2/2"),
                                QStringLiteral("第1章 (もう一度)/3/1"), QStringLiteral("第2章/1/3"),
                                QStringLiteral("節へのリンク/2/2")}));
    // Page links inside the book lead to their page's first sheet; the others stay as stored.
    QSet<QString> links;
    for (const QJsonValue& v : read[QStringLiteral("links")].toArray()) {
        const QJsonArray l = v.toArray();
        links << QStringLiteral("%1 %2 %3").arg(l[0].toInt()).arg(l[1].toString(), l[2].toVariant().toString());
    }
    EXPECT_TRUE(links.contains(QStringLiteral("0 goto 3"))) << QStringList(links.values()).join(' ').toStdString();
    EXPECT_TRUE(links.contains(QStringLiteral("0 uri http://example.com/book?a=1")));
    EXPECT_TRUE(links.contains(QStringLiteral("0 uri TG_6"))); // a page outside the book: verbatim
    EXPECT_TRUE(links.contains(QStringLiteral("2 goto 1")));    // "TG_x_2" from the section
    EXPECT_TRUE(links.contains(QStringLiteral("3 goto 1")));
    // The text of every page, and nothing of the hidden one or the one outside.
    int code = -1;
    const QString text = testsupport::runProgram(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}, &code);
    ASSERT_EQ(code, 0);
    for (const char* words : {"手引きの表紙", "第1章の本文", "節の本文", "第2章の段落 119"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(words))) << words;
    EXPECT_FALSE(text.contains(QStringLiteral("隠しの本文")));
    EXPECT_FALSE(text.contains(QStringLiteral("外の本文")));
    int fonts = -1;
    EXPECT_TRUE(testsupport::runProgram(QStringLiteral("pdffonts"), {pdf}, &fonts).contains(QStringLiteral(" yes ")));
}

TEST_F(BookExport, TheHtmlFileLinksItsOwnAnchorsAndNeedsNoOtherFile) {
    book::Branch b;
    QString error;
    ASSERT_TRUE(book::readBranch(svr, 1, false, b, error));
    const QString html = tmp.filePath(QStringLiteral("book.html"));
    ASSERT_TRUE(book::writeBook(svr, b, html, {}, error)) << error.toStdString();
    const QString text = QString::fromUtf8(testsupport::readBytes(html));
    QSet<QString> ids;
    static const QRegularExpression idRe(QStringLiteral("\\bid=\"([^\"]+)\""));
    for (auto it = idRe.globalMatch(text); it.hasNext();)
        ids << it.next().captured(1);
    static const QRegularExpression hrefRe(QStringLiteral("\\b(href|src)=\"([^\"]*)\""));
    QStringList internal, outside;
    for (auto it = hrefRe.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString target = m.captured(2);
        if (target.startsWith(QLatin1Char('#')))
            internal << target.mid(1);
        else if (!target.startsWith(QLatin1String("data:")))
            outside << target;
    }
    for (const QString& id : internal)
        EXPECT_TRUE(ids.contains(id)) << id.toStdString();
    EXPECT_GE(internal.count(QStringLiteral("dbtext-p3")), 2); // the table of contents and the book page's link
    // An address stays; a page outside the book is no link (its data kept), so nothing points away.
    EXPECT_EQ(outside, QStringList{QStringLiteral("http://example.com/book?a=1")});
    EXPECT_TRUE(text.contains(QStringLiteral("data-dbtext-link=\"TG_6\"")));
    EXPECT_TRUE(text.contains(QStringLiteral("<a href=\"#dbtext-p2\">"))); // from "TG_x_2" in single quotes
    EXPECT_TRUE(text.contains(QStringLiteral("<a href=\"#dbtext-p3\">第2章</a> と"))); // from TG_3 without quotes
    EXPECT_EQ(text.count(QStringLiteral("<section class=\"page\"")), 4);
    EXPECT_FALSE(text.contains(QStringLiteral("隠しの本文")));
}

TEST_F(BookExport, ACancelledOrFailedExportLeavesNoFileAndKeepsAnOldOne) {
    book::Branch b;
    QString error;
    ASSERT_TRUE(book::readBranch(svr, 1, false, b, error));
    for (const QString& name : {QStringLiteral("c.pdf"), QStringLiteral("c.html")}) {
        const QString file = tmp.filePath(name);
        EXPECT_FALSE(book::writeBook(svr, b, file, [](int done, int) { return done < 2; }, error));
        EXPECT_FALSE(QFile::exists(file)) << name.toStdString();
        testsupport::writeBytes(file, "old");
        EXPECT_FALSE(book::writeBook(svr, b, file, [](int done, int) { return done < 2; }, error));
        EXPECT_EQ(testsupport::readBytes(file), QByteArray("old"));
    }
    EXPECT_FALSE(book::writeBook(svr, b, tmp.filePath(QStringLiteral("book.doc")), {}, error));
    EXPECT_TRUE(error.contains(QStringLiteral(".pdf")));
    EXPECT_FALSE(book::writeBook(svr, b, tmp.filePath(QStringLiteral("no folder/book.pdf")), {}, error));
}

TEST_F(BookExport, TheCommandLineExportsWithoutAWindowAndExitsAsDocumented) {
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../../src/app/dbtext");
    ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
    auto run = [&](const QStringList& args, QString* out = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("HOME"), tmp.path());
        p.setProcessEnvironment(env);
        p.start(program, args);
        p.waitForFinished(120000);
        if (out)
            *out = QString::fromUtf8(p.readAllStandardOutput());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    };
    QString out;
    const QString pdf = tmp.filePath(QStringLiteral("whole.pdf"));
    EXPECT_EQ(run({QStringLiteral("--export"), QStringLiteral("0"), pdf, db}, &out), 0);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(readPdf(pdf)[QStringLiteral("outline")].toArray().size(), 7);
    EXPECT_EQ(run({QStringLiteral("--export"), QStringLiteral("3"), tmp.filePath(QStringLiteral("ch.html")), db}), 0);
    EXPECT_TRUE(QFile::exists(tmp.filePath(QStringLiteral("ch.html"))));
    EXPECT_EQ(run({QStringLiteral("--export"), QStringLiteral("1"), tmp.filePath(QStringLiteral("no/x.pdf")), db}), 1);
    EXPECT_EQ(run({QStringLiteral("--export"), QStringLiteral("1"), tmp.filePath(QStringLiteral("x.doc")), db}), 2);
    EXPECT_EQ(run({QStringLiteral("--export"), QStringLiteral("1"), pdf}), 2);
    EXPECT_EQ(run({QStringLiteral("--export"), QStringLiteral("a"), pdf, db}), 2);
    EXPECT_EQ(run({QStringLiteral("--export"), QStringLiteral("1"), pdf, tmp.filePath(QStringLiteral("none.txdb"))}), 2);
}

} // namespace

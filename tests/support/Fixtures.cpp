// Fixtures: builders shared by the test folders.
#include "support/Fixtures.h"

#include "docdb/DbCopy.h"
#include "support/PgCluster.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace testsupport {

namespace {
QDateTime at(int day, int hour) {
    return QDateTime(QDate(2026, 11, day), QTime(hour, 0, 0));
}

samples::PageRow page(qint32 no, const QString& title, const QString& html, std::optional<int> cod = 0,
                      QDateTime when = {}) {
    samples::PageRow p;
    p.no = no;
    p.title = title;
    if (!html.isNull())
        p.obDoc = html.toUtf8();
    p.boCod = cod;
    p.updated = when.isValid() ? when : at(1, 9);
    return p;
}

} // namespace

samples::TreeRow edge(qint32 parent, qint32 child, qint32 order, const QString& title, int link, int hide) {
    samples::TreeRow e;
    e.parent = parent;
    e.child = child;
    e.order = order;
    e.title = title;
    e.boLnk = link;
    e.boHide = hide;
    e.updated = at(2, 10);
    return e;
}

samples::DocDbContent smallTree() {
    samples::DocDbContent s;
    s.pages << page(5, QStringLiteral("五"), QStringLiteral("<p>五のページ。Alpha 検索語 と 日本語。</p>"))
            << page(8, QStringLiteral("八"), QStringLiteral("<p>コードページ八 beta</p>"), 1)
            << page(9, QStringLiteral("九"), QStringLiteral("<p>九のページ ALPHA gamma</p>"), std::nullopt)
            << page(12, QStringLiteral("十二"), QStringLiteral("<p>十二 検索語 Beta</p>"))
            << page(20, QStringLiteral("二十"), QStringLiteral("<p>二十</p>"), 0, at(3, 8))
            << page(21, QStringLiteral("二十一"), QStringLiteral("<p>二十一</p>"), 0, at(4, 15))
            << page(30, QStringLiteral("三十"), QStringLiteral("<p>三十 it's quoted</p>"))
            << page(40, QStringLiteral("四十"), QString());
    // Insertion order differs from inSrt so that ordering is exercised.
    s.edges << edge(0, 8, 2, QStringLiteral("八")) << edge(0, 5, 1, QStringLiteral("五"))
            << edge(0, 40, 3, QStringLiteral("四十")) << edge(5, 12, 2, QStringLiteral("十二"))
            << edge(5, 9, 1, QStringLiteral("九")) << edge(12, 30, 1, QStringLiteral("三十"), 0, 1)
            << edge(8, 21, 1, QStringLiteral("二十一")) << edge(8, 20, 2, QStringLiteral("二十"))
            << edge(8, 9, 3, QStringLiteral("九へのリンク"), 1);
    s.dxml << qMakePair(qint32(1), QStringLiteral("<?xml version=\"1.0\"?><root>一</root>"));
    return s;
}

QString writeDb(const QString& dir, const QString& name, const samples::DocDbContent& content) {
    const QString path = dir + QLatin1Char('/') + name;
    QString error;
    EXPECT_TRUE(samples::writeDocDb(path, content, error)) << error.toStdString();
    // Run against the server, a test opens the same content there through a data link.
    return onServer() ? serverCopy(path) : path;
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

samples::DocDbContent treeWithPage5(const QString& body) {
    samples::DocDbContent content = smallTree();
    content.pages[0].obDoc = (QStringLiteral("<html><body>") + body + QStringLiteral("</body></html>")).toUtf8();
    content.pages[0].txDoc.clear();
    return content;
}

QString paragraphs(int n, const QString& text) {
    QString html;
    for (int i = 0; i < n; ++i)
        html += QStringLiteral("<p>%1 %2</p>").arg(text).arg(i);
    return html;
}

QString runProgram(const QString& program, const QStringList& args, int* code) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    if (code)
        *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString sampleDb() {
    return qEnvironmentVariable("DBTEXT_SAMPLE_DB");
}

bool onServer() {
    return qEnvironmentVariable("DBTEXT_TEST_BACKEND") == QLatin1String("postgres");
}

QString serverCopy(const QString& path, int port) {
    PgCluster* pg = PgCluster::shared();
    if (!pg) {
        ADD_FAILURE() << "no test server: " << PgCluster::reason().toStdString();
        return path;
    }
    static int serial = 0;
    const QString name = QStringLiteral("t%1_%2").arg(::getpid()).arg(++serial);
    QString error;
    if (!pg->createDatabase(name, error)) {
        ADD_FAILURE() << error.toStdString();
        return path;
    }
    const QString udl = path + QStringLiteral(".udl");
    writeUdl(udl, pg->initString(name));
    QString partial;
    auto from = docdb::openCopyEnd(path, false, partial, error);
    auto to = from ? docdb::openCopyEnd(udl, true, partial, error) : nullptr;
    if (!to || !docdb::copyDatabase(*from, *to, {}, error))
        ADD_FAILURE() << "copying " << path.toStdString() << " to the server: " << error.toStdString();
    if (port > 0)
        writeUdl(udl, pg->initString(name, port));
    return udl;
}

} // namespace testsupport

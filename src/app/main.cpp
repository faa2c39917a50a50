// dbtext: opens a document database and reports what it holds (the window arrives later).
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "platform/MessageBox.h"
#include "util/Vb.h"
#include "util/zClt.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

/// Messages of the console stage: printed on standard error with the program's title.
class ConsoleMessageBox final : public platform::IMessageBox {
public:
    platform::MsgAnswer show(const QString& text, platform::MsgButtons) override {
        std::fprintf(stderr, "%s: %s\n", qPrintable(m_title), qPrintable(text));
        return platform::MsgAnswer::Ok;
    }
    QString title() const override { return m_title; }
    void setTitle(const QString& t) override { m_title = t; }

private:
    QString m_title = QStringLiteral("DB Text");
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: dbtext DATABASE\n");
        return 2;
    }
    ConsoleMessageBox messages;
    util::zClt files;
    docdb::zSvr svr(messages, files);
    bool ok = false;
    svr.D_StDcDb(args[1], ok);
    if (!ok) {
        if (!files.FbExFile(args[1]))
            std::fprintf(stderr, "dbtext: %s is not a file\n", qPrintable(args[1]));
        return 1;
    }
    QVariant pages;
    svr.R_GtVaL(QStringLiteral("Select Count(*) From msDoc"), pages, QVariant(0));
    std::printf("database: %s\nprovider: %s\npages: %d\ntop level:\n", qPrintable(args[1]),
                qPrintable(svr.providerName()), pages.toInt());
    QString sql = docdb::sql::kChildren;
    sql.replace(QLatin1Char('?'), QLatin1String("0"));
    docdb::RowArray rows;
    qint32 n = 0;
    svr.R_Ary(sql, rows, n);
    for (int r = 0; r < n; ++r)
        std::printf("  %s\t%s\n", qPrintable(util::CStr(rows(0, r))), qPrintable(util::CStr(rows(1, r))));
    svr.D_Close();
    return 0;
}

// dbtext-bench: timings of the query layer on a large generated database.
#include "bench/LargeDb.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "platform/MessageBox.h"
#include "platform/RichTextView.h"
#include "util/zClt.h"

#include <QApplication>
#include <QDir>
#include <QImage>

#include <benchmark/benchmark.h>

namespace {

class SilentMessages final : public platform::IMessageBox {
public:
    platform::MsgAnswer show(const QString&, platform::MsgButtons) override { return platform::MsgAnswer::Ok; }
    QString title() const override { return {}; }
    void setTitle(const QString&) override {}
};

QString g_db;
SilentMessages g_messages;
const util::zClt g_clt;

struct Session {
    docdb::zSvr svr{g_messages, g_clt};
    Session() {
        bool ok = false;
        svr.D_StDcDb(g_db, ok);
    }
};

void BM_OpenDatabase(benchmark::State& state) {
    for (auto _ : state) {
        Session s;
        benchmark::DoNotOptimize(s.svr.isOpen());
    }
}
BENCHMARK(BM_OpenDatabase)->Unit(benchmark::kMillisecond);

void BM_LoadChildren(benchmark::State& state) {
    Session s;
    QString sql = docdb::sql::kChildren;
    sql.replace(QLatin1Char('?'), QLatin1String("1"));
    for (auto _ : state) {
        docdb::RowArray rows;
        qint32 n = 0;
        s.svr.R_Ary(sql, rows, n);
        for (int r = 0; r < n; ++r) {
            QVariant c;
            s.svr.R_GtVaL(docdb::sql::kChildCount + rows(0, r).toString(), c, QVariant(0));
        }
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_LoadChildren)->Unit(benchmark::kMillisecond);

void BM_ReadDocument(benchmark::State& state) {
    Session s;
    int no = 1;
    for (auto _ : state) {
        docdb::Recordset rs;
        bool ok = false;
        s.svr.R_Rset(docdb::sql::kDocument + QString::number(no++ % 20000 + 1), rs, ok, 2);
        benchmark::DoNotOptimize(rs.field(0));
        rs.close();
    }
}
BENCHMARK(BM_ReadDocument)->Unit(benchmark::kMicrosecond);

void BM_FindTwoWords(benchmark::State& state) {
    Session s;
    const QString sql = docdb::sql::kFindWhere + QStringLiteral("txDoc Like '%検索%'  And txDoc Like '%alpha%' ") +
                        docdb::sql::kFindOrder;
    for (auto _ : state) {
        docdb::RowArray rows;
        qint32 n = 0;
        s.svr.R_Ary(sql, rows, n);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_FindTwoWords)->Unit(benchmark::kMillisecond)->Iterations(3);

// A stored page of about 50 KB: headings, paragraphs, a table and fields.
QByteArray page50k() {
    QString html = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>");
    int i = 0;
    while (html.toUtf8().size() < 50000) {
        html += QStringLiteral("<h3>見出し %1</h3><p>文書データーベースの本文です。<a href=\"TG_%1\">リンク %1</a> と "
                               "<b>太字</b>、<i>斜体</i>の文字が続きます。Alpha beta gamma.</p>")
                    .arg(i);
        if (++i % 10 == 0)
            html += QStringLiteral(
                        "<table border=\"1\"><tr><td>表</td><td>%1</td></tr><tr><td>行</td><td>二</td></tr></table>")
                        .arg(i);
    }
    return (html + QStringLiteral("</body></html>")).toUtf8();
}

void BM_ViewLoadAndLayout50KB(benchmark::State& state) {
    const QByteArray bytes = page50k();
    platform::RichTextView view;
    view.resize(900, 700);
    for (auto _ : state) {
        view.loadFromMemory(bytes, 9); // lays the page out for the normal view
        benchmark::DoNotOptimize(view.fieldCount());
    }
    state.counters["bytes"] = double(bytes.size());
}
BENCHMARK(BM_ViewLoadAndLayout50KB)->Unit(benchmark::kMillisecond);

void BM_ViewRenderOnePage(benchmark::State& state) {
    platform::RichTextView view;
    view.loadFromMemory(page50k(), 9);
    QImage device(794, 1123, QImage::Format_RGB32);
    device.setDotsPerMeterX(3780);
    device.setDotsPerMeterY(3780);
    view.setPrintDevice(&device);
    view.printPage(2); // the paged layout is made once, as the preview does
    for (auto _ : state) {
        device.fill(Qt::white);
        view.printPage(2);
        benchmark::DoNotOptimize(device.bits());
    }
    state.counters["pages"] = view.pageCount();
}
BENCHMARK(BM_ViewRenderOnePage)->Unit(benchmark::kMillisecond);

void BM_ViewPaginate50KB(benchmark::State& state) {
    const QByteArray bytes = page50k();
    platform::RichTextView view;
    for (auto _ : state) {
        view.loadFromMemory(bytes, 9);
        benchmark::DoNotOptimize(view.pageCount());
    }
}
BENCHMARK(BM_ViewPaginate50KB)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // 20,000 pages of about 4 KB, ten children a page: a large database of the kind users read daily.
    g_db = bench::largeDb(QDir::tempPath() + QStringLiteral("/dbtext-bench-20000.txdb"), 20000, 10, 4000);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

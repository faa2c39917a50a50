// Tests of a server across a network: a relay of the tests' own between the reader and the private
// server counts the round trips, holds everything (a server that stops answering) or cuts the
// connections, and the window's wait for the server is driven as a user meets it.
#include "dbengine/DbProvider.h"
#include "docdb/Recordset.h"
#include "docdb/Schema.h"
#include "docdb/zSvr.h"
#include "navigator/uTrX.h"
#include "platform/ServerWait.h"
#include "support/DelayProxy.h"
#include "support/FakeEnvironment.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "support/PgCluster.h"
#include "util/zClt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

class ServerWait : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::PgCluster::shared())
            GTEST_SKIP() << testsupport::PgCluster::reason().toStdString();
        ASSERT_TRUE(tmp.isValid());
        QString error;
        ASSERT_TRUE(proxy.start(error)) << error.toStdString();
    }
    /// content on the server, opened through the relay by a session that waits as the window does.
    void open(const samples::DocDbContent& content) {
        const QString path = tmp.filePath(QStringLiteral("db.txdb"));
        QString error;
        ASSERT_TRUE(samples::writeDocDb(path, content, error)) << error.toStdString();
        svr.setServerWait(&wait);
        bool ok = false;
        svr.D_StDcDb(testsupport::serverCopy(path, proxy.port()), ok);
        ASSERT_TRUE(ok) << svr.lastError().toStdString();
    }
    bool readPage(int no) {
        bool ok = false;
        docdb::Recordset rs;
        svr.R_Rset(docdb::sql::kDocument + QString::number(no), rs, ok, 2);
        return ok;
    }
    /// The user's next action: a key pressed.
    static void nextAction() {
        QWidget somewhere;
        QTest::keyClick(&somewhere, Qt::Key_Shift);
    }

    QTemporaryDir tmp;
    testsupport::DelayProxy proxy{testsupport::PgCluster::shared() ? testsupport::PgCluster::shared()->port() : 0, 0};
    testsupport::FakeMessageBox messages;
    platform::QtServerWait wait{messages};
    util::zClt clt;
    docdb::zSvr svr{messages, clt};
};

/// A widget that counts its paints: the window behind the wait.
class Painted : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST_F(ServerWait, AStalledServerShowsTheWaitWithinASecondTheWindowPaintsAndCancelEndsTheReadWithinASecond) {
    open(testsupport::smallTree());
    ASSERT_TRUE(readPage(12));
    Painted window;
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    proxy.setStalled(true); // nothing passes either way: not even a request to stop reaches an answer
    QElapsedTimer t;
    qint64 shownAt = -1, clickedAt = -1;
    int paintsBefore = 0;
    QString label, title;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || clickedAt >= 0)
            return;
        if (shownAt < 0) {
            shownAt = t.elapsed();
            label = modal->findChild<QLabel*>()->text();
            title = modal->windowTitle();
            paintsBefore = window.paints;
            window.update();
            return;
        }
        if (window.paints == paintsBefore && t.elapsed() - shownAt < 2000)
            return; // the window behind has not painted yet
        clickedAt = t.elapsed();
        QPushButton* cancel = modal->findChild<QPushButton*>();
        ASSERT_EQ(cancel->text(), QStringLiteral("キャンセル"));
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    watch.start();
    t.start();
    EXPECT_FALSE(readPage(12));
    const qint64 returnedAt = t.elapsed();
    watch.stop();
    ASSERT_GE(shownAt, 0) << "no wait was shown";
    EXPECT_GE(shownAt, docdb::zSvr::kPatienceMs - 50);
    EXPECT_LT(shownAt, 1000);
    EXPECT_EQ(label, QStringLiteral("サーバーの応答を待っています…"));
    EXPECT_EQ(title, QStringLiteral("DB Text"));
    EXPECT_GT(window.paints, paintsBefore); // the window painted while the read waited
    ASSERT_GE(clickedAt, 0);
    EXPECT_LT(returnedAt - clickedAt, 1000);
    EXPECT_TRUE(messages.texts.isEmpty()); // a cancel is the user's: nothing more is said

    // The rest of the action fails at once, with no second wait, even where the action lets the
    // window's events run between its statements.
    QCoreApplication::processEvents();
    t.restart();
    EXPECT_FALSE(readPage(9));
    EXPECT_LT(t.elapsed(), 200);
    // The server answers again: the next action reads, on a new connection.
    proxy.setStalled(false);
    const qint64 connections = proxy.connections();
    nextAction();
    EXPECT_TRUE(readPage(12)) << svr.lastError().toStdString();
    EXPECT_GT(proxy.connections(), connections);

    // Connecting again, cancelled too (the stop asked for must not outlive it): once the server is
    // back, the next action reads.
    proxy.dropAll();
    EXPECT_FALSE(readPage(12)); // the read that finds the connection lost
    proxy.setStalled(true);
    nextAction();
    bool cancelled = false;
    QTimer cancelAgain;
    cancelAgain.setInterval(20);
    QObject::connect(&cancelAgain, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            cancelAgain.stop();
            cancelled = true;
            QTest::mouseClick(modal->findChild<QPushButton*>(), Qt::LeftButton);
        }
    });
    cancelAgain.start();
    EXPECT_FALSE(readPage(12)); // connecting again is held, and cancelled
    EXPECT_TRUE(cancelled);
    proxy.setStalled(false);
    nextAction();
    EXPECT_TRUE(readPage(12)) << svr.lastError().toStdString();
    messages.texts.clear(); // the dropped connection was told; that is the next test's

    // A rename on the stalled server, cancelled with Esc: it claims neither success nor a plain
    // failure, and the server, whose commit never came, keeps the title.
    proxy.setStalled(true);
    nextAction();
    QTimer esc;
    esc.setInterval(20);
    QObject::connect(&esc, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            esc.stop();
            QTest::keyClick(modal, Qt::Key_Escape);
        }
    });
    esc.start();
    bool ok = true;
    dbengine::WriteOutcome out;
    svr.D_ExeTx({QStringLiteral("Update tbTree Set szDoc='改' Where noLfP=5 and noLfC=12")}, ok, out);
    EXPECT_FALSE(ok);
    EXPECT_EQ(docdb::zSvr::failureText(out),
              QStringLiteral("キャンセルしました。変更が書き込まれたかどうかは、データベースを開き直すと確かめられます"));
    proxy.setStalled(false);
    nextAction();
    QString stored;
    svr.R_GtVaL(QStringLiteral("Select szDoc From tbTree Where noLfP = 5 And noLfC = 12"), stored, QString());
    EXPECT_EQ(stored, QStringLiteral("十二"));
}

TEST_F(ServerWait, ALostConnectionIsToldOnceAndTheNextActionConnectsAgain) {
    open(testsupport::smallTree());
    ASSERT_TRUE(readPage(12));
    proxy.dropAll();
    EXPECT_FALSE(readPage(12));
    EXPECT_FALSE(readPage(9)); // the same action: failed at once, not told again
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts.front(), QStringLiteral("サーバーとの接続が切れました。次の操作のときに接続し直します"));
    nextAction();
    EXPECT_TRUE(readPage(12)) << svr.lastError().toStdString();
    EXPECT_EQ(messages.texts.size(), 1);
    // Lost again after a read that worked: told again.
    proxy.dropAll();
    EXPECT_FALSE(readPage(12));
    EXPECT_EQ(messages.texts.size(), 2);
}

TEST_F(ServerWait, ANodeOfThousandsOfChildrenIsTwoRoundTripsThroughTheRelay) {
    samples::DocDbContent c = testsupport::smallTree();
    for (int i = 0; i < 5000; ++i) {
        samples::PageRow p;
        p.no = 1000 + i;
        p.title = QStringLiteral("子 %1").arg(i);
        p.updated = QDateTime(QDate(2026, 11, 3), QTime(9, 0));
        c.pages << p;
        c.edges << testsupport::edge(40, p.no, i, p.title);
        if (i % 10 == 0)
            c.edges << testsupport::edge(p.no, 9, 1, QStringLiteral("九"));
    }
    open(c);
    testsupport::FakeScreen screen;
    navigator::uTrX nav(svr, screen, messages);
    nav.resize(300, 600);
    nav.show();
    QString top = QStringLiteral("0");
    nav.SetNodes(top);
    proxy.setDelay(20); // a WAN: each round trip costs 40 ms more
    const qint64 trips = proxy.roundTrips(), statements = svr.statementCount();
    QString key = QStringLiteral("N2-40");
    nav.SetNodes(key);
    EXPECT_EQ(svr.statementCount() - statements, 2);
    EXPECT_EQ(proxy.roundTrips() - trips, 2); // every statement is one round trip, and each was relayed
    QTreeWidgetItem* node = nav.node(QStringLiteral("N2-40"));
    ASSERT_TRUE(node);
    while (node->childCount() < 5000 && QTest::qWaitFor([&] { return node->childCount() == 5000; }, 5000)) {
    }
    ASSERT_EQ(node->childCount(), 5000);
    EXPECT_EQ(navigator::uTrX::imageOf(node->child(0)), QStringLiteral("ndcls"));
    EXPECT_EQ(navigator::uTrX::imageOf(node->child(1)), QStringLiteral("ndlef"));
}

} // namespace

// Results come in the binary format (a page's bytes once, not as hexadecimal text); every value
// reads as the same statement read in text gives it (a column of a type read only in text, here an
// interval, makes the provider ask again in text).
TEST(ServerValues, TheBinaryFormatReadsAsTheText) {
    testsupport::PgCluster* pg = testsupport::PgCluster::shared();
    if (!pg)
        GTEST_SKIP() << testsupport::PgCluster::reason().toStdString();
    QString error;
    auto c = dbengine::DbProviders::open(pg->initString(QStringLiteral("postgres")), error);
    ASSERT_TRUE(c) << error.toStdString();
    const QString values = QStringLiteral(
        "1::int2, -2::int4, 5000000000::int8, -5000000000::int8, 4000000000::oid, true, false, 1.1::float4, "
        "0.1::float8, -1e300::float8, -12345.6789::numeric, 0.000123::numeric, 'NaN'::numeric, 100000000::numeric, "
        "0::numeric, 12.50::numeric(6,2), DATE '2026-11-03', TIMESTAMP '2026-11-03 09:08:07.5', "
        "TIMESTAMP '1999-12-31 23:59:59', TIMESTAMP '1901-02-03 04:05:06', DATE '0044-03-15 BC', "
        "'infinity'::timestamp, 'x'::\"char\", 'abc'::varchar, 'ab'::bpchar, '日本語'::text, 'n'::name, "
        "'\\x00ff41'::bytea, ''::bytea, NULL::int4, NULL::bytea, '{\"a\": 1}'::json");
    dbengine::DbRows binary, text;
    ASSERT_TRUE(c->query(QStringLiteral("SELECT ") + values, binary, error)) << error.toStdString();
    ASSERT_TRUE(c->query(QStringLiteral("SELECT ") + values + QStringLiteral(", interval '1 day'"), text, error))
        << error.toStdString();
    ASSERT_EQ(binary.rows.size(), 1u);
    ASSERT_EQ(text.rows.size(), 1u);
    const QVariantList& b = binary.rows.front();
    const QVariantList& t = text.rows.front();
    ASSERT_EQ(b.size() + 1, t.size());
    for (int i = 0; i < b.size(); ++i) {
        EXPECT_EQ(b[i].metaType(), t[i].metaType()) << i;
        if (b[i].metaType().id() == QMetaType::Double && std::isnan(b[i].toDouble()))
            EXPECT_TRUE(std::isnan(t[i].toDouble())) << i;
        else
            EXPECT_EQ(b[i], t[i]) << i << " " << b[i].toString().toStdString() << " / " << t[i].toString().toStdString();
    }
    EXPECT_EQ(t.back().toString(), QStringLiteral("1 day")); // and the text read is really text
    EXPECT_EQ(b[27].toByteArray(), QByteArray("\0\xff\x41", 3));
}

// A page of megabytes comes in pieces of one statement (one round trip), and whole: the bytes and
// the title the file has; a Null and an empty document come as they are.
TEST_F(ServerWait, APageOfMegabytesComesInPiecesInOneRoundTripAndWhole) {
    samples::DocDbContent c = testsupport::smallTree();
    QByteArray big(5 * 1024 * 1024 / 2 + 77, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char((i * 7919 + i / 4096) & 0xff); // every byte value, zeros included
    c.pages[0].obDoc = big; // page 5
    c.pages[0].txDoc = QStringLiteral("大きい");
    c.pages[3].obDoc = std::nullopt; // page 12: Null
    c.pages[6].obDoc = QByteArray(""); // page 30: empty
    open(c);
    for (const int no : {5, 12, 30, 9}) {
        const qint64 trips = proxy.roundTrips();
        bool ok = false;
        docdb::Recordset rs;
        svr.R_Rset(docdb::sql::kDocument + QString::number(no), rs, ok, 2);
        ASSERT_TRUE(ok) << no << svr.lastError().toStdString();
        EXPECT_EQ(proxy.roundTrips() - trips, 1) << no;
        const auto& page = *std::find_if(c.pages.begin(), c.pages.end(), [no](const auto& p) { return p.no == no; });
        const QVariant doc = rs.field(QStringLiteral("obDoc"));
        EXPECT_EQ(doc.isValid(), page.obDoc.has_value()) << no;
        if (page.obDoc)
            EXPECT_TRUE(doc.toByteArray() == *page.obDoc) << no << " " << doc.toByteArray().size();
        EXPECT_EQ(rs.field(QStringLiteral("szDoc")).toString(), page.title) << no;
        EXPECT_EQ(rs.field(1).toString(), page.title) << no;
    }
    // A server database whose document column is text (made by another program): read as written.
    bool ok = false;
    qint32 n = 0;
    for (const char* sql : {"Update msDoc Set obDoc = Null Where noDoc = 5",
                            "ALTER TABLE msDoc ALTER COLUMN obDoc TYPE text USING convert_from(obDoc, 'UTF8')"}) {
        svr.D_ExeSq(QString::fromLatin1(sql), ok, n);
        ASSERT_TRUE(ok) << svr.lastError().toStdString();
    }
    docdb::Recordset rs;
    svr.R_Rset(docdb::sql::kDocument + QStringLiteral("9"), rs, ok, 2);
    ASSERT_TRUE(ok) << svr.lastError().toStdString();
    EXPECT_EQ(rs.field(0).toString(), QString::fromUtf8(*c.pages[2].obDoc));
    EXPECT_EQ(rs.field(1).toString(), QStringLiteral("九"));
}

// A rename that the server is slow to take, ended by Enter in the label editor: the wait takes the
// focus from the editor, which must not write the title a second time.
TEST_F(ServerWait, ASlowRenameThroughTheLabelEditorIsWrittenOnce) {
    open(testsupport::smallTree());
    testsupport::FakeScreen screen;
    navigator::uTrX nav(svr, screen, messages);
    nav.resize(300, 600);
    nav.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&nav));
    nav.setRenameEnabled(true);
    QString top = QStringLiteral("0");
    nav.SetNodes(top);
    nav.trView()->setCurrentItem(nav.node(QStringLiteral("N0-5")));
    nav.trView()->setFocus();
    QTest::keyClick(nav.trView(), Qt::Key_F2);
    QApplication::processEvents();
    auto* editor = nav.trView()->findChild<QLineEdit*>();
    ASSERT_TRUE(editor) << "no label editor opened";
    editor->setText(QStringLiteral("遅い改名"));

    proxy.setStalled(true);
    QSet<QWidget*> waits;
    QElapsedTimer t;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            waits.insert(modal);
            if (t.elapsed() > 1200)
                proxy.setStalled(false); // the server answers after a while
        }
    });
    const qint64 statements = svr.statementCount();
    t.start();
    watch.start();
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget() && t.elapsed() > 1300, 10000);
    QApplication::processEvents(); // the report after the edit
    watch.stop();
    EXPECT_EQ(waits.size(), 1);
    EXPECT_EQ(svr.statementCount() - statements, 1); // one transaction
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(QLatin1Char('\n')).toStdString();
    QString stored;
    svr.R_GtVaL(QStringLiteral("Select szDoc From tbTree Where noLfP = 0 And noLfC = 5"), stored, QString());
    EXPECT_EQ(stored, QStringLiteral("遅い改名"));
}

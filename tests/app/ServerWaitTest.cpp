// Tests of a server across a network: a relay of the tests' own between the reader and the private
// server counts the round trips, holds everything (a server that stops answering) or cuts the
// connections, and the window's wait for the server is driven as a user meets it.
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
    /// Lets the window's event loop run: the action is over.
    static void nextAction() { QCoreApplication::processEvents(); }

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

    // The rest of the action fails at once, with no second wait.
    t.restart();
    EXPECT_FALSE(readPage(9));
    EXPECT_LT(t.elapsed(), 200);
    // The server answers again: the next action reads, on a new connection.
    proxy.setStalled(false);
    const qint64 connections = proxy.connections();
    nextAction();
    EXPECT_TRUE(readPage(12)) << svr.lastError().toStdString();
    EXPECT_GT(proxy.connections(), connections);
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

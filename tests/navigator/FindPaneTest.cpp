// Tests of the find pane: the statement, the history set, results, the host events, safe quoting.
#include "NavigatorFixture.h"
#include "dbengine/DbProvider.h"
#include "find/PageFind.h"
#include "support/PgCluster.h"

#include <QScopeGuard>
#include <QTimer>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWheelEvent>
#include <QWindow>

using testsupport::NavigatorTest;
using testsupport::SetDoc;

namespace {
QStringList titles(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}
} // namespace

class FindPane : public NavigatorTest {
protected:
    void SetUp() override {
        NavigatorTest::SetUp();
        makeControl();
        loadTop();
        nav->SetFrame(2);
    }
    void find(const QString& text) {
        nav->cmbFind()->setEditText(text);
        nav->FndDoc();
        settle();
    }
    /// Waits for the find, which runs on its own thread, to fill the list.
    void settle() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !nav->findEngine().finding(); }, 20000));
    }
    /// Types text into the find box and presses Enter, as a user does, for a find that has to wait;
    /// the window goes on meanwhile: timers fire, and the busy mark shows.
    void startWaitingFind(const QString& text) {
        nav->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(nav.get()));
        nav->SetFrame(2);
        QTest::keyClicks(QApplication::focusWidget(), text);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
        tick.start(20);
        QTest::qWait(400);
        EXPECT_GE(ticks, 5);
        EXPECT_TRUE(nav->findEngine().finding());
        EXPECT_TRUE(nav->findBusyMark()->isVisible());
        // It says so, below the rows: the result list never covers it.
        EXPECT_EQ(nav->findStatus()->text(), QStringLiteral("検索中..."));
        EXPECT_TRUE(nav->findStatus()->isVisible());
        EXPECT_GT(nav->findBusyMark()->geometry().top(), nav->lsFind()->geometry().bottom());
        EXPECT_GT(nav->findStatus()->geometry().top(), nav->lsFind()->geometry().bottom());
    }
    void choose(int row) {
        QListWidget* l = nav->lsFind();
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, l->visualItemRect(l->item(row)).center());
    }
};

TEST_F(FindPane, EmptyTextListsEveryDocumentOnce) {
    messages.clear();
    find(QString());
    EXPECT_EQ(nav->lsFind()->count(), 8);
    EXPECT_EQ(titles(nav->lsFind()).first(), QStringLiteral("三十")); // ordered by title
    EXPECT_EQ(messages, QStringList{QStringLiteral("８ 件候補がありました")});
    EXPECT_EQ(nav->cmbFind()->count(), 1);
    EXPECT_EQ(nav->cmbFind()->itemText(0), QString());
    find(QString());
    EXPECT_EQ(nav->cmbFind()->count(), 1);
}

TEST_F(FindPane, WordsMustAllOccurWhateverTheBlanks) {
    EXPECT_EQ(find::findCondition(QStringLiteral("alpha 検索語")),
              QStringLiteral("txDoc Like '%alpha%'  And txDoc Like '%検索語%' "));
    EXPECT_EQ(find::findCondition(QStringLiteral(" alpha  検索語 ")),
              find::findCondition(QStringLiteral("alpha 検索語")));
    EXPECT_EQ(find::findCondition(QStringLiteral("   ")), QString());
    find(QStringLiteral("alpha  検索語"));
    EXPECT_EQ(titles(nav->lsFind()), QStringList{QStringLiteral("五")});
    EXPECT_EQ(nav->sFndWd(), QStringLiteral("alpha  検索語"));
    find(QStringLiteral("ALPHA"));
    EXPECT_EQ(titles(nav->lsFind()), (QStringList{QStringLiteral("九"), QStringLiteral("五")}));
    find(QStringLiteral("日本語"));
    EXPECT_EQ(titles(nav->lsFind()), QStringList{QStringLiteral("五")});
    messages.clear();
    find(QStringLiteral("見つからない語"));
    EXPECT_EQ(nav->lsFind()->count(), 0);
    EXPECT_EQ(messages, QStringList{QStringLiteral("０ 件候補がありました")});
}

TEST_F(FindPane, QuotesAreSearchedAsTypedAndWildcardsStay) {
    find(QStringLiteral("it's"));
    EXPECT_EQ(titles(nav->lsFind()), QStringList{QStringLiteral("三十")});
    find(QStringLiteral("'; Delete From msDoc; --"));
    EXPECT_EQ(nav->lsFind()->count(), 0);
    find(QString());
    EXPECT_EQ(nav->lsFind()->count(), 8); // nothing was deleted
    find(QStringLiteral("十二_検"));
    EXPECT_EQ(titles(nav->lsFind()), QStringList{QStringLiteral("十二")});
    find(QStringLiteral("二十%"));
    EXPECT_EQ(nav->lsFind()->count(), 2);
    find(QStringLiteral("!"));
    EXPECT_EQ(nav->lsFind()->count(), 0); // a typed "!" is text, not the column
}

TEST_F(FindPane, HistoryAddsEachTextOnceByTheDotRule) {
    find(QStringLiteral("alpha"));
    find(QStringLiteral("alpha"));
    EXPECT_EQ(nav->cmbFind()->count(), 1);
    find(QStringLiteral("a.b"));
    find(QStringLiteral("a"));
    EXPECT_EQ(nav->cmbFind()->count(), 2); // ".a." occurs in ".alpha.a.b."
    EXPECT_EQ(nav->sFndHst(), QStringLiteral(".alpha.a.b."));
    nav->ClearItem();
    EXPECT_EQ(nav->sFndHst(), QStringLiteral("."));
    find(QStringLiteral("alpha"));
    EXPECT_EQ(nav->cmbFind()->count(), 3); // the combo kept its entries; the text is added again
}

TEST_F(FindPane, TypedWordsAndEnterOnTheFocusedBoxRunTheFindOnExactlyThatText) {
    nav->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(nav.get()));
    nav->SetFrame(2); // the find box takes the focus, as the tab click gives it
    QWidget* focused = QApplication::focusWidget();
    ASSERT_TRUE(focused == nav->cmbFind() || focused == nav->cmbFind()->lineEdit());
    QTest::keyClicks(focused, QStringLiteral("beta"));
    QTest::keyClick(focused, Qt::Key_Return);
    settle();
    EXPECT_EQ(titles(nav->lsFind()), (QStringList{QStringLiteral("八"), QStringLiteral("十二")}));
    // History never completes what is typed: "b" stays "b", also when it is a history entry's start.
    nav->cmbFind()->clearEditText();
    QTest::keyClicks(focused, QStringLiteral("b"));
    EXPECT_EQ(nav->cmbFind()->currentText(), QStringLiteral("b"));
    QTest::keyClick(focused, Qt::Key_Enter, Qt::KeypadModifier);
    settle();
    EXPECT_EQ(nav->sFndWd(), QStringLiteral("b"));
    EXPECT_EQ(nav->cmbFind()->itemText(1), QStringLiteral("b"));
    // A text that differs from a history entry in case only stays as typed, on Enter and when
    // the focus leaves the box for the button.
    nav->cmbFind()->clearEditText();
    QTest::keyClicks(focused, QStringLiteral("BETA"));
    QTest::keyClick(focused, Qt::Key_Return);
    settle();
    EXPECT_EQ(nav->sFndWd(), QStringLiteral("BETA"));
    nav->cmbFind()->clearEditText();
    QTest::keyClicks(focused, QStringLiteral("Beta"));
    QTest::mouseClick(nav->cmFind(), Qt::LeftButton);
    settle();
    EXPECT_EQ(nav->sFndWd(), QStringLiteral("Beta"));
    EXPECT_EQ(nav->cmbFind()->currentText(), QStringLiteral("Beta"));
    // A "?" is searched for as text: no page has "beta?".
    QTest::mouseClick(nav->cmbFind()->lineEdit(), Qt::LeftButton); // back into the box from the button
    nav->cmbFind()->clearEditText();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("beta?"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    settle();
    EXPECT_EQ(nav->sFndWd(), QStringLiteral("beta?"));
    EXPECT_EQ(nav->lsFind()->count(), 0);
    // Closing the navigator with the focus in the box activates no entry on its way out.
    int activated = 0;
    QObject::connect(nav->cmbFind(), &QComboBox::activated, [&](int) { ++activated; });
    nav->cmbFind()->setFocus();
    nav->cmbFind()->setEditText(QStringLiteral("BETA"));
    nav.reset();
    EXPECT_EQ(activated, 0);
}

TEST_F(FindPane, PickingFromTheListByKeyboardRunsTheFindAndNothingElseDoes) {
    find(QStringLiteral("beta"));
    find(QStringLiteral("gamma"));
    nav->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(nav.get()));
    nav->SetFrame(2);
    QWindow* window = nav->windowHandle();
    nav->cmbFind()->clearEditText();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("typed"));
    // The wheel over the box leaves the typed text alone.
    const QPointF at = nav->cmbFind()->rect().center();
    QWheelEvent wheel(at, nav->cmbFind()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(nav->cmbFind(), &wheel);
    EXPECT_EQ(nav->cmbFind()->currentText(), QStringLiteral("typed"));
    // Alt+Down opens the list, Up moves to "beta", Enter picks it: the find runs for it.
    QTest::keyClick(window, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return nav->cmbFind()->view()->isVisible(); }));
    // The keyboard speaks to the window that has the focus: now the list's popup.
    QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Up);
    QTest::keyClick(QGuiApplication::focusWindow(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !nav->cmbFind()->view()->isVisible(); }));
    settle();
    QApplication::processEvents();
    EXPECT_EQ(nav->sFndWd(), QStringLiteral("beta"));
    EXPECT_EQ(titles(nav->lsFind()), (QStringList{QStringLiteral("八"), QStringLiteral("十二")}));
    // Walking the history with the arrow keys in the box only fills it in.
    QTest::keyClick(window, Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_EQ(nav->cmbFind()->currentText(), QStringLiteral("gamma"));
    EXPECT_EQ(nav->sFndWd(), QStringLiteral("beta"));
}

TEST_F(FindPane, ListChoiceAndButtonRunTheFind) {
    nav->cmbFind()->setEditText(QStringLiteral("beta"));
    QTest::mouseClick(nav->cmFind(), Qt::LeftButton);
    settle();
    EXPECT_EQ(titles(nav->lsFind()), (QStringList{QStringLiteral("八"), QStringLiteral("十二")}));
    nav->cmbFind()->setEditText(QStringLiteral("gamma"));
    QTest::mouseClick(nav->cmFind(), Qt::LeftButton);
    settle();
    EXPECT_EQ(titles(nav->lsFind()), QStringList{QStringLiteral("九")});
    // "beta" chosen from the combo's list.
    nav->cmbFind()->showPopup();
    QAbstractItemView* popup = nav->cmbFind()->view();
    const QRect first = popup->visualRect(popup->model()->index(0, 0));
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, first.center());
    settle();
    QApplication::processEvents();
    EXPECT_EQ(nav->cmbFind()->currentText(), QStringLiteral("beta"));
    EXPECT_EQ(titles(nav->lsFind()), (QStringList{QStringLiteral("八"), QStringLiteral("十二")}));
    EXPECT_EQ(nav->cmbFind()->count(), 2);
    // Leaving the field runs nothing.
    nav->cmbFind()->setEditText(QStringLiteral("gamma"));
    nav->trView()->setFocus();
    EXPECT_EQ(nav->lsFind()->count(), 2);
}

TEST_F(FindPane, ChoosingAResultShowsItAndPassesTheFindText) {
    QStringList words;
    QObject::connect(nav.get(), &navigator::uTrX::eFndWd, [&](QString& w) {
        words << w;
        const qsizetype blank = w.indexOf(QLatin1Char(' '));
        if (blank >= 0)
            w = w.left(blank); // as the main window does
    });
    find(QStringLiteral("検索語 Beta"));
    ASSERT_EQ(nav->lsFind()->count(), 1);
    choose(0);
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_EQ(docs[0], (SetDoc{QString(), QStringLiteral("12"), QStringLiteral("十二"), 2, false}));
    EXPECT_EQ(words, QStringList{QStringLiteral("検索語 Beta")});
    EXPECT_EQ(nav->sFndWd(), QStringLiteral("検索語"));
    choose(0);
    EXPECT_EQ(words.last(), QStringLiteral("検索語"));
    // Another pane and back: the remembered text is gone, the results stay.
    QTest::mouseClick(nav->stTab(), Qt::LeftButton, {}, nav->stTab()->tabRect(0).center());
    QTest::mouseClick(nav->stTab(), Qt::LeftButton, {}, nav->stTab()->tabRect(1).center());
    EXPECT_EQ(nav->lsFind()->count(), 1);
    choose(0);
    EXPECT_EQ(words.last(), QString());
}

TEST_F(FindPane, NothingIsRaisedBeforeTheControlIsShown) {
    navigator::uTrX hidden(svr, screen, box);
    EXPECT_TRUE(hidden.bNoEvt());
    int raised = 0;
    QObject::connect(&hidden, &navigator::uTrX::eSetDoc,
                     [&](QString&, QString&, QString&, qint16&, bool&) { ++raised; });
    hidden.cmbFind()->setEditText(QStringLiteral("alpha"));
    hidden.FndDoc();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !hidden.findEngine().finding(); }, 20000));
    ASSERT_EQ(hidden.lsFind()->count(), 2);
    hidden.lsFind()->setCurrentRow(0);
    Q_EMIT hidden.lsFind()->itemClicked(hidden.lsFind()->item(0));
    EXPECT_EQ(raised, 0);
}

TEST_F(FindPane, AFindThatFailsSaysSoAndAFailedIndexBuildTakesItsBarAway) {
    if (testsupport::onServer())
        GTEST_SKIP() << "about database files";
    // Another program changes the file and holds it: the find waits its time and fails.
    dbengine::DbProviders::setCommandTimeout(1000);
    const auto restoreTimeout = qScopeGuard([] { dbengine::DbProviders::setCommandTimeout(30000); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !nav->findEngine().indexing(); }, 20000));
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(svr.databaseFile()).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "UPDATE msDoc SET txDoc = 'beta' WHERE noDoc = 12; BEGIN EXCLUSIVE", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    nav->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(nav.get()));
    nav->SetFrame(2);
    messages.clear();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("beta"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    settle();
    EXPECT_EQ(nav->lsFind()->count(), 0);
    ASSERT_TRUE(nav->findNote()->isVisible());
    EXPECT_TRUE(nav->findNote()->text().startsWith(QStringLiteral("検索できませんでした: ")))
        << nav->findNote()->text().toStdString();
    EXPECT_EQ(messages, QStringList{nav->findNote()->text()}); // not "０ 件候補がありました"
    // The other program lets go: the next find answers, and the note goes.
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    settle();
    EXPECT_FALSE(nav->findNote()->isVisible());
    EXPECT_EQ(titles(nav->lsFind()), (QStringList{QStringLiteral("八"), QStringLiteral("十二")}));

    // A database whose msDoc the index cannot stand in for (a view whose table is gone): the
    // build gives up at once and its bar goes; the find reads the view and says why it failed.
    const QString broken = testsupport::writeDb(tmp.path(), QStringLiteral("broken.txdb"), testsupport::smallTree());
    sqlite3* h = nullptr;
    sqlite3_open(QFile::encodeName(broken).constData(), &h);
    ASSERT_EQ(sqlite3_exec(h,
                           "ALTER TABLE msDoc RENAME TO gone; CREATE VIEW msDoc AS SELECT * FROM gone; "
                           "PRAGMA legacy_alter_table = ON; ALTER TABLE gone RENAME TO elsewhere",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(h);
    bool ok = false;
    svr.D_StDcDb(broken, ok);
    ASSERT_TRUE(ok);
    loadTop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !nav->findEngine().indexing(); }, 20000));
    QApplication::processEvents();
    EXPECT_FALSE(nav->findBusyMark()->isVisible());
    nav->SetFrame(2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    settle();
    EXPECT_TRUE(nav->findNote()->isVisible());
    EXPECT_TRUE(nav->findNote()->text().contains(QStringLiteral("gone"))) << nav->findNote()->text().toStdString();
}

TEST_F(FindPane, ALongAnswerShowsAtOnceFillsInSlicesAndANewFindDropsTheRest) {
    QVector<find::FoundPage> pages;
    for (int i = 0; i < 30000; ++i)
        pages.push_back({i + 1, QStringLiteral("題名 %1").arg(i, 5, 10, QLatin1Char('0'))});
    nav->showFound(pages, true, QString());
    QListWidget* list = nav->lsFind();
    EXPECT_GT(list->count(), 0); // the first rows with the answer, the rest while the window goes on
    EXPECT_LT(list->count(), 30000);
    EXPECT_EQ(nav->findStatus()->text(), QStringLiteral("30,000 件"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 30000; }, 5000));
    EXPECT_EQ(list->item(29999)->text(), QStringLiteral("題名 29999"));
    EXPECT_EQ(list->item(29999)->data(Qt::UserRole).toInt(), 30000);

    // A new find while a long answer is still going in: none of the old rows come after it.
    nav->showFound(pages, true, QString());
    find(QStringLiteral("alpha  検索語"));
    QTest::qWait(100);
    EXPECT_EQ(titles(list), QStringList{QStringLiteral("五")});
    EXPECT_EQ(nav->findStatus()->text(), QStringLiteral("1 件"));
}

TEST_F(FindPane, TheStatusIsInPlaceWhenItsPaneIsShownLater) {
    nav->SetFrame(1); // the tree's pane shows; a find starts from the box all the same
    nav->cmbFind()->setEditText(QStringLiteral("alpha"));
    nav->FndDoc();
    nav->SetFrame(2);
    const QRect list = nav->lsFind()->geometry();
    for (QWidget* w : {static_cast<QWidget*>(nav->findStatus()), nav->findBusyMark()})
        if (!w->isHidden()) {
            EXPECT_EQ(w->geometry().top(), list.bottom() + 1) << qPrintable(w->objectName());
            EXPECT_GT(w->width(), 0);
        }
    settle();
}

TEST_F(FindPane, ALongFindKeepsTheWindowWorkingAndANewFindOrClosingDropsIt) {
    // Another program changes the database (so the index no longer answers) and holds it locked:
    // the find has to wait for it, as it would read a very large database.
    dbengine::DbProviders::setCommandTimeout(4000);
    const auto restoreTimeout = qScopeGuard([] { dbengine::DbProviders::setCommandTimeout(30000); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !nav->findEngine().indexing(); }, 20000));
    const QString db = svr.databaseFile();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(db).constData(), &other), SQLITE_OK);
    const auto closeOther = qScopeGuard([&] { sqlite3_close(other); });
    sqlite3_busy_timeout(other, 10000); // waits for the reader's index build
    ASSERT_EQ(sqlite3_exec(other, "UPDATE msDoc SET txDoc = txDoc || ' zebra' WHERE noDoc = 12; BEGIN EXCLUSIVE",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    int reports = 0;
    QObject::connect(&nav->findEngine(), &find::FindEngine::found, [&] { ++reports; });

    startWaitingFind(QStringLiteral("beta"));
    EXPECT_EQ(nav->lsFind()->count(), 0);
    // A new find replaces it; only the new one reports, once the other program lets go.
    nav->cmbFind()->clearEditText();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("zebra"));
    EXPECT_EQ(nav->cmbFind()->currentText(), QStringLiteral("zebra"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    settle();
    QTest::qWait(200);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(titles(nav->lsFind()), QStringList{QStringLiteral("十二")}); // the changed page, from the database
    EXPECT_EQ(nav->findStatus()->text(), QStringLiteral("1 件"));
    EXPECT_FALSE(nav->findBusyMark()->isVisible() && !nav->findEngine().indexing());

    // Closing the database while a find waits: nothing is reported afterwards.
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "UPDATE msDoc SET txDoc = 'x' WHERE noDoc = 12", nullptr, nullptr, nullptr),
              SQLITE_OK);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(nav->findEngine().finding());
    svr.D_Close();
    nav->ClearItem(true);
    EXPECT_FALSE(nav->findEngine().finding());
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    QTest::qWait(300);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(nav->lsFind()->count(), 0);
}

TEST_F(FindPane, AServerFindKeepsTheWindowWorkingAndIsStoppedOnTheServerWhenDropped) {
    if (!testsupport::onServer())
        GTEST_SKIP() << "runs on the test server (DBTEXT_TEST_BACKEND=postgres)";
    testsupport::PgCluster* pg = testsupport::PgCluster::shared();
    ASSERT_TRUE(pg);
    QString database;
    svr.R_GtVaL(QStringLiteral("Select current_database()"), database, QString());
    // Another program holds the pages' table locked, so a find has to wait for it.
    const QByteArray info = QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 user=%3 password=%4")
                                .arg(pg->port())
                                .arg(database, pg->user(), pg->password())
                                .toUtf8();
    PGconn* other = PQconnectdb(info.constData());
    const auto closeOther = qScopeGuard([&] { PQfinish(other); });
    ASSERT_EQ(PQstatus(other), CONNECTION_OK);
    auto run = [&](const char* sql) {
        PGresult* r = PQexec(other, sql);
        const ExecStatusType st = PQresultStatus(r);
        const QString value = PQntuples(r) > 0 ? QString::fromUtf8(PQgetvalue(r, 0, 0)) : QString();
        PQclear(r);
        EXPECT_TRUE(st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) << sql << PQerrorMessage(other);
        return value;
    };
    // The reader's statements waiting for the lock, counted by the server (afresh each time: within
    // a transaction the server keeps showing what it showed first).
    auto waiting = [&] {
        run("SELECT pg_stat_clear_snapshot()");
        return run("SELECT count(*) FROM pg_stat_activity WHERE application_name = 'dbtext' AND wait_event_type = "
                   "'Lock'")
            .toInt();
    };
    run("BEGIN");
    run("UPDATE msdoc SET txdoc = txdoc || ' zebra' WHERE nodoc = 12");
    run("LOCK TABLE msdoc IN ACCESS EXCLUSIVE MODE");
    int reports = 0;
    QObject::connect(&nav->findEngine(), &find::FindEngine::found, [&] { ++reports; });

    startWaitingFind(QStringLiteral("beta"));
    EXPECT_EQ(waiting(), 1);
    // A new find stops the old statement on the server; only the new one waits, and reports.
    nav->cmbFind()->clearEditText();
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("zebra"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return waiting() == 1; }, 5000));
    QTest::qWait(300);
    EXPECT_EQ(waiting(), 1);
    run("COMMIT");
    settle();
    QTest::qWait(200);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(titles(nav->lsFind()), QStringList{QStringLiteral("十二")});

    // Closing the database while a find waits: the statement stops and nothing is reported.
    run("BEGIN");
    run("LOCK TABLE msdoc IN ACCESS EXCLUSIVE MODE");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return waiting() == 1; }, 5000));
    svr.D_Close();
    nav->ClearItem(true);
    EXPECT_FALSE(nav->findEngine().finding());
    EXPECT_TRUE(QTest::qWaitFor([&] { return waiting() == 0; }, 5000));
    run("COMMIT");
    QTest::qWait(300);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(nav->lsFind()->count(), 0);
}

// The windows' places on a real desktop (Xvfb with openbox, tests/support/desktop-run.sh): a window
// moved by the window manager comes back exactly there after 終了 and restarts, maximised too, and a
// place saved on a larger screen is pulled onto this one with its frame. Skipped without a desktop.
#include "batchview/sbDmp.h"
#include "mainwin/MainWindowFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

class DesktopPlace : public testsupport::MainWindowTest {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs a desktop with a window manager (ctest's test_mainwin_desktop)";
        MainWindowTest::SetUp();
    }
    /// Starts the program as its start-up does and waits until the window manager has framed the
    /// window and it has settled. A position group given is written to the settings file first.
    void start(const QString& positionGroup = QString()) {
        app::resetExiting();
        folders.folders[26] = tmp.filePath(QStringLiteral("appdata"));
        settingsFile = tmp.filePath(QStringLiteral("appdata/Vantre/dbtext/User.xml"));
        QDir().mkpath(QFileInfo(settingsFile).path());
        makeWindow(positionGroup);
        app::StartServices s{screen, ini, clt, *window};
        app::A_Start(s, tmp.filePath(QStringLiteral("bin/dbtext")), {db});
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->frameGeometry() != window->geometry(); }, 5000));
        QTest::qWait(300);
    }
    /// Ends with 終了 from the keyboard, as a user does.
    void finish() {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window.get(), Qt::Key_X,
                        Qt::ControlModifier);
        ASSERT_EQ(quits, 1);
        quits = 0;
        window.reset();
    }
    QRect available() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
};

TEST_F(DesktopPlace, AMovedWindowComesBackExactlyAfterEachRestart) {
    start();
    // The window manager moves it, as a drag of the title bar does.
    const QPoint before = window->frameGeometry().topLeft();
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), QString::number(window->winId()),
                                                  QStringLiteral("170"), QStringLiteral("90")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->frameGeometry().topLeft() != before; }, 3000));
    QTest::qWait(200);
    const QRect left = window->frameGeometry();
    const QSize inner = window->size();
    finish();
    for (int run = 1; run <= 3; ++run) {
        start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window->frameGeometry() == left; }, 2000))
            << "restart " << run << ": " << window->frameGeometry().x() << "," << window->frameGeometry().y()
            << " for " << left.x() << "," << left.y();
        EXPECT_EQ(window->size(), inner) << "restart " << run;
        finish();
    }

    // Maximised it comes back maximised, title bar on the screen, and goes back to the same place.
    start();
    window->showMaximized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isMaximized(); }, 3000));
    QTest::qWait(200);
    finish();
    start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->isMaximized(); }, 2000));
    EXPECT_TRUE(available().contains(window->frameGeometry().topLeft()));
    window->showNormal();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->frameGeometry() == left; }, 3000))
        << "normal place " << window->frameGeometry().x() << "," << window->frameGeometry().y();
}

TEST_F(DesktopPlace, APlaceFromALargerScreenIsPulledOntoThisOne) {
    // 2,000 × 1,300 pixels at (1,700, 1,100): from a screen far larger than this 1280 × 800 one.
    start(QStringLiteral("      <Left>25500</Left>\r\n      <Top>16500</Top>\r\n"
                         "      <Width>30000</Width>\r\n      <Height>19500</Height>\r\n"));
    EXPECT_TRUE(available().contains(window->frameGeometry())) << "frame " << window->frameGeometry().x() << ","
                                                               << window->frameGeometry().y() << " "
                                                               << window->frameGeometry().width() << "x"
                                                               << window->frameGeometry().height();
}

TEST_F(DesktopPlace, TheBatchDisplaysButtonRowStaysOnTheScreen) {
    start();
    bool ok = false;
    svr.D_StDcDb(db, ok);
    ASSERT_TRUE(ok);
    // Saved as tall as the screen and low on it: corrected to the screen, frame included.
    ini.GetGtx(batchview::sbDmp::groupName());
    ini.SetVal(QStringLiteral("Left"), 3000);
    ini.SetVal(QStringLiteral("Top"), 3000);
    ini.SetVal(QStringLiteral("Width"), 12000);
    ini.SetVal(QStringLiteral("Height"), available().height() * 15);
    ini.SetGtx();
    batchview::sbDmp dmp({box, screen, ini, svr}, window.get());
    QRect frame, button;
    QTimer::singleShot(0, &dmp, [&] {
        (void)QTest::qWaitFor([&] { return dmp.frameGeometry() != dmp.geometry(); }, 5000);
        QTest::qWait(300);
        frame = dmp.frameGeometry();
        button = QRect(dmp.cmExit(1)->mapToGlobal(QPoint(0, 0)), dmp.cmExit(1)->size());
        dmp.cmExit(1)->click();
    });
    qint32 no = -1;
    dmp.ActP(QStringLiteral("1-2,1-3"), no);
    EXPECT_TRUE(available().contains(frame)) << frame.y() << " + " << frame.height();
    EXPECT_TRUE(available().contains(button)) << button.y();
}

} // namespace

// End to end: start-up with a command line, the page shown, "終了" writing the settings, closing by the frame.
#include "MainWindowFixture.h"

#include <QDir>
#include <QFile>

using testsupport::MainWindowTest;

class StartToEnd : public MainWindowTest {
protected:
    void start(const QStringList& args) {
        folders.folders[26] = tmp.filePath(QStringLiteral("appdata"));
        window = std::make_unique<mainwin::fmDoc>(
            mainwin::Services{box, dialog, screen, shell, appSettings, registration, printer, ini, svr, clt, [this] {
                                  app::A_Exit({[this] {
                                                  window->unload();
                                              }},
                                              [this] { ++quits; });
                              }});
        app::StartServices s{screen, ini, clt, *window};
        app::A_Start(s, tmp.filePath(QStringLiteral("bin/dbtext")), args);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    QString userXml() const { return tmp.filePath(QStringLiteral("appdata/Vantre/dbtext/User.xml")); }
};

TEST_F(StartToEnd, CommandLinePageIsSelectedThroughItsAncestry) {
    start({testsupport::sampleDb(), QStringLiteral("12")});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("sample.txdb 文書No:12"));
    EXPECT_TRUE(window->tree()->SlctdKy().endsWith(QStringLiteral("-12")));
    EXPECT_TRUE(window->tree()->node(window->tree()->SlctdKy())->parent()->isExpanded()); // 画面の見方 opened
    EXPECT_TRUE(window->view()->text().startsWith(QStringLiteral("メニュー")));
    EXPECT_TRUE(box.texts.isEmpty());
}

TEST_F(StartToEnd, APathHoldingQuotesAndBlanksOpensAsTheOneArgumentItIs) {
    const QString db = tmp.filePath(QStringLiteral("say \"hi\" 12.txdb"));
    ASSERT_TRUE(QFile::copy(testsupport::sampleDb(), db));
    start({db});
    EXPECT_EQ(window->dbPath(), db);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("say \"hi\" 12.txdb 文書No:1"));
    window->unload();
    app::resetExiting();
    start({db, QStringLiteral("12")}); // and a page after it
    EXPECT_EQ(window->windowTitle(), QStringLiteral("say \"hi\" 12.txdb 文書No:12"));
    EXPECT_TRUE(box.texts.isEmpty());
}

TEST_F(StartToEnd, PageTextsThatAreNoNumberSelectNothingMore) {
    for (const char* page : {"0", "abc", "-3"}) {
        app::resetExiting();
        start({testsupport::sampleDb(), QString::fromLatin1(page)});
        EXPECT_EQ(window->windowTitle(), QStringLiteral("sample.txdb 文書No:1")) << page; // the first page only
        EXPECT_EQ(window->tree()->SlctdKy(), QStringLiteral("N0-1")) << page;
        window->unload();
    }
}

TEST_F(StartToEnd, ExitCommandWritesThePositionGroupExactly) {
    start({testsupport::sampleDb()});
    window->move(90, 45);
    window->resize(840, 600);
    window->mnZoom(3)->trigger();
    window->mnTree(1)->trigger();
    window->activateWindow();
    QTest::keyClick(window.get(), Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(window->isVisible());
    const QString x = QString::number(window->x() * 15), y = QString::number(window->y() * 15);
    const QString expected = QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n   <位置>\r\n"
                                            "      <Left>%1</Left>\r\n      <Top>%2</Top>\r\n"
                                            "      <Width>12600</Width>\r\n      <Height>9000</Height>\r\n"
                                            "      <Zoom>3</Zoom>\r\n      <Trvw>1</Trvw>\r\n      <WindowState>0</WindowState>\r\n"
                                            "   </位置>\r\n   <最近開いたDB>\r\n      <DB1>%3</DB1>\r\n"
                                            "      <DB2></DB2>\r\n      <DB3></DB3>\r\n      <DB4></DB4>\r\n"
                                            "      <DB5></DB5>\r\n      <DB6></DB6>\r\n      <DB7></DB7>\r\n"
                                            "      <DB8></DB8>\r\n   </最近開いたDB>\r\n</運用>")
                                 .arg(x, y, testsupport::sampleDb());
    EXPECT_EQ(testsupport::readBytes(userXml()), platform::TextCodec::toAnsi(expected));
}

TEST_F(StartToEnd, ClosingByTheFrameWritesNothing) {
    start({testsupport::sampleDb()});
    const QByteArray before = testsupport::readBytes(userXml());
    window->mnZoom(5)->trigger();
    window->close();
    EXPECT_EQ(quits, 1);
    EXPECT_EQ(testsupport::readBytes(userXml()), before);
    EXPECT_TRUE(before.isEmpty()); // created empty at start-up, never written
}

TEST_F(StartToEnd, NoArgumentsStartWithoutADatabase) {
    start({});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("DB Text"));
    EXPECT_EQ(window->tree()->nodeCount(), 0);
    EXPECT_FALSE(window->mnFile(2)->isEnabled());
}

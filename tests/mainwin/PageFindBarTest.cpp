// The find bar under the page: opened, typed into (keys and the input method), stepped and closed by
// keys, and offered the find pane's words on the page chosen from its list.
#include "MainWindowFixture.h"

#include "mainwin/PageFindBar.h"

#include <QComboBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QScrollBar>

namespace {

class FindBar : public testsupport::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        QString body;
        for (int i = 0; i < 300; ++i)
            body += QStringLiteral("<p>段落の本文 %1 Alpha と alpha</p>").arg(i);
        samples::DocDbContent content = testsupport::treeWithPage5(body);
        content.pages[0].txDoc = QStringLiteral("段落の本文 Alpha");
        content.pages[3].txDoc = QStringLiteral("十二の本文 Alpha"); // page 12 is found too
        db = testsupport::writeDb(tmp.path(), QStringLiteral("find.txdb"), content);
        makeWindow();
        activate(db);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        window->tree()->SetLeaf(QStringLiteral("5"));
        window->view()->setFocus();
    }
    void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods);
    }
    QString count() const { return window->findBar()->count()->text(); }
    /// How many pixels of the page show the marks' yellow.
    int yellowPixels() const {
        const QImage image = window->view()->viewport()->grab().toImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == qRgb(0xff, 0xeb, 0x3b);
        return n;
    }
};

TEST_F(FindBar, TypedWordsAreMarkedCountedAndSteppedByKeys) {
    mainwin::PageFindBar* bar = window->findBar();
    ASSERT_TRUE(bar->isHidden());
    press(Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar->isVisible());
    ASSERT_EQ(QApplication::focusWidget(), bar->edit());
    // The bar lies under the page, inside the layout above the status line.
    EXPECT_EQ(bar->geometry().top(), window->view()->geometry().bottom() + 1);
    EXPECT_LE(bar->geometry().bottom(), window->statusPage()->parentWidget()->geometry().top());

    QTest::keyClicks(bar->edit(), QStringLiteral("ALPHA")); // case does not matter
    EXPECT_EQ(count(), QStringLiteral("1 / 600 件"));
    EXPECT_EQ(window->view()->selectedText(), QStringLiteral("Alpha"));
    EXPECT_GT(yellowPixels(), 0);
    press(Qt::Key_Return);
    EXPECT_EQ(count(), QStringLiteral("2 / 600 件"));
    EXPECT_EQ(window->view()->selectedText(), QStringLiteral("alpha"));
    press(Qt::Key_F3);
    EXPECT_EQ(count(), QStringLiteral("3 / 600 件"));
    press(Qt::Key_F3, Qt::ShiftModifier);
    press(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(count(), QStringLiteral("1 / 600 件"));
    press(Qt::Key_Return, Qt::ShiftModifier); // before the first: round to the last
    EXPECT_EQ(count(), QStringLiteral("600 / 600 件"));
    EXPECT_GT(window->view()->verticalScrollBar()->value(), 0); // scrolled to it

    // Japanese through the input method: a composition, then its committed text.
    bar->edit()->clear();
    QInputMethodEvent composing(QStringLiteral("だんらく"), {});
    QApplication::sendEvent(bar->edit(), &composing);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("段落"));
    QApplication::sendEvent(bar->edit(), &commit);
    EXPECT_EQ(bar->text(), QStringLiteral("段落"));
    EXPECT_EQ(count().section(QLatin1Char('/'), 1), QStringLiteral(" 300 件"));
    EXPECT_EQ(window->view()->selectedText(), QStringLiteral("段落"));
    // Two words: each is marked, in the order they stand.
    QTest::keyClicks(bar->edit(), QStringLiteral(" alpha"));
    EXPECT_TRUE(count().endsWith(QStringLiteral(" / 900 件"))) << count().toStdString();
    QTest::keyClicks(bar->edit(), QStringLiteral("x"));
    EXPECT_TRUE(count().endsWith(QStringLiteral(" / 300 件"))) << count().toStdString(); // "段落" alone now
    bar->edit()->setText(QStringLiteral("どこにもない"));
    EXPECT_EQ(count(), QStringLiteral("0 件"));
    EXPECT_NE(bar->edit()->palette().color(QPalette::Base), bar->palette().color(QPalette::Base));

    // Esc closes it; the marks go with it and the keys go back to the page.
    bar->edit()->setText(QStringLiteral("本文"));
    const int current = window->view()->currentMark();
    ASSERT_GE(current, 0);
    press(Qt::Key_Escape);
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(QApplication::focusWidget(), window->view());
    EXPECT_TRUE(window->view()->marks().isEmpty());
    EXPECT_EQ(yellowPixels(), 0);
    EXPECT_EQ(window->view()->selectedText(), QStringLiteral("本文")); // the place found stays selected
    // F3 with the bar closed opens it with its text and goes on.
    press(Qt::Key_F3);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(count(), QStringLiteral("%1 / 300 件").arg(current + 2));
    EXPECT_EQ(window->view()->height() + bar->height(), window->view()->parentWidget()->height() -
                                                            window->statusPage()->parentWidget()->height());
    EXPECT_TRUE(box.texts.isEmpty());
}

TEST_F(FindBar, APageChosenFromTheFindPaneOffersItsWordsMarked) {
    window->tree()->SetFrame(2);
    window->tree()->cmbFind()->setEditText(QStringLiteral("本文 alp%a"));
    window->tree()->FndDoc();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->tree()->lsFind()->count() == 2; }, 20000));
    QListWidget* list = window->tree()->lsFind();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    mainwin::PageFindBar* bar = window->findBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->text(), QStringLiteral("本文 alp a")); // "%" stands for any run of characters
    // The text's own find selected the first word's first place: that is the current mark.
    EXPECT_EQ(window->view()->selectedText(), QStringLiteral("本文"));
    EXPECT_EQ(count(), QStringLiteral("1 / 1,500 件"));
    EXPECT_NE(QApplication::focusWidget(), bar->edit()); // the list keeps the keys
    EXPECT_GT(yellowPixels(), 0);
    // The next page chosen from the list is offered every word again (the remembered find text
    // has lost all but the first by now), and marks its own places: "a" of "Beta" alone.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(window->windowTitle().section(QStringLiteral("文書No:"), 1), QStringLiteral("12"));
    EXPECT_EQ(bar->text(), QStringLiteral("本文 alp a"));
    EXPECT_EQ(count(), QStringLiteral("1 件"));
    // A pasted page of words marks the first 32 and says so, without a long wait.
    QStringList many{QStringLiteral("beta")};
    for (int i = 0; i < 2000; ++i)
        many << QStringLiteral("語%1").arg(i);
    bar->edit()->setText(many.join(QLatin1Char(' ')) + QStringLiteral(" 十二")); // "十二" is past the first 32
    EXPECT_EQ(count(), QStringLiteral("1 / 1 件（先頭の 32 語）"));
}

} // namespace

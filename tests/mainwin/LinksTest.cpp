// Tests of links and hints in the page text: clicks, hints, the companion tool, keyboard following.
#include "MainWindowFixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

namespace {

class Links : public testsupport::MainWindowTest {
protected:
    /// The viewport point inside a field's first character.
    QPoint fieldPoint(int field) {
        richtext::RichTextView* v = window->view();
        const QPoint f = v->fieldPosition(field) - v->scrollPosition();
        return QPoint(int(f.x() / v->twipsPerPixel()) + 4, int(f.y() / v->twipsPerPixel()) + 6);
    }
    int fieldWithData(const QString& start, bool whole = false) {
        for (int i = 1; i <= window->view()->fieldCount(); ++i)
            if (whole ? window->view()->fieldData(i) == start : window->view()->fieldData(i).startsWith(start))
                return i;
        return 0;
    }
    void click(int field) { QTest::mouseClick(window->view()->viewport(), Qt::LeftButton, {}, fieldPoint(field)); }
    QStringList recent() {
        QStringList out;
        for (int i = 0; i < window->tree()->lsRsnt()->count(); ++i)
            out << window->tree()->lsRsnt()->item(i)->text();
        return out;
    }
    /// A database whose page 5 holds DX fields with the given texts, all for msDxml row 1.
    void openWithDxFields(const QStringList& texts) {
        QString html;
        for (const QString& t : texts)
            html += QStringLiteral("<p><a href=\"DX_1\">") + t.toHtmlEscaped() + QStringLiteral("</a></p>");
        db = testsupport::writeDb(tmp.path(), QStringLiteral("dx.txdb"), testsupport::treeWithPage5(html));
        makeWindow();
        activate(db);
    }
};

TEST(LinkKinds, PrefixesCompareWithoutCase) {
    const struct {
        const char* data;
        const char* kind;
        const char* target;
    } cases[] = {{"TG_25", "TG", "25"},          {"tg_abc_17", "TG", "17"},
                 {"Tg_x_25", "TG", "25"},        {"TP_note", "TP", "note"},
                 {"tp_note", "TP", "note"},      {"DX_3", "DX", "3"},
                 {"C:\\docs", "LK", "C:\\docs"}, {"https://a/b_c", "LK", "https://a/b_c"}};
    for (const auto& c : cases) {
        QString kind, target;
        mainwin::fmDoc::splitLink(QString::fromLatin1(c.data), kind, target);
        EXPECT_EQ(kind, QLatin1String(c.kind)) << c.data;
        EXPECT_EQ(target, QLatin1String(c.target)) << c.data;
    }
}

TEST_F(Links, ClickingAPageLinkShowsItWithATagNodeAndARecentEntry) {
    makeWindow();
    activate(testsupport::sampleDb()); // page 1 is shown, its node selected
    const QString selected = window->tree()->SlctdKy();
    ASSERT_EQ(window->view()->fieldData(1), QStringLiteral("TG_2"));
    // TG_x_17: page 17 is no child of page 1, so following it adds a tag node.
    const int link = fieldWithData(QStringLiteral("TG_x_17"), true);
    ASSERT_GT(link, 0);
    const QString title = window->view()->fieldText(link).trimmed();
    click(link);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("sample.txdb 文書No:17"));
    QTreeWidgetItem* tag = window->tree()->trView()->currentItem();
    ASSERT_TRUE(tag);
    EXPECT_TRUE(navigator::uTrX::keyOf(tag).startsWith(QLatin1Char('X')));
    EXPECT_TRUE(navigator::uTrX::keyOf(tag).endsWith(QStringLiteral("-17")));
    EXPECT_EQ(navigator::uTrX::keyOf(tag->parent()), selected);
    EXPECT_EQ(tag->text(0), title);
    EXPECT_EQ(recent().last(), title);
    EXPECT_TRUE(box.texts.isEmpty());
}

TEST_F(Links, HintShowsBelowTheFieldAndHidesAtTheSecondMove) {
    makeWindow();
    activate(testsupport::sampleDb(), QStringLiteral("22"));
    const int tp = fieldWithData(QStringLiteral("TP_"));
    ASSERT_GT(tp, 0);
    QWidget* vp = window->view()->viewport();
    QTest::mouseMove(vp, QPoint(2, vp->height() - 2));
    QTest::mouseMove(vp, fieldPoint(tp));
    QLabel* hint = window->hintPanel();
    ASSERT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), QLatin1Char(' ') + window->view()->fieldData(tp).mid(3) + QLatin1Char(' '));
    // 250 twips below the field's top-left, where the page is scrolled to (15 twips a pixel).
    const QPoint f = window->view()->fieldPosition(tp) - window->view()->scrollPosition();
    const QPoint edge = vp->mapTo(window.get(), QPoint(0, 0));
    EXPECT_NEAR(hint->x(), edge.x() + f.x() / 15.0, 1);
    EXPECT_NEAR(hint->y(), edge.y() + (f.y() + 250) / 15.0, 1);
    QTest::mouseMove(vp, fieldPoint(tp) + QPoint(1, 0));
    EXPECT_TRUE(hint->isVisible());
    QTest::mouseMove(vp, fieldPoint(tp) + QPoint(2, 0));
    EXPECT_FALSE(hint->isVisible());
    // A link of another kind shows no hint; neither does "tp_" (the hint test is exact).
    QString kind, target;
    mainwin::fmDoc::splitLink(QStringLiteral("tp_x"), kind, target);
    EXPECT_EQ(kind, QStringLiteral("TP"));
    QTest::mouseMove(vp, fieldPoint(fieldWithData(QStringLiteral("https:"))));
    EXPECT_FALSE(hint->isVisible());
}

TEST_F(Links, HintGoesWithItsPageItsLinkAndTheWindowAndFollowsTheZoom) {
    makeWindow();
    activate(testsupport::sampleDb(), QStringLiteral("22"));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const int tp = fieldWithData(QStringLiteral("TP_"));
    ASSERT_GT(tp, 0);
    QWidget* vp = window->view()->viewport();
    QLabel* hint = window->hintPanel();
    const auto point = [&] {
        QTest::mouseMove(vp, QPoint(2, vp->height() - 2));
        QTest::mouseMove(vp, fieldPoint(tp));
        return hint->isVisible();
    };
    // Another page: the hint does not stay over it.
    ASSERT_TRUE(point());
    window->tree()->SetLeaf(QStringLiteral("2"));
    EXPECT_FALSE(hint->isVisible());
    window->tree()->SetLeaf(QStringLiteral("22"));

    // Shown by Tab, it goes when the focus leaves its link: to the next link, or out of the page.
    window->view()->setFocus();
    for (int i = 0; i < tp; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(hint->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_FALSE(hint->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(hint->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F6);
    EXPECT_FALSE(hint->isVisible());

    // The window loses the focus to another one.
    ASSERT_TRUE(point());
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_FALSE(hint->isVisible());
    other.close();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    // At 200 % the text is twice the size, and the hint lies below its link's line.
    const qreal base = hint->font().pointSizeF();
    window->setZoomStep(5);
    ASSERT_TRUE(point());
    EXPECT_DOUBLE_EQ(hint->font().pointSizeF(), window->font().pointSizeF() * 2);
    EXPECT_GT(hint->font().pointSizeF(), base);
    const QPoint f = window->view()->fieldPosition(tp) - window->view()->scrollPosition();
    const int lineBottom = vp->mapTo(window.get(), QPoint(0, 0)).y() +
                           (f.y() + window->view()->fieldLineHeight(tp)) / 15;
    EXPECT_GT(window->view()->fieldLineHeight(tp), 250);
    EXPECT_GE(hint->y(), lineBottom);
    // However long its text, it stays inside the page's view.
    const QRect page(vp->mapTo(window.get(), QPoint(0, 0)), vp->size());
    EXPECT_TRUE(page.contains(hint->geometry())) << hint->geometry().right() << " > " << page.right();
}

TEST_F(Links, FilesFoldersAndAddressesOpenWithTheDesktop) {
    makeWindow();
    activate(testsupport::sampleDb(), QStringLiteral("22"));
    const QString folder = QFileInfo(testsupport::sampleDb()).absolutePath();
    for (const char* data : {"https://www.debian.org/", "/usr/share/doc", "files/読んでください.txt", "files"}) {
        shell.opened.clear();
        const int f = fieldWithData(QString::fromUtf8(data), true);
        ASSERT_GT(f, 0) << data;
        click(f);
        const QString expected = QString::fromUtf8(data).startsWith(QLatin1String("files"))
                                     ? folder + QLatin1Char('/') + QString::fromUtf8(data)
                                     : QString::fromUtf8(data);
        EXPECT_EQ(shell.opened, QStringList{expected}) << data;
    }
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/files/読んでください.txt")));
}

TEST_F(Links, AttachedXmlGoesToTheToolAsOneFileArgument) {
    // A stand-in tool that writes how many arguments it got, each of them and the file's bytes.
    const QString toolDir = tmp.filePath(QStringLiteral("tool dir"));
    QDir().mkpath(toolDir);
    const QString tool = toolDir + QStringLiteral("/Oblen");
    testsupport::writeBytes(tool,
                            "#!/bin/sh\n{ echo \"$#\"; echo \"$1\"; cat \"$1\"; } > \"$(dirname \"$0\")/got.txt\"\n");
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(tmp.filePath(QStringLiteral("Wrk")));
    shell.reallyStart = true;
    openWithDxFields({QStringLiteral("it's \"x\" y")});
    dialog.answers.clear(); // cancel: nothing stored, nothing started
    click(1);
    EXPECT_TRUE(appSettings.values.isEmpty());
    EXPECT_TRUE(shell.started.isEmpty());
    dialog.answers.enqueue(tool);
    click(1);
    ASSERT_EQ(dialog.calls.size(), 2);
    EXPECT_EQ(dialog.calls.last().title, QStringLiteral("Oblen.exe"));
    EXPECT_EQ(appSettings.values.value(QStringLiteral("VantreTools/Path/Oblen")), tool);
    const QString got = toolDir + QStringLiteral("/got.txt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile(got).size() > 0; }, 10000));
    QTest::qWait(100);
    const QByteArray out = testsupport::readBytes(got);
    const QString file = tmp.filePath(QStringLiteral("Wrk/it's _x_ y.dxml"));
    EXPECT_TRUE(out.startsWith("1\n" + file.toUtf8() + "\n")) << out.toStdString();
    // Stored without an encoding in its declaration: UTF-8, as every XML reader takes it.
    EXPECT_TRUE(out.endsWith(QStringLiteral("<root>一</root>").toUtf8())) << out.toStdString();
    QProcess lint;
    lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), file});
    ASSERT_TRUE(lint.waitForFinished(10000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
    // The second click asks no more.
    shell.reallyStart = false;
    click(1);
    EXPECT_EQ(dialog.calls.size(), 2);
    EXPECT_EQ(shell.started.size(), 2);
}

TEST(XmlWorkFile, WrittenInTheEncodingItsDeclarationNamesOrElseUtf8) {
    using mainwin::fmDoc;
    const QString body = QStringLiteral("<r>日本語</r>");
    EXPECT_EQ(fmDoc::xmlBytes(body), body.toUtf8());
    EXPECT_EQ(fmDoc::xmlBytes(QStringLiteral("<?xml version='1.0' encoding='UTF-8'?>") + body),
              (QStringLiteral("<?xml version='1.0' encoding='UTF-8'?>") + body).toUtf8());
    const QString sjis = QStringLiteral("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>") + body;
    EXPECT_EQ(fmDoc::xmlBytes(sjis), platform::TextCodec::toAnsi(sjis));
    EXPECT_NE(fmDoc::xmlBytes(sjis), sjis.toUtf8());
    // A character Shift-JIS cannot hold: UTF-8, and the declaration says so.
    const QString korean = QStringLiteral("<?xml version=\"1.0\" encoding=\"shift_jis\"?><r>한국어</r>");
    EXPECT_EQ(fmDoc::xmlBytes(korean), QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>한국어</r>").toUtf8());
    // Windows' own characters (NEC row, IBM additions, ～ mapped elsewhere) are no Shift_JIS: UTF-8;
    // a declaration of Windows-31J keeps them in its encoding.
    const QString windows = QStringLiteral("<r>①㈱髙～</r>");
    EXPECT_EQ(fmDoc::xmlBytes(QStringLiteral("<?xml version='1.0' encoding='Shift_JIS'?>") + windows),
              (QStringLiteral("<?xml version='1.0' encoding='UTF-8'?>") + windows).toUtf8());
    EXPECT_EQ(fmDoc::xmlBytes(QStringLiteral("<?xml version='1.0' encoding='Windows-31J'?>") + windows),
              platform::TextCodec::toAnsi(QStringLiteral("<?xml version='1.0' encoding='Windows-31J'?>") + windows));
    // Every one of them is XML that a strict reader takes, with the same characters.
    QTemporaryDir dir;
    for (const QString& decl : {QStringLiteral("Shift_JIS"), QStringLiteral("Windows-31J"), QStringLiteral("UTF-8")})
        for (const QString& text : {body, windows}) {
            const QString xml = QStringLiteral("<?xml version='1.0' encoding='%1'?>").arg(decl) + text;
            const QString file = dir.filePath(QStringLiteral("w.dxml"));
            testsupport::writeBytes(file, fmDoc::xmlBytes(xml));
            int code = -1;
            const QString out = testsupport::runProgram(QStringLiteral("xmllint"), {QStringLiteral("--encode"),
                                                        QStringLiteral("UTF-8"), file}, &code);
            EXPECT_EQ(code, 0) << qPrintable(decl);
            EXPECT_TRUE(out.contains(text)) << qPrintable(decl) << " " << qPrintable(out);
        }
    // An encoding no converter knows: UTF-8 too.
    EXPECT_EQ(fmDoc::xmlBytes(QStringLiteral("<?xml version='1.0' encoding='x-nothing'?><r/>")),
              QByteArray("<?xml version='1.0' encoding='UTF-8'?><r/>"));
}

TEST_F(Links, HostileFieldTextsStayInTheWorkFolder) {
    const QString work = tmp.filePath(QStringLiteral("Wrk"));
    QDir().mkpath(work);
    appSettings.values.insert(QStringLiteral("VantreTools/Path/Oblen"), QStringLiteral("/bin/true"));
    const QStringList texts = {QStringLiteral("../../evil"), QStringLiteral("a/b\\c:d*e?f\"g<h>i|j"),
                               QStringLiteral(".."),         QStringLiteral("名前\u0001\u000b"),
                               QString(300, QChar(u'長')),   QStringLiteral("nul\u0007bell")};
    openWithDxFields(texts);
    for (int f = 1; f <= window->view()->fieldCount(); ++f)
        click(f);
    ASSERT_EQ(shell.started.size(), texts.size());
    for (const QStringList& call : shell.started) {
        ASSERT_EQ(call.size(), 2);
        const QFileInfo file(call[1]);
        EXPECT_EQ(file.absolutePath(), QDir(work).absolutePath()) << call[1].toStdString();
        EXPECT_TRUE(file.exists()) << call[1].toStdString();
        EXPECT_TRUE(file.fileName().endsWith(QStringLiteral(".dxml")));
        EXPECT_LE(file.fileName().toUtf8().size(), 205);
    }
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("evil.dxml"))));
    EXPECT_FALSE(QFileInfo::exists(QDir(tmp.path()).filePath(QStringLiteral("../evil.dxml"))));
    // A work folder that cannot be written: the tool is not started on a file that is not there.
    QDir(work).removeRecursively();
    shell.started.clear();
    click(1);
    EXPECT_TRUE(shell.started.isEmpty());
}

TEST_F(Links, AWorkFileReplacesALinkOfItsNameAndNeverWritesThroughIt) {
    const QString work = tmp.filePath(QStringLiteral("Wrk"));
    QDir().mkpath(work);
    appSettings.values.insert(QStringLiteral("VantreTools/Path/Oblen"), QStringLiteral("/bin/true"));
    const QString outside = tmp.filePath(QStringLiteral("precious.txt"));
    testsupport::writeBytes(outside, "keep me");
    ASSERT_TRUE(QFile::link(outside, work + QStringLiteral("/x.dxml")));
    openWithDxFields({QStringLiteral("x")});
    click(1);
    EXPECT_EQ(testsupport::readBytes(outside), QByteArray("keep me"));
    const QFileInfo file(work + QStringLiteral("/x.dxml"));
    EXPECT_FALSE(file.isSymLink());
    EXPECT_TRUE(
        platform::TextCodec::fromAnsi(testsupport::readBytes(file.filePath())).endsWith(QStringLiteral("</root>")));
    EXPECT_EQ(shell.started.size(), 1);
    EXPECT_EQ(QDir(work).entryList(QDir::Files | QDir::Hidden).size(), 1); // no scratch file left behind
}

TEST_F(Links, ALinkThatWouldStartAProgramAsksFirst) {
    const QString script = tmp.filePath(QStringLiteral("run me"));
    testsupport::writeBytes(script, "#!/bin/sh\ntouch \"$HOME/ran\"\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString entry = tmp.filePath(QStringLiteral("launch.desktop")), text = tmp.filePath(QStringLiteral("a.txt"));
    testsupport::writeBytes(entry, "[Desktop Entry]\nType=Application\nExec=true\n");
    testsupport::writeBytes(text, "text");
    QString html;
    for (const QString& target :
         {script, QUrl::fromLocalFile(entry).toString(), text, QStringLiteral("https://a/x.exe")})
        html += QStringLiteral("<p><a href=\"%1\">link</a></p>").arg(target.toHtmlEscaped());
    db = testsupport::writeDb(tmp.path(), QStringLiteral("lk.txdb"), testsupport::treeWithPage5(html));
    makeWindow();
    activate(db);
    box.texts.clear();
    box.answers.enqueue(platform::MsgAnswer::No);
    click(1); // refused: nothing is started
    EXPECT_EQ(box.texts.size(), 1);
    EXPECT_TRUE(box.texts.value(0).startsWith(script)) << box.texts.value(0).toStdString();
    EXPECT_EQ(box.lastButtons, platform::MsgButtons::YesNo);
    EXPECT_TRUE(shell.opened.isEmpty());
    box.answers.enqueue(platform::MsgAnswer::Yes);
    click(2); // a desktop entry, named by its address: asked, and opened when the user says so
    EXPECT_EQ(box.texts.size(), 2);
    EXPECT_EQ(shell.opened.size(), 1);
    click(3); // a text file and an address open without a question
    click(4);
    EXPECT_EQ(box.texts.size(), 2);
    EXPECT_EQ(shell.opened,
              (QStringList{QUrl::fromLocalFile(entry).toString(), text, QStringLiteral("https://a/x.exe")}));
}

TEST_F(Links, LowerCaseHintsBlankTextsAndBusyClicksDoNothing) {
    const auto content = testsupport::treeWithPage5(QStringLiteral("<p><a href=\"tp_note\">小文字のヒント</a></p>"
                                                                   "<p><a href=\"TG_12\"> &#1;&#11; </a>x</p>"
                                                                   "<p><a href=\"C:\\docs\">C:\\docs</a></p>"
                                                                   "<p><a href=\"TG_12\">十二へ</a></p>"
                                                                   "<p><a href=\"TG_1 Or 1=1\">壊れた</a></p>"
                                                                   "<p><a href=\"TG_ 9 \">九へ</a></p>"));
    db = testsupport::writeDb(tmp.path(), QStringLiteral("edge.txdb"), content);
    makeWindow();
    activate(db);
    QWidget* vp = window->view()->viewport();
    QTest::mouseMove(vp, QPoint(2, vp->height() - 2));
    QTest::mouseMove(vp, fieldPoint(1)); // "tp_": a hint for clicks, but no hint is shown
    EXPECT_FALSE(window->hintPanel()->isVisible());
    const QString title = window->windowTitle();
    window->view()->focusField(1);
    QTest::keyClick(window->view(), Qt::Key_Return);
    window->view()->focusField(2); // a text of blanks and characters 1 and 11 only
    QTest::keyClick(window->view(), Qt::Key_Return);
    EXPECT_EQ(window->windowTitle(), title);
    EXPECT_TRUE(shell.opened.isEmpty());
    click(3); // no known prefix: the desktop opens it as it stands
    EXPECT_EQ(shell.opened, QStringList{QStringLiteral("C:\\docs")});
    util::processState().busy = true; // while a database opens, links do nothing
    click(4);
    EXPECT_EQ(window->windowTitle(), title);
    util::processState().busy = false;
    click(4);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("edge.txdb 文書No:12"));
    // A target that is no page number: said, and no tag node that leads nowhere; blanks around a
    // number do not matter.
    window->tree()->SetLeaf(QStringLiteral("5")); // back to the page of the links
    const int nodes = window->tree()->nodeCount();
    box.texts.clear();
    window->view()->focusField(5);
    QTest::keyClick(window->view(), Qt::Key_Return);
    EXPECT_EQ(box.texts, QStringList{QStringLiteral("Read Err  文書No:1 Or 1=1")});
    EXPECT_EQ(window->tree()->nodeCount(), nodes);
    window->view()->focusField(6);
    QTest::keyClick(window->view(), Qt::Key_Return);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("edge.txdb 文書No:9"));
    EXPECT_TRUE(window->tree()->SlctdKy().endsWith(QStringLiteral("-9")));
}

TEST_F(Links, TabMovesBetweenLinksAndEnterFollowsOne) {
    makeWindow();
    activate(testsupport::sampleDb());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->view()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(window->view()->focusedField(), 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(window->view()->focusedField(), 1);
    EXPECT_EQ(window->view()->selectedText(), window->view()->fieldText(1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("sample.txdb 文書No:2"));
    // A hint link reached by Tab shows its hint, as the pointer does.
    window->tree()->SetLeaf(QStringLiteral("22"));
    window->view()->setFocus();
    const int tp = fieldWithData(QStringLiteral("TP_"));
    for (int i = 0; i < tp; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(window->view()->focusedField(), tp);
    EXPECT_TRUE(window->hintPanel()->isVisible());
    EXPECT_TRUE(window->hintPanel()->testAttribute(Qt::WA_TransparentForMouseEvents)); // never in the way
}

TEST_F(Links, TabLeavesTheLinksOfAPageInPartsForTheBarAndOn) {
    // A page long enough to be shown in parts, with a link at its start.
    db =
        testsupport::writeDb(tmp.path(), QStringLiteral("parts.txdb"),
                             testsupport::treeWithPage5(QStringLiteral("<p><a href=\"TG_12\">十二へ</a></p>") +
                                                        testsupport::paragraphs(700, QString(1000, QLatin1Char('x')))));
    makeWindow();
    activate(db);
    ASSERT_GT(window->view()->partCount(), 1);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->view()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(window->view()->focusedField(), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // past the last link: the focus goes on
    EXPECT_NE(QApplication::focusWidget(), window->view());
    QWidget* next = QApplication::focusWidget();
    QTest::keyClick(next, Qt::Key_Tab); // from there it goes on again, not back into the links
    EXPECT_NE(QApplication::focusWidget(), next);
    EXPECT_EQ(window->view()->focusedField(), 0);
}

TEST_F(Links, TheKeyboardLeavesThePageAndMovesBetweenPanes) {
    makeWindow();
    activate(testsupport::sampleDb());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    richtext::RichTextView* view = window->view();
    const int n = view->fieldCount();
    ASSERT_GT(n, 1);
    const auto press = [](int key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), mods);
    };
    const auto inTree = [&] { return window->tree()->isAncestorOf(QApplication::focusWidget()); };
    view->setFocus();
    for (int i = 0; i < n; ++i)
        press(Qt::Key_Tab);
    EXPECT_EQ(view->focusedField(), n);
    press(Qt::Key_Tab); // past the last link: on to the navigator
    EXPECT_TRUE(inTree());
    EXPECT_EQ(view->focusedField(), 0);
    EXPECT_TRUE(view->selectedText().isEmpty()); // the link left shows no more as focused
    // Backwards: into the page at its last link, through to the first and out.
    view->setFocus();
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(view->focusedField(), n);
    for (int i = 1; i < n; ++i)
        press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(view->focusedField(), 1);
    press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_NE(QApplication::focusWidget(), view);

    // F6 and Shift+F6 move between the navigator's pane and the page.
    view->setFocus();
    press(Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), window->tree()->trView());
    press(Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), view);
    press(Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), window->tree()->trView());
    window->tree()->SetFrame(2); // the find pane: its find box takes the focus
    view->setFocus();
    press(Qt::Key_F6);
    EXPECT_TRUE(inTree());
    EXPECT_NE(QApplication::focusWidget(), window->tree()->trView());
    window->setTreeMode(2); // no tree shown: the page keeps the focus
    view->setFocus();
    press(Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), view);
}

} // namespace

// Tests of the settings document "User.xml": exact bytes, group and key splicing, damaged input.
#include "platform/TextCodec.h"
#include "settings/yIni.h"
#include "support/FakeEnvironment.h"
#include "support/FakeMessageBox.h"
#include "support/Fixtures.h"
#include "util/Vb.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

using settings::yIni;

namespace {

const QString kEmptyDoc = QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n</運用>");

QByteArray ansi(const QString& s) {
    return platform::TextCodec::toAnsi(s);
}

} // namespace

class SettingsDocument : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
    QString file(const char* name = "User.xml") const { return tmp.filePath(QString::fromUtf8(name)); }
    void load(const QString& path) {
        bool ok = false;
        ini.GetTxt(path, ok);
        ASSERT_TRUE(ok);
    }
    void savePosition(int left, int top, int width, int height, int zoom, int trvw) {
        ini.GetGtx(QStringLiteral("位置"));
        ini.SetVal(QStringLiteral("Left"), left);
        ini.SetVal(QStringLiteral("Top"), top);
        ini.SetVal(QStringLiteral("Width"), width);
        ini.SetVal(QStringLiteral("Height"), height);
        ini.SetVal(QStringLiteral("Zoom"), zoom);
        ini.SetVal(QStringLiteral("Trvw"), trvw);
        ini.SetGtx();
    }
    void save() {
        bool ok = false;
        ini.SetTxt(ok);
        ASSERT_TRUE(ok);
    }

    QTemporaryDir tmp;
    testsupport::FakeMessageBox messages;
    testsupport::FakeSpecialFolders folders;
    testsupport::FakeAppSettings appSettings;
    testsupport::FakeShell shell;
    yIni ini{messages, folders, appSettings, shell};
};

TEST_F(SettingsDocument, MissingFileIsCreatedEmptyAndReadsDefaults) {
    load(file());
    EXPECT_TRUE(QFile::exists(file()));
    EXPECT_EQ(testsupport::readBytes(file()).size(), 0); // created empty; the document lives in memory
    EXPECT_EQ(ini.documentText(), kEmptyDoc);
    ini.GetGtx(QStringLiteral("位置"));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Left"), QVariant(qint16(0))).toDouble(), 0.0);
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(SettingsDocument, FirstSaveHasTheExactLayoutInCp932) {
    load(file());
    savePosition(1440, 720, 9600, 7200, 1, 0);
    save();
    const QString expected = QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n"
                                            "<運用>\r\n"
                                            "   <位置>\r\n"
                                            "      <Left>1440</Left>\r\n"
                                            "      <Top>720</Top>\r\n"
                                            "      <Width>9600</Width>\r\n"
                                            "      <Height>7200</Height>\r\n"
                                            "      <Zoom>1</Zoom>\r\n"
                                            "      <Trvw>0</Trvw>\r\n"
                                            "   </位置>\r\n"
                                            "</運用>");
    EXPECT_EQ(testsupport::readBytes(file()), ansi(expected));
    EXPECT_TRUE(testsupport::readBytes(file()).contains("\x88\xCA\x92\x75")); // 位置 in CP932
}

TEST_F(SettingsDocument, SavingAgainReplacesOnlyThatGroup) {
    load(file());
    savePosition(1440, 720, 9600, 7200, 1, 0);
    ini.GetGtx(QStringLiteral("DMP2_位置"));
    ini.SetVal(QStringLiteral("Timmer"), 3);
    ini.SetGtx();
    save();
    const QByteArray first = testsupport::readBytes(file());
    // A second group goes before the root end, after the first.
    EXPECT_TRUE(ini.documentText().endsWith(
        QStringLiteral("   </位置>\r\n   <DMP2_位置>\r\n      <Timmer>3</Timmer>\r\n   </DMP2_位置>\r\n</運用>")));

    yIni again{messages, folders, appSettings, shell};
    bool ok = false;
    again.GetTxt(file(), ok);
    again.GetGtx(QStringLiteral("位置"));
    EXPECT_EQ(again.vGtVal(QStringLiteral("Width"), QVariant(qint16(0))).toDouble(), 9600.0);
    again.SetVal(QStringLiteral("Width"), 12000);
    again.SetVal(QStringLiteral("Extra"), QStringLiteral("新しい値"));
    again.SetGtx();
    again.SetTxt(ok);
    const QString text = platform::TextCodec::fromAnsi(testsupport::readBytes(file()));
    QString expected = platform::TextCodec::fromAnsi(first);
    expected.replace(QStringLiteral("<Width>9600</Width>"), QStringLiteral("<Width>12000</Width>"));
    expected.replace(QStringLiteral("      <Trvw>0</Trvw>\r\n"),
                     QStringLiteral("      <Trvw>0</Trvw>\r\n      <Extra>新しい値</Extra>\r\n"));
    EXPECT_EQ(text, expected);
}

TEST_F(SettingsDocument, NumbersReadThroughTheLeadingNumberRule) {
    testsupport::writeBytes(file(),
                            ansi(QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n"
                                                "   <位置>\r\n      <Top>abc</Top>\r\n      <Left>  12.5cm</Left>\r\n"
                                                "      <Name>名前</Name>\r\n   </位置>\r\n</運用>")));
    load(file());
    ini.GetGtx(QStringLiteral("位置"));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Top"), QVariant(qint16(5))), QVariant(0.0)); // not the default
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Left"), QVariant(qint16(0))), QVariant(12.5));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Gone"), QVariant(qint16(7))), QVariant(qint16(7)));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Name"), QVariant(QString())), QVariant(QStringLiteral("名前")));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Gone"), QVariant(QStringLiteral("x"))), QVariant(QStringLiteral("x")));
    EXPECT_THROW(ini.vGtVal(QStringLiteral("Name"), QVariant(true)), util::VbError);
}

TEST_F(SettingsDocument, BooleansAndDatesReadBackWhatIsWritten) {
    load(file());
    const QDateTime when(QDate(2026, 12, 7), QTime(9, 5, 3));
    ini.GetGtx(QStringLiteral("g"));
    ini.SetVal(QStringLiteral("On"), true);
    ini.SetVal(QStringLiteral("Off"), false);
    ini.SetVal(QStringLiteral("When"), when);
    ini.SetGtx();
    ini.GetGtx(QStringLiteral("g"));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("On"), QVariant(false)), QVariant(true));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Off"), QVariant(true)), QVariant(false));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("When"), QVariant(QDateTime())).toDateTime(), when);
    EXPECT_TRUE(ini.groupText().contains(QStringLiteral("<On>True</On>")));
}

TEST_F(SettingsDocument, BlankLinesBeforeTheDocumentAreSkippedAndItsGroupsKept) {
    const QString doc = QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n"
                                       "   <他>\r\n      <a>1</a>\r\n   </他>\r\n</運用>");
    testsupport::writeBytes(file(), ansi(QStringLiteral("\r\n  \r\n") + doc));
    load(file());
    EXPECT_EQ(ini.documentText(), doc);
    savePosition(1, 2, 3, 4, 5, 0);
    save();
    const QString written = platform::TextCodec::fromAnsi(testsupport::readBytes(file()));
    EXPECT_TRUE(written.startsWith(doc.left(doc.size() - 5))) << written.toStdString(); // 他 is kept
    EXPECT_TRUE(written.contains(QStringLiteral("<Zoom>5</Zoom>")));
    // Blank lines before something that is no settings document: read as it is, never written.
    testsupport::writeBytes(file(), QByteArray("\r\n<junk>1</junk>"));
    load(file());
    savePosition(1, 2, 3, 4, 5, 0);
    bool ok = true;
    ini.SetTxt(ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(testsupport::readBytes(file()), QByteArray("\r\n<junk>1</junk>"));
}

TEST_F(SettingsDocument, DocumentsTheEditsCouldDamageAreNeverWritten) {
    const QString head = QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n");
    const QString shapes[] = {
        // Overlapping groups.
        head + QStringLiteral("   <位置>\r\n      <Left>1</Left>\r\n   <他>\r\n   </位置>\r\n      <a>1</a>\r\n   "
                              "</他>\r\n</運用>"),
        // A key's end tag missing: its end comes in another group.
        head + QStringLiteral("   <位置>\r\n      <Zoom>3\r\n   </位置>\r\n   <他>\r\n      <Zoom>1</Zoom>\r\n   "
                              "</他>\r\n</運用>"),
        // The root's end inside a value, the real one after it.
        head + QStringLiteral("   <他>\r\n      <a>x</運用>y</a>\r\n   </他>\r\n</運用>"),
        // A declaration that hides a tag, which the edits' search would take for the group's.
        QStringLiteral("<?xml version='1.0' </位置> ?>\r\n<運用>\r\n</運用>"),
        // A group inside a group, and a "<" inside a value.
        head + QStringLiteral("   <他>\r\n      <内>\r\n         <a>1</a>\r\n      </内>\r\n   </他>\r\n</運用>"),
        head + QStringLiteral("   <他>\r\n      <a>1 < 2</a>\r\n   </他>\r\n</運用>"),
    };
    for (const QString& shape : shapes) {
        testsupport::writeBytes(file(), ansi(shape));
        load(file()); // read as ever
        savePosition(1, 2, 3, 4, 5, 0);
        bool ok = true;
        ini.SetTxt(ok);
        EXPECT_FALSE(ok) << shape.toStdString();
        EXPECT_EQ(testsupport::readBytes(file()), ansi(shape)) << shape.toStdString();
    }
    // A value the program sets that would break the shape is not written either.
    testsupport::writeBytes(file(), ansi(kEmptyDoc));
    load(file());
    ini.GetGtx(QStringLiteral("他"));
    ini.SetVal(QStringLiteral("a"), QStringLiteral("</他>"));
    ini.SetGtx();
    bool ok = true;
    ini.SetTxt(ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(testsupport::readBytes(file()), ansi(kEmptyDoc));
}

TEST_F(SettingsDocument, HandEditedLayoutsReadWithoutComplaintAndSaveEachKeyOnce) {
    const QString head = QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n");
    struct Case {
        QString in, out; // the document as the user left it, and as the program saves it
    };
    const Case cases[] = {
        // The first key on its group's start line: it stays there, with its new value.
        {head + QStringLiteral("   <位置><Left>10</Left>\r\n      <Top>20</Top>\r\n   </位置>\r\n"
                               "   <他>\r\n      <a>1</a>\r\n   </他>\r\n</運用>"),
         head + QStringLiteral("   <位置><Left>1</Left>\r\n      <Top>2</Top>\r\n      <Width>3</Width>\r\n"
                               "      <Height>4</Height>\r\n      <Zoom>5</Zoom>\r\n      <Trvw>0</Trvw>\r\n"
                               "   </位置>\r\n   <他>\r\n      <a>1</a>\r\n   </他>\r\n</運用>")},
        // Line ends of a Unix editor: kept, the new keys' lines in the program's own.
        {QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\n<運用>\n   <位置>\n      <Left>10</Left>\n"
                        "   </位置>\n</運用>"),
         QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\n<運用>\n   <位置>\n      <Left>1</Left>\n"
                        "      <Top>2</Top>\r\n      <Width>3</Width>\r\n      <Height>4</Height>\r\n"
                        "      <Zoom>5</Zoom>\r\n      <Trvw>0</Trvw>\r\n   </位置>\n</運用>")},
    };
    for (const Case& c : cases) {
        testsupport::writeBytes(file(), ansi(c.in));
        load(file());
        ini.GetGtx(QStringLiteral("位置"));
        EXPECT_EQ(ini.vGtVal(QStringLiteral("Left"), QVariant(qint16(0))).toDouble(), 10.0);
        EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(' ').toStdString();
        savePosition(1, 2, 3, 4, 5, 0);
        save();
        EXPECT_EQ(QString::fromUtf8(platform::TextCodec::fromAnsi(testsupport::readBytes(file())).toUtf8()), c.out);
    }
    // A group on one line, and a file with CR line ends: read as written, every key kept.
    for (const QString& in :
         {head + QStringLiteral("   <位置><Left>10</Left><Mine>keep</Mine></位置>\r\n</運用>"),
          QString(head + QStringLiteral("   <位置>\r\n      <Left>10</Left>\r\n      <Mine>keep</Mine>"
                                        "\r\n   </位置>\r\n</運用>"))
              .replace(QStringLiteral("\r\n"), QStringLiteral("\r"))}) {
        testsupport::writeBytes(file(), ansi(in));
        load(file());
        ini.GetGtx(QStringLiteral("位置"));
        EXPECT_EQ(ini.vGtVal(QStringLiteral("Left"), QVariant(qint16(0))).toDouble(), 10.0);
        savePosition(1, 2, 3, 4, 5, 0);
        save();
        load(file());
        ini.GetGtx(QStringLiteral("位置"));
        EXPECT_EQ(ini.vGtVal(QStringLiteral("Mine"), QString()).toString(), QStringLiteral("keep"));
        EXPECT_EQ(ini.vGtVal(QStringLiteral("Top"), QVariant(qint16(0))).toDouble(), 2.0);
    }
    // A group twice, which the edits would see only the first of: read, never written.
    const QString twice = head + QStringLiteral("   <位置>\r\n      <Left>10</Left>\r\n   </位置>\r\n"
                                                "   <位置>\r\n      <Left>30</Left>\r\n   </位置>\r\n</運用>");
    testsupport::writeBytes(file(), ansi(twice));
    load(file());
    savePosition(1, 2, 3, 4, 5, 0);
    bool ok = true;
    ini.SetTxt(ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(testsupport::readBytes(file()), ansi(twice));
    // A pipe where the file should be is neither read nor written (either would wait for ever).
    const QString pipe = file("Pipe.xml");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ini.GetTxt(pipe, ok);
    EXPECT_FALSE(ok);
    savePosition(1, 2, 3, 4, 5, 0);
    ini.SetTxt(ok);
    EXPECT_FALSE(ok);
}

TEST_F(SettingsDocument, DvFileNamesMapToTheFileWithoutDv) {
    testsupport::writeBytes(file("User.xml"), ansi(kEmptyDoc));
    load(file("User_dv.XML"));
    EXPECT_EQ(ini.settingsPath(), file("User.xml"));
    savePosition(1, 2, 3, 4, 5, 0);
    save();
    EXPECT_FALSE(QFile::exists(file("User_dv.XML")));
    EXPECT_TRUE(testsupport::readBytes(file("User.xml")).contains("<Zoom>5</Zoom>"));
}

TEST_F(SettingsDocument, MarkerBecomesALineBreakOnlyWhenAdded) {
    load(file());
    ini.GetGtx(QStringLiteral("g"));
    ini.SetVal(QStringLiteral("k"), QStringLiteral("a‡b"));
    EXPECT_TRUE(ini.groupText().contains(QStringLiteral("<k>a\r\nb</k>")));
    ini.SetVal(QStringLiteral("k"), QStringLiteral("c‡d")); // an existing key keeps the character
    EXPECT_TRUE(ini.groupText().contains(QStringLiteral("<k>c‡d</k>")));
}

TEST_F(SettingsDocument, GroupNamesAreFoundAtTheirFirstOccurrence) {
    testsupport::writeBytes(file(), ansi(QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n"
                                                        "   <A>\r\n      <Zoom>3</Zoom>\r\n   </A>\r\n"
                                                        "   <Zoom>\r\n      <X>9</X>\r\n   </Zoom>\r\n</運用>")));
    load(file());
    ini.GetGtx(QStringLiteral("Zoom")); // the key inside group A comes first
    EXPECT_EQ(ini.groupText(), QString());
    ini.GetGtx(QStringLiteral("A"));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Zoom"), QVariant(qint16(0))).toDouble(), 3.0);
}

TEST_F(SettingsDocument, DamagedGroupShowsTheMessageAndIsNotWritten) {
    const QString damaged = QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n"
                                           "   <位置>\r\n      <Left>1440</Left>\r\n"
                                           "   <他>\r\n      <a>1</a>\r\n   </他>\r\n</運用>");
    testsupport::writeBytes(file(), ansi(damaged));
    load(file());
    ini.GetGtx(QStringLiteral("位置"));
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(messages.texts[0], QStringLiteral("<位置> の設定が読み込めません\rﾕｰｻﾞｰ環境ﾌｧｲﾙ(") + file() +
                                     QStringLiteral(") が破損しています"));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Left"), QVariant(qint16(0))).toDouble(), 0.0);
    savePosition(100, 200, 300, 400, 2, 1);
    bool ok = true;
    ini.SetTxt(ok);
    EXPECT_FALSE(ok); // the group's end is missing: the file stays as it was
    EXPECT_EQ(testsupport::readBytes(file()), ansi(damaged));
}

TEST_F(SettingsDocument, DamagedKeyShowsTheMessage) {
    testsupport::writeBytes(file(), ansi(QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n"
                                                        "   <位置>\r\n      </Top>5<Top>\r\n   </位置>\r\n</運用>")));
    load(file());
    ini.GetGtx(QStringLiteral("位置"));
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Top"), QVariant(qint16(9))), QVariant(qint16(9)));
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].startsWith(QStringLiteral("<Top> の設定が読み込めません\r")));
}

TEST_F(SettingsDocument, TagsTooCloseAreRebuiltNotFatal) {
    testsupport::writeBytes(
        file(), ansi(QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n"
                                    "   <位置></位置>\r\n   <他>\r\n      <a>1</a>\r\n   </他>\r\n</運用>")));
    load(file());
    ini.GetGtx(QStringLiteral("位置"));
    EXPECT_EQ(ini.groupText(), QString());
    EXPECT_EQ(ini.vGtVal(QStringLiteral("Zoom"), QVariant(qint16(1))), QVariant(qint16(1)));
    savePosition(1, 2, 3, 4, 5, 0);
    save();
    yIni again{messages, folders, appSettings, shell};
    bool ok = false;
    again.GetTxt(file(), ok);
    again.GetGtx(QStringLiteral("位置"));
    EXPECT_EQ(again.vGtVal(QStringLiteral("Zoom"), QVariant(qint16(1))).toDouble(), 5.0);
    again.GetGtx(QStringLiteral("他"));
    EXPECT_EQ(again.vGtVal(QStringLiteral("a"), QVariant(qint16(0))).toDouble(), 1.0);
    EXPECT_EQ(again.documentText().count(QStringLiteral("<位置>")), 1);
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(SettingsDocument, DocumentWithoutRootEndKeepsItsContent) {
    const QString cut = QStringLiteral("<?xml version='1.0' encoding='Shift-JIS' ?>\r\n<運用>\r\n"
                                       "   <他>\r\n      <a>1</a>\r\n   </他>");
    testsupport::writeBytes(file(), ansi(cut));
    load(file());
    savePosition(1, 2, 3, 4, 5, 0);
    save();
    const QString written = platform::TextCodec::fromAnsi(testsupport::readBytes(file()));
    EXPECT_TRUE(written.startsWith(cut + QStringLiteral("\r\n   <位置>\r\n")));
    EXPECT_TRUE(written.endsWith(QStringLiteral("   </位置>\r\n</運用>")));
}

TEST_F(SettingsDocument, LargeDocumentsWorkPastSixteenBitPositions) {
    load(file());
    ini.GetGtx(QStringLiteral("big"));
    ini.SetVal(QStringLiteral("text"), QString(40000, QChar(u'字')));
    ini.SetGtx();
    savePosition(1440, 720, 9600, 7200, 4, 2);
    save();
    yIni again{messages, folders, appSettings, shell};
    bool ok = false;
    again.GetTxt(file(), ok);
    again.GetGtx(QStringLiteral("位置"));
    EXPECT_EQ(again.vGtVal(QStringLiteral("Trvw"), QVariant(qint16(0))).toDouble(), 2.0);
    again.GetGtx(QStringLiteral("big"));
    EXPECT_EQ(again.vGtVal(QStringLiteral("text"), QVariant(QString())).toString().size(), 40000);
}

TEST_F(SettingsDocument, UnreadableFileIsNeverOverwritten) {
    // Bytes that are not CP932 text (here UTF-16) cannot be read as the document.
    QByteArray foreign("\xFF\xFE<\0?\0x\0m\0l\0", 12);
    foreign.append(QByteArray("\x80\xFF\xFD\xFE", 4));
    testsupport::writeBytes(file(), foreign);
    bool ok = true;
    ini.GetTxt(file(), ok);
    EXPECT_FALSE(ok);
    savePosition(1, 2, 3, 4, 5, 0);
    ok = true;
    ini.SetTxt(ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(testsupport::readBytes(file()), foreign);
}

TEST_F(SettingsDocument, NothingIsWrittenBeforeALoad) {
    bool ok = true;
    ini.SetTxt(ok);
    EXPECT_TRUE(ok); // left as the caller set it
    ok = false;
    ini.SetTxt(ok);
    EXPECT_FALSE(ok);
}

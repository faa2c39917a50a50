// Tests of zClt: existence with wildcards, whole-text writes in CP932, delimiter trimming.
#include "util/zClt.h"
#include "platform/TextCodec.h"
#include "support/Fixtures.h"
#include "util/Vb.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using util::zClt;

class ZCltFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        testsupport::writeBytes(tmp.filePath(QStringLiteral("a.txdb")), "x");
        testsupport::writeBytes(tmp.filePath(QStringLiteral(".hidden.mdb")), "x");
        QDir(tmp.path()).mkdir(QStringLiteral("folder.txdb"));
    }
    QTemporaryDir tmp;
    zClt clt;
};

TEST_F(ZCltFiles, ExactPathsCountOnlyFiles) {
    EXPECT_TRUE(clt.FbExFile(tmp.filePath(QStringLiteral("a.txdb"))));
    EXPECT_FALSE(clt.FbExFile(tmp.filePath(QStringLiteral("b.txdb"))));
    EXPECT_FALSE(clt.FbExFile(tmp.filePath(QStringLiteral("folder.txdb")))); // a folder is not a file
    EXPECT_FALSE(clt.FbExFile(QString()));
}

TEST_F(ZCltFiles, WildcardsMatchOnlyWithBLike) {
    const QString pattern = tmp.filePath(QStringLiteral("*.txdb"));
    EXPECT_FALSE(clt.FbExFile(pattern, false)); // looks for a file literally named "*.txdb"
    EXPECT_TRUE(clt.FbExFile(pattern, true));
    EXPECT_TRUE(clt.FbExFile(tmp.filePath(QStringLiteral("?.txdb")), true));
    EXPECT_FALSE(clt.FbExFile(tmp.filePath(QStringLiteral("??.txdb")), true));
    EXPECT_FALSE(clt.FbExFile(tmp.filePath(QStringLiteral("*.mdb")), true));    // hidden files do not count
    EXPECT_FALSE(clt.FbExFile(tmp.filePath(QStringLiteral("folder*")), true));  // folders do not count
    EXPECT_FALSE(clt.FbExFile(tmp.filePath(QStringLiteral("[a].txdb")), true)); // brackets are literal
    EXPECT_FALSE(clt.FbExFile(tmp.path() + QStringLiteral("/*/a.txdb"), true)); // not in folder parts
    EXPECT_FALSE(clt.FbExFile(tmp.path() + QStringLiteral("/missing/*.txdb"), true));
}

TEST_F(ZCltFiles, WritesTextInCp932WithoutLineBreak) {
    const QString path = tmp.filePath(QStringLiteral("w.dxml"));
    clt.F_StTxtFL(path, QStringLiteral("髙橋～①"), false);
    EXPECT_EQ(testsupport::readBytes(path), platform::TextCodec::toAnsi(QStringLiteral("髙橋～①")));
    EXPECT_EQ(testsupport::readBytes(path).size(), 8);
    clt.F_StTxtFL(path, QStringLiteral("ab"), false); // replaces
    EXPECT_EQ(testsupport::readBytes(path), QByteArray("ab"));
}

TEST_F(ZCltFiles, AppendCreatesAndConcatenates) {
    const QString path = tmp.filePath(QStringLiteral("new.txt"));
    clt.F_StTxtFL(path, QStringLiteral("日本"), true);
    clt.F_StTxtFL(path, QStringLiteral("日本"), true);
    EXPECT_EQ(platform::TextCodec::fromAnsi(testsupport::readBytes(path)), QStringLiteral("日本日本"));
}

TEST_F(ZCltFiles, UnwritablePathIsAnErrorForTheCaller) {
    EXPECT_THROW(clt.F_StTxtFL(tmp.filePath(QStringLiteral("no/such/folder/x.txt")), QStringLiteral("x"), false),
                 util::VbError);
    EXPECT_THROW(clt.F_StTxtFL(tmp.filePath(QStringLiteral("folder.txdb")), QStringLiteral("x"), false), util::VbError);
}

TEST(ZCltText, DelRwdRemovesTrailingDelimiters) {
    QString list = QStringLiteral("a, b ,c,,,");
    QString delim = QStringLiteral(",");
    zClt::T_DelRwd(list, delim);
    EXPECT_EQ(list, QStringLiteral("a,b,c"));

    list = QStringLiteral(",,,");
    zClt::T_DelRwd(list, delim);
    EXPECT_EQ(list, QString());

    list = QStringLiteral("0-5,5-9,");
    delim.clear();
    zClt::T_DelRwd(list, delim);
    EXPECT_EQ(list, QStringLiteral("0-5,5-9"));
    EXPECT_EQ(delim, QStringLiteral(",")); // written back to the caller

    list = QStringLiteral("x; y;;");
    delim = QStringLiteral(";");
    zClt::T_DelRwd(list, delim);
    EXPECT_EQ(list, QStringLiteral("x; y")); // blanks are kept for other delimiters
}

// Fuzz target: reading a damaged find index. One small database is indexed once; each input changes
// bytes of its index (each change: a place and a value). Properties: a find through the changed
// index answers nothing or exactly the statement's rows (the block sums catch a change a find reads);
// with the sums made to fit the changed bytes, as a change that fooled them would, the reading of
// every section still stays inside the file and ends.
#include "FuzzCheck.h"
#include "find/FindIndex.h"
#include "find/IndexChecksum.h"

#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <sqlite3.h>

namespace {

const std::atomic_bool kGoOn{false};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir* dir = nullptr;
    static QString db;
    static QByteArray good;
    static QVector<find::FoundPage> statement;
    if (!dir) {
        dir = new QTemporaryDir;
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir->filePath(QStringLiteral("cache"))));
        db = dir->filePath(QStringLiteral("d.txdb"));
        sqlite3* h = nullptr;
        sqlite3_open(QFile::encodeName(db).constData(), &h);
        sqlite3_exec(h,
                     "CREATE TABLE msDoc (noDoc INTEGER PRIMARY KEY, szDoc TEXT, txDoc TEXT);"
                     "INSERT INTO msDoc VALUES (1, 'b', 'alpha beta 文書 gamma'), (2, 'a', 'beta_x 100%'),"
                     "(3, 'a', NULL), (4, 'c', 'Alpha ALPHA delta 検索する 文書'), (5, NULL, 'zeta alphabet');",
                     nullptr, nullptr, nullptr);
        sqlite3_close(h);
        QString error;
        fuzzcheck::check(find::findindex::build(db, kGoOn, {}, error), "the index builds", error);
        QFile f(find::findindex::indexPath(db));
        f.open(QIODevice::ReadOnly);
        good = f.readAll();
        statement = *find::findindex::scan(db, QStringLiteral("a"), kGoOn);
    }
    if (size < 1 || size > 512)
        return 0;
    QByteArray bad = good;
    const bool resum = data[0] & 1;
    for (size_t i = 1; i + 3 <= size; i += 3) {
        const qsizetype at = qsizetype((data[i] << 8 | data[i + 1]) % bad.size());
        bad[at] = char(data[i + 2]);
    }
    if (resum && bad.size() > 44 + 80) {
        // The sums of the blocks and the footer's own made to fit the changed bytes, as a change that
        // fooled them would, where the footer still says where the sums are.
        const qsizetype foot = bad.size() - 80;
        const qint64 sumsAt = qFromLittleEndian<qint64>(bad.constData() + foot + 56);
        const qint64 block = qint64(find::IndexChecksum::kBlock);
        if (sumsAt >= 44 && sumsAt <= foot && sumsAt + 8 * ((sumsAt - 44 + block - 1) / block) == foot) {
            const auto* bytes = reinterpret_cast<const uchar*>(bad.constData());
            for (qint64 at = 44, b = 0; at < sumsAt; at += block, ++b)
                qToLittleEndian(find::IndexChecksum::blockSum(bytes + at, size_t(std::min(block, sumsAt - at)), quint64(b)),
                                bad.data() + sumsAt + 8 * b);
            find::IndexChecksum own;
            own.add(bad.constData() + sumsAt, size_t(foot + 64 - sumsAt));
            qToLittleEndian(own.value(), bad.data() + foot + 64);
        }
    }
    {
        // A new file each time, as the builder writes it: a file rewritten in place within one tick
        // of the clock would look unchanged to the reader's memory of what it checked.
        QSaveFile f(find::findindex::indexPath(db));
        f.open(QIODevice::WriteOnly);
        f.write(bad);
        f.commit();
    }
    for (const char* words : {"a", "beta", "文書", "_l%a", "zz"}) {
        const std::optional<QVector<find::FoundPage>> found =
            find::findindex::find(db, QString::fromUtf8(words), kGoOn);
        if (!resum && found && QByteArray(words) == "a")
            fuzzcheck::check(*found == statement, "a damaged index answers as the statement or not at all");
    }
    return 0;
}

// FindIndex: checks and searches the find index; runs the find statement off the user-interface
// thread.
#include "find/FindIndex.h"

#include "docdb/Schema.h"
#include "find/IndexChecksum.h"
#include "find/IndexFile.h"
#include "find/PairBits.h"

#include <QFileInfo>
#include <QtEndian>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace find::findindex {

using pairbits::kPairBytes;
using pairbits::pairsNeeded;

namespace {

/// One bucket's list of page places (delta-coded) as bytes read from the index.
struct BucketList {
    const uchar* from;
    const uchar* to;
    size_t bytes() const { return size_t(to - from); }
};

/// Keeps in the running only the pages on the list: a page still in after `round` lists has the
/// mark `round`, and each page on this list that has it moves on to `round + 1`. Returns how many
/// moved on.
quint64 narrow(const BucketList& list, quint8 round, std::vector<quint8>& marks) {
    quint64 kept = 0;
    const uchar* p = list.from;
    qint64 place = -1;
    while (p < list.to) {
        quint32 v = 0;
        int shift = 0;
        while (p < list.to && (*p & 0x80)) {
            v |= quint32(*p++ & 0x7F) << (shift & 31);
            shift += 7;
        }
        if (p < list.to)
            v |= quint32(*p++) << (shift & 31);
        place += v;
        if (place >= 0 && quint64(place) < marks.size() && marks[size_t(place)] == round) {
            marks[size_t(place)] = quint8(round + 1);
            ++kept;
        }
    }
    return kept;
}

/// One page of the title order: its text's place, its number and where its title lies.
struct Listed {
    quint32 place;
    qint32 no;
    quint32 titleAt, titleLen;
};
/// The title order as the index holds it; titles are decoded for the pages found only.
struct TitleOrder {
    std::vector<uchar> bytes;
    std::vector<Listed> listed;
    QString title(const Listed& l) const {
        return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()) + l.titleAt, l.titleLen);
    }
};

/// The index file of one find. What a find reads it reads by pieces into buffers of its own, each
/// piece with the whole blocks around it, which are checked against their sums: a find that reads
/// little holds little. A find that reads most texts maps the whole file instead.
class IndexReader {
public:
    explicit IndexReader(const QString& path) : m_file(path) {
        if (m_file.open(QIODevice::ReadOnly))
            m_size = m_file.size();
    }
    ~IndexReader() {
        if (m_map)
            m_file.unmap(m_map);
    }
    Q_DISABLE_COPY_MOVE(IndexReader)
    qint64 size() const { return m_size; }
    int handle() const { return m_file.handle(); }
    /// Bytes [from, from + n) as they are on disk, into buf; false when the file is shorter.
    bool read(qint64 from, qint64 n, std::vector<uchar>& buf) const {
        buf.resize(size_t(std::max<qint64>(0, n)));
        qint64 done = 0;
        while (done < n) {
            const ssize_t got = ::pread(m_file.handle(), buf.data() + done, size_t(n - done), off_t(from + done));
            if (got <= 0)
                return false;
            done += got;
        }
        return true;
    }
    /// The whole file mapped; null when it cannot be.
    const uchar* mapped() {
        if (!m_map && m_size > 0)
            m_map = m_file.map(0, m_size);
        return m_map;
    }

private:
    QFile m_file;
    qint64 m_size = -1;
    uchar* m_map = nullptr;
};

/// The title order of an index, read once and kept for the finds that follow on the same index.
/// Nothing when the section is damaged.
std::shared_ptr<const TitleOrder> titleOrder(const std::function<const uchar*(qint64, qint64)>& piece, qint64 orderAt,
                                             qint64 end, quint64 count, const QString& path, const FileStamp& stamp,
                                             qint64 size) {
    static std::mutex lock;
    static QString keptPath;
    static FileStamp keptStamp;
    static qint64 keptSize = -1;
    static std::shared_ptr<const TitleOrder> kept;
    const std::lock_guard<std::mutex> guard(lock);
    if (kept && keptPath == path && keptStamp == stamp && keptSize == size)
        return kept;
    const uchar* d = piece(orderAt, end - orderAt);
    if (!d)
        return nullptr;
    const qint64 len = end - orderAt;
    auto order = std::make_shared<TitleOrder>();
    order->bytes.assign(d, d + len);
    d = order->bytes.data();
    const quint32 listed = len >= 4 ? qFromLittleEndian<quint32>(d) : 0;
    order->listed.reserve(std::min<quint64>(listed, quint64(len / 12)));
    qint64 at = 4;
    for (quint32 i = 0; i < listed; ++i) {
        if (at + 12 > len)
            return nullptr;
        const quint32 place = qFromLittleEndian<quint32>(d + at), no = qFromLittleEndian<quint32>(d + at + 4),
                      titleLen = qFromLittleEndian<quint32>(d + at + 8);
        at += 12;
        if (at + titleLen > len || place >= count)
            return nullptr;
        order->listed.push_back({place, qint32(no), quint32(at), titleLen});
        at += titleLen;
    }
    kept = std::move(order);
    keptPath = path;
    keptStamp = stamp;
    keptSize = size;
    return kept;
}

/// Removes a damaged index, unless it has been replaced since it was read, so that it is built anew.
void discard(qint64 size, const QString& path) {
    if (QFileInfo(path).size() == size) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral(".ok"));
    }
}

/// Finds that leave more candidates than this read the texts from a mapping of the whole file.
constexpr quint64 kMapAbove = 4096;

} // namespace

bool isCurrent(const QString& dbFile) {
    QFile f(indexPath(dbFile));
    if (!f.open(QIODevice::ReadOnly) || f.size() < 44 + kFooter)
        return false;
    const QByteArray head = f.read(44);
    const std::optional<FileStamp> s =
        head.size() == 44 ? stampOf(reinterpret_cast<const uchar*>(head.constData())) : std::nullopt;
    return s && s->size >= 0 && *s == FileStamp::of(dbFile);
}

namespace {

std::optional<QVector<FoundPage>> findIn(const QString& dbFile, const QString& text, const std::atomic_bool& cancel) {
    const QString path = indexPath(dbFile);
    IndexReader f(path);
    const qint64 size = f.size();
    std::vector<uchar> headBuf, footBuf;
    if (size < 44 + kFooter || !f.read(0, 44, headBuf) || !f.read(size - kFooter, kFooter, footBuf))
        return std::nullopt;
    const std::optional<FileStamp> s = stampOf(headBuf.data());
    if (!s || s->size < 0 || *s != FileStamp::of(dbFile))
        return std::nullopt; // a stale index never answers
    // A damaged index answers nothing, and goes, so that it is built anew.
    auto broken = [&] {
        discard(size, path);
        return std::optional<QVector<FoundPage>>();
    };
    const uchar* ft = footBuf.data();
    auto field = [ft](int i) { return qFromLittleEndian<quint64>(ft + 8 * i); };
    if (std::memcmp(ft + 72, kMagic, 8) != 0)
        return broken();
    const qint64 foot = size - kFooter;
    const qint64 offsetsAt = qint64(field(0)), headsAt = qint64(field(1)), bucketsAt = qint64(field(2)),
                 postingsAt = qint64(field(3)), orderAt = qint64(field(4)), bytesAt = qint64(field(5)),
                 sumsAt = qint64(field(7));
    const quint64 count = field(6);
    // Every place within the file and a page count the file has room for, before any sums of them
    // (which a damaged footer could otherwise carry round past the largest number).
    for (const qint64 at : {offsetsAt, headsAt, bucketsAt, postingsAt, orderAt, bytesAt, sumsAt})
        if (at < 44 || at > foot)
            return broken();
    constexpr qint64 block = qint64(IndexChecksum::kBlock);
    if (count > quint64(size) / quint64(kSlot + kPairBytes) || bytesAt < orderAt || bytesAt + 8 * 256 != sumsAt ||
        offsetsAt + qint64(8 * (count + 1)) != headsAt || headsAt + qint64((kSlot + kPairBytes) * count) != bucketsAt ||
        bucketsAt > postingsAt || postingsAt > orderAt || sumsAt + 8 * ((sumsAt - 44 + block - 1) / block) != foot)
        return broken();
    // The sums and the footer are checked whole; every other block when it is first read.
    std::vector<uchar> sums;
    if (!f.read(sumsAt, foot + 64 - sumsAt, sums))
        return broken();
    {
        IndexChecksum own;
        own.add(reinterpret_cast<const char*>(sums.data()), sums.size());
        if (own.value() != field(8))
            return broken();
    }
    const BlockCheck check(path, 44, sumsAt, sums.data(), f.handle());
    // A piece of the index into buf, with the whole blocks around it checked; null when it lies
    // outside the summed part or is damaged.
    auto piece = [&](qint64 from, qint64 n, std::vector<uchar>& buf) -> const uchar* {
        if (from < 44 || n < 0 || from + n > sumsAt)
            return nullptr;
        const qint64 a = 44 + (from - 44) / block * block;
        const qint64 e = std::min(sumsAt, 44 + (from + n - 44 + block - 1) / block * block);
        if (!f.read(a, e - a, buf) || !check.intact(from, n, a, buf.data()))
            return nullptr;
        return buf.data() + (from - a);
    };
    // The bucket table's length tells how many buckets the index has: a power of two in the range.
    int bucketBits = kMinBucketBits;
    while (bucketBits < kMaxBucketBits && 8 * ((qint64(1) << bucketBits) + 1) != postingsAt - bucketsAt)
        ++bucketBits;
    if (8 * ((qint64(1) << bucketBits) + 1) != postingsAt - bucketsAt)
        return broken();
    std::vector<uchar> offsetsBuf, bytesBuf;
    const uchar* offsets = piece(offsetsAt, 8 * qint64(count + 1), offsetsBuf);
    const uchar* byteCounts = piece(bytesAt, 8 * 256, bytesBuf);
    if (!offsets || !byteCounts)
        return broken();
    auto offsetOf = [offsets](quint64 p) { return qFromLittleEndian<quint64>(offsets + 8 * p); };
    ByteCounts counts;
    for (int b = 0; b < 256; ++b)
        counts[size_t(b)] = qFromLittleEndian<quint64>(byteCounts + 8 * b);
    std::vector<std::string> words;
    for (const QString& w : wordsOf(text)) {
        // The statement's text ends at a NUL, so that SQLite refuses it: let the statement say so.
        if (w.contains(QChar(0)))
            return std::nullopt;
        if (w.toUtf8().size() + 2 > kMaxPattern)
            return std::nullopt; // SQLite refuses such a pattern: let the statement say so
        words.push_back(fold(w));
    }
    // Candidates: pages holding every trigram of every literal run of every word (a few spread
    // trigrams of a long run are enough); each candidate's text then decides.
    std::vector<BucketList> lists;
    std::vector<std::vector<uchar>> listBufs;
    for (const std::string& w : words) {
        size_t start = 0;
        while (start < w.size()) {
            const size_t stop = std::min(w.find_first_of("%_", start), w.size());
            const size_t len = stop - start;
            if (len >= 3) {
                const size_t step = std::max<size_t>(1, (len - 2) / 8);
                for (size_t i = start; i + 3 <= stop; i += step) {
                    const quint32 bucket = bucketOf(reinterpret_cast<const uchar*>(w.data()) + i, bucketBits);
                    std::vector<uchar> entryBuf;
                    const uchar* entry = piece(bucketsAt + 8 * qint64(bucket), 16, entryBuf);
                    if (!entry)
                        return broken();
                    // Places counted from the postings, kept inside them whatever a damaged table holds.
                    const quint64 room = quint64(orderAt - postingsAt);
                    const quint64 to = std::min(qFromLittleEndian<quint64>(entry + 8), room);
                    const quint64 from = std::min(qFromLittleEndian<quint64>(entry), to);
                    listBufs.emplace_back();
                    const uchar* list = piece(postingsAt + qint64(from), qint64(to - from), listBufs.back());
                    if (!list)
                        return broken();
                    lists.push_back({list, list + (to - from)});
                }
            }
            start = stop + 1;
        }
    }
    // Shortest lists first, each marking only the pages still in; a list of about one byte a page
    // names nearly every page and is not worth reading, nor are the longer ones after it.
    std::sort(lists.begin(), lists.end(),
              [](const BucketList& a, const BucketList& b) { return a.bytes() < b.bytes(); });
    std::vector<quint8> candidates(size_t(count), 0);
    quint8 rounds = 0;
    quint64 left = count;
    for (const BucketList& l : lists) {
        if (rounds == 128 || l.bytes() >= count - count / 16)
            break;
        left = narrow(l, rounds++, candidates);
        if (rounds % 2 == 0 && cancel)
            return std::nullopt;
    }
    listBufs.clear();
    // Then the pairs the words need, unless few pages are left to read anyway.
    const qint64 pairsAt = headsAt + qint64(kSlot * count);
    if (const std::vector<std::pair<int, uchar>> needed = pairsNeeded(words); !needed.empty() && left > count / 32) {
        std::vector<uchar> columnBuf;
        for (const auto& [byte, bits] : needed) {
            const uchar* column = piece(pairsAt + qint64(byte) * qint64(count), qint64(count), columnBuf);
            if (!column)
                return broken();
            quint8* mark = candidates.data();
            for (size_t p = 0; p < size_t(count); ++p) // without branches, so that it runs 32 pages a step
                mark[p] = quint8(mark[p] + quint8((mark[p] == rounds) & ((column[p] & bits) == bits)));
            if (++rounds == 255 || cancel)
                break;
        }
        if (cancel)
            return std::nullopt;
        left = quint64(std::count(candidates.begin(), candidates.end(), rounds));
    }
    // Many candidates: their texts are read from the whole file mapped, and asked for ahead.
    const uchar* map = left > kMapAbove ? f.mapped() : nullptr;
    // The candidates' texts.
    std::vector<LikeWord> compiled;
    for (const std::string& w : words)
        compiled.emplace_back(w, &counts);
    std::vector<quint8> hits(size_t(count), 0);
    std::atomic_bool damaged{false};
    auto decide = [&](quint64 first, quint64 last) {
        std::vector<uchar> textBuf, slotBuf;
        // Bytes of the file, checked: from the mapping or read into buf.
        auto fileBytes = [&](qint64 at, qint64 n, std::vector<uchar>& buf) -> const uchar* {
            if (!map)
                return piece(at, n, buf);
            return check.intact(at, n, 0, map) ? map + at : nullptr;
        };
        int headsHelp = 8;     // how well the slots have decided pages lately, 0 to 8
        quint64 ahead = first; // the next candidate, whose text is asked for early
        for (quint64 p = first; p < last; ++p) {
            if (candidates[p] != rounds)
                continue;
            // While texts are read (slots do not decide the pages): the texts of the candidates lie
            // apart, each too short for the processor to notice that it is read straight through, so
            // ask for the start of the next one while this one is read.
            if (map && headsHelp < 4) {
                ahead = std::max(ahead, p + 1);
                while (ahead < last && candidates[ahead] != rounds)
                    ++ahead;
                if (ahead < last) {
                    const quint64 at = std::min<quint64>(offsetOf(ahead) & ~kNullText, quint64(offsetsAt - 44));
                    const char* next = reinterpret_cast<const char*>(map) + 44 + at;
                    for (int line = 0; line < 8; ++line)
                        __builtin_prefetch(next + 64 * line);
                }
            }
            const quint64 from = offsetOf(p), to = offsetOf(p + 1) & ~kNullText;
            if (from & kNullText) {
                hits[p] = words.empty(); // a Null text matches no LIKE, but no words list every page
                continue;
            }
            if (to < from || to > quint64(offsetsAt - 44)) {
                damaged = true;
                return;
            }
            // A text no longer than a slot holds is read as it is. Of a longer one the slot is read
            // first, and decides the page alone when every word is in it. Where slots seldom decide
            // (rare words) reading them first only adds to what is read: then the texts are read
            // straight away, with a slot tried now and then to notice when they help again.
            const size_t length = size_t(to - from);
            // Read piece by piece, a slot costs a read of its own as the text does: texts alone.
            const bool viaHead = map && length > size_t(kHeadBytes) && (headsHelp >= 4 || p % 64 == 0);
            std::string_view head;
            if (viaHead) {
                const uchar* slot = fileBytes(headsAt + qint64(kSlot * p), kSlot, slotBuf);
                if (!slot) {
                    damaged = true;
                    return;
                }
                if (map) { // the slots lie a page apart in memory, too far for the processor to guess
                    __builtin_prefetch(slot + 8 * kSlot);
                    __builtin_prefetch(slot + 8 * kSlot + 64);
                }
                head = std::string_view(reinterpret_cast<const char*>(slot) + 2,
                                        std::min<size_t>(qFromLittleEndian<quint16>(slot), kHeadBytes));
            }
            bool all = true, headAlone = true;
            std::string_view page;
            for (const LikeWord& w : compiled) {
                if (viaHead && w.in(head))
                    continue;
                headAlone = false;
                if (page.data() == nullptr) {
                    const uchar* t = fileBytes(44 + qint64(from), qint64(length), textBuf);
                    if (!t) {
                        damaged = true;
                        return;
                    }
                    page = std::string_view(reinterpret_cast<const char*>(t), length);
                }
                if (!w.in(page)) {
                    all = false;
                    break;
                }
            }
            if (viaHead)
                headsHelp = std::clamp(headsHelp + (headAlone ? 1 : -1), 0, 8);
            hits[p] = all;
            if (p % 4096 == 0 && cancel)
                return;
        }
    };
    // Two readers take pieces of the pages in turn, so that neither waits for the other at the end.
    std::atomic<quint64> nextPiece{0};
    auto reader = [&] {
        constexpr quint64 kPiece = 4096;
        for (quint64 at = nextPiece.fetch_add(kPiece); at < count && !damaged && !cancel;
             at = nextPiece.fetch_add(kPiece))
            decide(at, std::min(count, at + kPiece));
    };
    std::thread other(reader);
    reader();
    other.join();
    if (damaged)
        return broken();
    if (cancel)
        return std::nullopt;
    std::vector<uchar> orderBuf;
    const std::shared_ptr<const TitleOrder> order = titleOrder(
        [&](qint64 at, qint64 n) { return piece(at, n, orderBuf); }, orderAt, bytesAt, count, path, *s, size);
    if (!order)
        return broken();
    QVector<FoundPage> pages;
    pages.reserve(qsizetype(std::count(hits.begin(), hits.end(), quint8(1))));
    for (const Listed& l : order->listed)
        if (hits[l.place])
            pages.push_back({l.no, order->title(l)});
    return pages;
}

} // namespace

std::optional<QVector<FoundPage>> find(const QString& dbFile, const QString& text, const std::atomic_bool& cancel) {
    try {
        return findIn(dbFile, text, cancel);
    } catch (const std::exception&) {
        return std::nullopt; // out of memory for a find: the statement answers
    }
}

namespace {

/// Stamps the index anew, in place, when it still holds the stamp `from`. The header is in no sum:
/// an index read back whole before stays so.
bool restamp(const QString& dbFile, const FileStamp& from, const FileStamp& to) {
    const QString path = indexPath(dbFile);
    const bool wasVerified = BlockCheck::verified(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    const QByteArray head = f.read(44);
    const std::optional<FileStamp> s =
        head.size() == 44 ? stampOf(reinterpret_cast<const uchar*>(head.constData())) : std::nullopt;
    if (!s || *s != from || !f.seek(8) || f.write(stampBytes(to)) != 36 || !f.flush())
        return false;
    f.close();
    if (wasVerified)
        BlockCheck::markVerified(path, f.handle());
    return true;
}

} // namespace

bool verifyWhole(const QString& dbFile, const std::atomic_bool* cancel) {
    const QString path = indexPath(dbFile);
    IndexReader f(path);
    const qint64 size = f.size();
    std::vector<uchar> foot, sums, buf;
    auto damaged = [&] {
        discard(size, path);
        return false;
    };
    if (size < 44 + kFooter || !f.read(size - kFooter, kFooter, foot))
        return false;
    if (std::memcmp(foot.data() + 72, kMagic, 8) != 0)
        return damaged();
    constexpr qint64 block = qint64(IndexChecksum::kBlock);
    const qint64 sumsAt = qint64(qFromLittleEndian<quint64>(foot.data() + 56));
    if (sumsAt < 44 || sumsAt + 8 * ((sumsAt - 44 + block - 1) / block) != size - kFooter ||
        !f.read(sumsAt, size - kFooter + 64 - sumsAt, sums))
        return damaged();
    IndexChecksum own;
    own.add(reinterpret_cast<const char*>(sums.data()), sums.size());
    if (own.value() != qFromLittleEndian<quint64>(foot.data() + 64))
        return damaged();
    const BlockCheck check(path, 44, sumsAt, sums.data(), f.handle(), /*trustMark=*/false);
#ifdef Q_OS_UNIX
    // The bytes as the disk holds them, not as the file cache still has them from the build.
    ::fdatasync(f.handle());
    ::posix_fadvise(f.handle(), 0, 0, POSIX_FADV_DONTNEED);
#endif
    for (qint64 at = 44; at < sumsAt; at += 1024 * block) {
        if (cancel && *cancel)
            return false;
        const qint64 n = std::min(1024 * block, sumsAt - at);
        if (!f.read(at, n, buf) || !check.intact(at, n, at, buf.data()))
            return damaged();
    }
    BlockCheck::markVerified(path);
    return true;
}

dbengine::WriteWatch ownWriteWatch(std::function<QString()> dbFile) {
    struct Pending {
        QString db;
        std::optional<FileStamp> before; // the stamp of a current index before a write of the tree alone
    };
    auto pending = std::make_shared<Pending>();
    dbengine::WriteWatch watch;
    watch.beforeWrite = [pending, dbFile](const QStringList& statements) {
        pending->before.reset();
        pending->db = dbFile();
        static const QRegularExpression treeOnly(QStringLiteral("^\\s*Update\\s+tbTree\\s"),
                                                 QRegularExpression::CaseInsensitiveOption);
        if (pending->db.isEmpty() || statements.isEmpty() ||
            !std::all_of(statements.begin(), statements.end(),
                         [](const QString& s) { return treeOnly.match(s).hasMatch(); }) ||
            !isCurrent(pending->db))
            return;
        pending->before = FileStamp::of(pending->db);
    };
    watch.afterCommit = [pending](bool alone) {
        if (alone && pending->before)
            restamp(pending->db, *pending->before, FileStamp::of(pending->db));
        pending->before.reset();
    };
    return watch;
}

std::optional<QVector<FoundPage>> scan(const QString& dbFile, const QString& text, const std::atomic_bool& cancel,
                                       QString* error) {
    auto failed = [&](const QString& why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    ReadConnection db(dbFile, cancel);
    if (!db)
        return failed(QStringLiteral("cannot read %1").arg(dbFile));
    const QString condition = findCondition(text);
    sqlite3_stmt* st = db.prepare(condition.isEmpty() ? docdb::sql::kFindAll
                                                      : docdb::sql::kFindWhere + condition + docdb::sql::kFindOrder);
    if (!st)
        return failed(db.error());
    QVector<FoundPage> pages;
    int rc = SQLITE_OK;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        if (const std::optional<qint32> no = pageOf(st))
            pages.push_back({*no, textOf(st, 1)});
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return failed(db.timedOut() ? QStringLiteral("the statement ran past the command time-out (%1 ms)")
                                          .arg(dbengine::DbProviders::commandTimeout())
                                    : db.error());
    return pages;
}

} // namespace find::findindex

// IndexChecksum: four independent lanes of multiply-and-rotate over each 4 KiB block, so that the
// processor keeps several in flight and a check reads as fast as memory gives; and the blocks a
// process has checked, per index file.
#include "find/IndexChecksum.h"

#include <QFile>
#include <QFileInfo>

#include <QtEndian>

#include <cstring>
#include <mutex>
#include <thread>
#include <vector>
#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace find {

namespace {

constexpr quint64 kPrime1 = 0x9E3779B185EBCA87ull, kPrime2 = 0xC2B2AE3D27D4EB4Full;

quint64 rotl(quint64 v, int r) {
    return (v << r) | (v >> (64 - r));
}

quint64 load(const uchar* p) {
    quint64 v;
    std::memcpy(&v, p, 8);
    return v;
}

/// Spreads every bit of v over the whole result.
quint64 mix(quint64 v) {
    v ^= v >> 33;
    v *= kPrime2;
    v ^= v >> 29;
    v *= kPrime1;
    return v ^ (v >> 32);
}

/// An index file as it is on disk now: which file (a rebuilt one is another), its size and times.
struct FileIdentity {
    quint64 file = 0;
    qint64 size = -1, mtimeNs = 0, ctimeNs = 0; // the times of the last change of its bytes and of any change
    bool operator==(const FileIdentity&) const = default;
    /// Of the file open as fd when one is given (the very file being read), else of the one at path.
    static FileIdentity of(const QString& path, int fd = -1) {
        FileIdentity id;
#ifdef Q_OS_UNIX
        struct stat st {};
        if ((fd >= 0 ? ::fstat(fd, &st) : ::stat(QFile::encodeName(path).constData(), &st)) == 0) {
            id.file = quint64(st.st_ino);
            id.size = qint64(st.st_size);
            id.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
            id.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
        }
#else
        const QFileInfo fi(path);
        id.size = fi.exists() ? fi.size() : -1;
        id.mtimeNs = fi.exists() ? fi.lastModified().toMSecsSinceEpoch() * 1000000 : 0;
#endif
        return id;
    }
};

/// The blocks of the index files this process has read, as found (the latest few files).
struct Checked {
    QString path;
    FileIdentity id;
    std::shared_ptr<std::vector<std::atomic<quint8>>> state;
    bool allGood = false; // written by this process: nothing to check
};
std::mutex checkedLock;
std::vector<Checked> checked;

Checked& entry(const QString& path, const FileIdentity& id, size_t blocks) {
    for (Checked& c : checked) {
        if (c.path != path || !(c.id == id))
            continue;
        if (c.state->size() != blocks) {
            // First read of a file this process wrote: every block is known good.
            c.state = std::make_shared<std::vector<std::atomic<quint8>>>(blocks);
            for (std::atomic<quint8>& s : *c.state)
                s.store(c.allGood ? 1 : 0, std::memory_order_relaxed);
        }
        return c;
    }
    std::erase_if(checked, [&](const Checked& c) { return c.path == path; });
    if (checked.size() >= 8)
        checked.erase(checked.begin());
    checked.push_back({path, id, std::make_shared<std::vector<std::atomic<quint8>>>(blocks), false});
    return checked.back();
}

} // namespace

quint64 IndexChecksum::blockSum(const uchar* data, size_t n, quint64 index) {
    // Each step is one-to-one in the lane's state, so that any change of a word changes its lane.
    quint64 lane[4] = {kPrime1 ^ index, kPrime2, index * kPrime1 + 1, ~kPrime2};
    size_t i = 0;
    for (; i + 32 <= n; i += 32)
        for (int k = 0; k < 4; ++k)
            lane[k] = rotl(lane[k] ^ load(data + i + 8 * k), 27) * kPrime1;
    uchar tail[32] = {};
    std::memcpy(tail, data + i, n - i);
    for (int k = 0; k < 4; ++k)
        lane[k] = rotl(lane[k] ^ load(tail + 8 * k), 27) * kPrime1;
    return mix(mix(lane[0] ^ rotl(lane[1], 16)) ^ rotl(lane[2], 32) ^ rotl(lane[3], 48) ^ quint64(n));
}

void IndexChecksum::add(const char* data, size_t n) {
    while (n > 0) {
        const size_t take = std::min(n, kBlock - size_t(m_pending.size()));
        const quint64 b = m_sums.size();
        if (m_pending.isEmpty() && take == kBlock) {
            m_sums.push_back(blockSum(reinterpret_cast<const uchar*>(data), kBlock, b));
            m_total ^= mix(m_sums.back() + b);
        } else {
            m_pending.append(data, qsizetype(take));
            if (size_t(m_pending.size()) == kBlock) {
                m_sums.push_back(blockSum(reinterpret_cast<const uchar*>(m_pending.constData()), kBlock, b));
                m_total ^= mix(m_sums.back() + b);
                m_pending.clear();
            }
        }
        data += take;
        n -= take;
    }
}

quint64 IndexChecksum::value() const {
    const quint64 b = m_sums.size();
    return m_total ^
           mix(blockSum(reinterpret_cast<const uchar*>(m_pending.constData()), size_t(m_pending.size()), b) + b);
}

std::vector<quint64> IndexChecksum::blockSums() const {
    std::vector<quint64> sums = m_sums;
    if (!m_pending.isEmpty())
        sums.push_back(blockSum(reinterpret_cast<const uchar*>(m_pending.constData()), size_t(m_pending.size()),
                                m_sums.size()));
    return sums;
}

BlockCheck::BlockCheck(const QString& path, qint64 base, qint64 summed, const uchar* sums, int fd, bool trustMark)
    : m_base(base), m_summed(summed - base), m_sums(sums) {
    const size_t blocks = size_t((m_summed + qint64(IndexChecksum::kBlock) - 1) / qint64(IndexChecksum::kBlock));
    if (!trustMark) { // every block read and checked anew, whatever this process has seen of it
        m_state = std::make_shared<std::vector<std::atomic<quint8>>>(blocks);
        return;
    }
    const FileIdentity id = FileIdentity::of(path, fd);
    const bool trusted = verified(path, fd);
    const std::lock_guard<std::mutex> guard(checkedLock);
    Checked& c = entry(path, id, blocks);
    if (trusted)
        for (std::atomic<quint8>& s : *c.state)
            s.store(Good, std::memory_order_relaxed);
    m_state = c.state;
}

namespace {
QString markPath(const QString& path) {
    return path + QStringLiteral(".ok");
}
QByteArray markOf(const FileIdentity& id) {
    QByteArray b("DBTXOK01");
    b.resize(40);
    qToLittleEndian<quint64>(id.file, b.data() + 8);
    qToLittleEndian<qint64>(id.size, b.data() + 16);
    qToLittleEndian<qint64>(id.mtimeNs, b.data() + 24);
    qToLittleEndian<qint64>(id.ctimeNs, b.data() + 32);
    return b;
}
} // namespace

void BlockCheck::markVerified(const QString& path, int fd) {
    QFile f(markPath(path));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(markOf(FileIdentity::of(path, fd)));
}

bool BlockCheck::verified(const QString& path, int fd) {
    QFile f(markPath(path));
    const FileIdentity id = FileIdentity::of(path, fd);
    return id.size >= 0 && f.open(QIODevice::ReadOnly) && f.read(64) == markOf(id);
}

bool BlockCheck::intact(qint64 from, qint64 n, qint64 heldFrom, const uchar* held) const {
    from -= m_base;
    if (from < 0 || n < 0 || from + n > m_summed)
        return false;
    if (n == 0)
        return true;
    constexpr qint64 size = qint64(IndexChecksum::kBlock);
    for (qint64 b = from / size; b <= (from + n - 1) / size; ++b) {
        std::atomic<quint8>& s = (*m_state)[size_t(b)];
        quint8 now = s.load(std::memory_order_acquire);
        if (now == Unknown) {
            const qint64 at = b * size, len = std::min(size, m_summed - at);
            const quint64 stored = qFromLittleEndian<quint64>(m_sums + 8 * b);
            now = IndexChecksum::blockSum(held + (m_base + at - heldFrom), size_t(len), quint64(b)) == stored ? Good : Bad;
            s.store(now, std::memory_order_release); // two readers may both sum it: the same answer
        }
        if (now != Good)
            return false;
    }
    return true;
}

void BlockCheck::written(const QString& path) {
    const std::lock_guard<std::mutex> guard(checkedLock);
    std::erase_if(checked, [&](const Checked& c) { return c.path == path; });
    if (checked.size() >= 8)
        checked.erase(checked.begin());
    checked.push_back({path, FileIdentity::of(path), std::make_shared<std::vector<std::atomic<quint8>>>(), true});
}

qint64 ChecksumWriter::writeData(const char* data, qint64 n) {
    const qint64 written = m_to.write(data, n);
    if (written > 0)
        m_sum.add(data, size_t(written));
    return written;
}

} // namespace find

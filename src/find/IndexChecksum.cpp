// IndexChecksum: four independent lanes of multiply-and-rotate over each 1 MiB block, so that the
// processor keeps several in flight and a check reads as fast as memory gives.
#include "find/IndexChecksum.h"

#include <QFile>
#include <QFileInfo>

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
    static FileIdentity of(const QString& path) {
        FileIdentity id;
#ifdef Q_OS_UNIX
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
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

/// Which index files this process has summed and found as written, or not.
struct Checked {
    QString path;
    FileIdentity id;
    bool good;
};
std::mutex checkedLock;
std::vector<Checked> checked; // the latest few

void remember(const QString& path, const FileIdentity& id, bool good) {
    const std::lock_guard<std::mutex> guard(checkedLock);
    std::erase_if(checked, [&](const Checked& c) { return c.path == path; });
    checked.push_back({path, id, good});
    if (checked.size() > 8)
        checked.erase(checked.begin());
}

} // namespace

quint64 IndexChecksum::block(const uchar* data, size_t n, quint64 index) {
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
        if (m_pending.isEmpty() && take == kBlock) {
            m_total ^= mix(block(reinterpret_cast<const uchar*>(data), kBlock, m_blocks) + m_blocks);
            ++m_blocks;
        } else {
            m_pending.append(data, qsizetype(take));
            if (size_t(m_pending.size()) == kBlock) {
                m_total ^=
                    mix(block(reinterpret_cast<const uchar*>(m_pending.constData()), kBlock, m_blocks) + m_blocks);
                ++m_blocks;
                m_pending.clear();
            }
        }
        data += take;
        n -= take;
    }
}

quint64 IndexChecksum::value() const {
    const quint64 last = mix(
        block(reinterpret_cast<const uchar*>(m_pending.constData()), size_t(m_pending.size()), m_blocks) + m_blocks);
    return m_total ^ last;
}

quint64 IndexChecksum::of(const uchar* data, size_t n) {
    const quint64 blocks = n / kBlock; // whole blocks; the rest is the last, shorter block
    auto sum = [&](quint64 first, quint64 step) {
        quint64 total = 0;
        for (quint64 b = first; b < blocks; b += step)
            total ^= mix(block(data + b * kBlock, kBlock, b) + b);
        return total;
    };
    quint64 other = 0;
    std::thread second([&] { other = sum(1, 2); });
    quint64 total = sum(0, 2);
    second.join();
    return total ^ other ^ mix(block(data + blocks * kBlock, n - blocks * kBlock, blocks) + blocks);
}

bool IndexChecksum::intact(const QString& path, const uchar* data, qint64 size, qint64 summed, quint64 stored) {
    const FileIdentity id = FileIdentity::of(path);
    if (id.size != size || summed < 0 || summed > size)
        return false; // replaced while it was mapped (the next find reads the new one), or damaged
    {
        const std::lock_guard<std::mutex> guard(checkedLock);
        for (const Checked& c : checked)
            if (c.path == path && c.id == id)
                return c.good;
    }
    const bool good = of(data, size_t(summed)) == stored;
    remember(path, id, good);
    return good;
}

void IndexChecksum::written(const QString& path) {
    remember(path, FileIdentity::of(path), true);
}

qint64 ChecksumWriter::writeData(const char* data, qint64 n) {
    const qint64 written = m_to.write(data, n);
    if (written > 0)
        m_sum.add(data, size_t(written));
    return written;
}

} // namespace find

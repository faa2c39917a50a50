// IndexChecksum: checksums of the find index file, block by block, so that a damaged index (a flipped
// bit, a block written over) is noticed where a find reads it and never answers; a find reads, and
// checks, only the blocks it needs.
#pragma once

#include <QIODevice>
#include <QString>

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

namespace find {

/// 64-bit checksums of bytes in blocks of 4 KiB (a memory page: a find checks no more than it reads).
/// Not for security: it tells damage apart.
class IndexChecksum {
public:
    static constexpr size_t kBlock = size_t(1) << 12;
    /// Adds bytes in order.
    void add(const char* data, size_t n);
    /// The checksum of all bytes added.
    quint64 value() const;
    /// The sum of each block of the bytes added (the last one may be shorter).
    std::vector<quint64> blockSums() const;
    /// The sum of block b of a file, n bytes at data, as blockSums gives it.
    static quint64 blockSum(const uchar* data, size_t n, quint64 b);

private:
    quint64 m_total = 0;
    std::vector<quint64> m_sums; // of the whole blocks so far
    QByteArray m_pending;        // the part of the current block added so far
};

/// The blocks of an index file mapped for a find, each checked against its stored sum the first
/// time this process reads it. What a process has found stays known while the file stays the same
/// (by its identity, size and times), so that later finds check only blocks not read before.
class BlockCheck {
public:
    /// The file's bytes [base, summed) are in blocks whose sums lie at `sums`.
    /// fd: the file as it is open for reading, whose identity counts (-1: the one at path now);
    /// trustMark: a file marked as read back whole is taken as it is.
    BlockCheck(const QString& path, qint64 base, qint64 summed, const uchar* sums, int fd = -1, bool trustMark = true);
    /// Whether the file's bytes [from, from + n) are as they were written (false for any outside the
    /// blocks). `held` holds the file's bytes from `heldFrom` on, the whole blocks of that range.
    bool intact(qint64 from, qint64 n, qint64 heldFrom, const uchar* held) const;
    /// Notes that the file now at path is as written (by the process that wrote it).
    static void written(const QString& path);
    /// Marks the file at path, as it is now, as read back whole and found as written: every find
    /// of every process then takes its blocks as they are, until the file changes in any way.
    static void markVerified(const QString& path, int fd = -1);
    /// Whether the file at path, as it is now, bears that mark.
    static bool verified(const QString& path, int fd = -1);

private:
    enum : quint8 { Unknown = 0, Good = 1, Bad = 2 };
    qint64 m_base, m_summed;
    const uchar* m_sums;
    std::shared_ptr<std::vector<std::atomic<quint8>>> m_state;
};

/// Writes through to another device, adding every byte written to a checksum.
class ChecksumWriter : public QIODevice {
public:
    explicit ChecksumWriter(QIODevice& to) : m_to(to) { open(QIODevice::WriteOnly); }
    quint64 checksum() const { return m_sum.value(); }
    std::vector<quint64> blockSums() const { return m_sum.blockSums(); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 n) override;

private:
    QIODevice& m_to;
    IndexChecksum m_sum;
};

} // namespace find

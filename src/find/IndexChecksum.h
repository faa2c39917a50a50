// IndexChecksum: a checksum of the find index file, so that a damaged index (a flipped bit, a
// block written over) is noticed and never answers a find.
#pragma once

#include <QIODevice>
#include <QString>

#include <cstddef>

namespace find {

/// A 64-bit checksum of a run of bytes, taken in blocks of 1 MiB that are summed independently, so
/// that a check can read the blocks on several threads. Not for security: it tells damage apart.
class IndexChecksum {
public:
    static constexpr size_t kBlock = size_t(1) << 20;
    /// Adds bytes in order.
    void add(const char* data, size_t n);
    /// The checksum of all bytes added.
    quint64 value() const;
    /// The checksum of bytes [0, n), its blocks read on two threads.
    static quint64 of(const uchar* data, size_t n);
    /// Whether the file at path, mapped as data (size bytes), has the checksum `stored` of its
    /// first `summed` bytes. Each file (by its identity, size and time) is summed once a process.
    static bool intact(const QString& path, const uchar* data, qint64 size, qint64 summed, quint64 stored);
    /// Notes that the file now at path holds the checksum of what was written to it.
    static void written(const QString& path);

private:
    static quint64 block(const uchar* data, size_t n, quint64 index);
    quint64 m_total = 0, m_blocks = 0;
    QByteArray m_pending; // the part of the current block added so far
};

/// Writes through to another device, adding every byte written to a checksum.
class ChecksumWriter : public QIODevice {
public:
    explicit ChecksumWriter(QIODevice& to) : m_to(to) { open(QIODevice::WriteOnly); }
    quint64 checksum() const { return m_sum.value(); }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 n) override;

private:
    QIODevice& m_to;
    IndexChecksum m_sum;
};

} // namespace find

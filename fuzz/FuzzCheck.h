// FuzzCheck: the property check of the fuzz targets: a violated property prints what was expected
// and ends the run, so that libFuzzer keeps the input as a finding.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* what, const QString& detail = QString()) {
    std::fprintf(stderr, "property violated: %s\n%s\n", what, detail.toUtf8().constData());
    std::abort();
}

inline void check(bool ok, const char* what, const QString& detail = QString()) {
    if (!ok)
        fail(what, detail);
}

inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

} // namespace fuzzcheck

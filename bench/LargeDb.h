// LargeDb: generates a large document database for the benchmark.
#pragma once

#include <QString>

namespace bench {

/// Writes a database of `pages` pages, `fanout` children per page, each page about `bytes` of HTML
/// with Japanese text, to path (once per path; an existing file is reused).
QString largeDb(const QString& path, int pages, int fanout, int bytes);

} // namespace bench

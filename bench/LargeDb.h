// LargeDb: generates a large document database for the benchmark.
#pragma once

#include "platform/MessageBox.h"

#include <QString>

namespace bench {

/// Messages of the database layer, unseen in a benchmark.
class SilentMessages final : public platform::IMessageBox {
public:
    platform::MsgAnswer show(const QString&, platform::MsgButtons) override { return platform::MsgAnswer::Ok; }
    QString title() const override { return {}; }
    void setTitle(const QString&) override {}
};

/// Writes a database of `pages` pages, `fanout` children per page, each page about `bytes` of HTML
/// with Japanese text, to path (once per path; an existing file is reused).
QString largeDb(const QString& path, int pages, int fanout, int bytes);

/// Writes a database whose page 1 has `children` children of a few bytes each (once per path).
QString wideNodeDb(const QString& path, int children, bool codeNode = false);

/// Writes a database of `pages` pages of about `bytes` of text from a mixed vocabulary with a long
/// tail of rare words ("rw123x", "語456"); page 1 has 5,000 children, the rest hang below the top.
void mixedTextDb(const QString& path, int pages, int bytes);

} // namespace bench

// Fixtures: fixture databases, data links and file helpers for the tests.
#pragma once

#include "samples/builder/DocDbWriter.h"
#include "support/PgCluster.h" // writeUdl

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testsupport {

/// A small tree:
///   0 ─┬─ 5 "五" ─┬─ 9 "九"
///      │          └─ 12 "十二" ── 30 "三十"
///      ├─ 8 "八" (code page) ─┬─ 20 "二十" (older)
///      │                      └─ 21 "二十一" (newer)
///      └─ 40 "四十" (Null document)
/// plus a link row 8 → 9 titled "九へのリンク" (boLnk 1); the row 12 → 30 is hidden (boHide 1) and 9 has
/// a Null boCod. Texts carry Japanese words and mixed-case ASCII; msDxml holds row 1.
samples::DocDbContent smallTree();
/// One placement of a page in the tree (link and hide: 1 for a link placement, a hidden row).
samples::TreeRow edge(qint32 parent, qint32 child, qint32 order, const QString& title, int link = 0, int hide = 0);

/// smallTree whose page 5 holds the given HTML body instead (its plain text made from it).
samples::DocDbContent treeWithPage5(const QString& body);
/// n paragraphs "text 0" … "text n−1" as HTML.
QString paragraphs(int n, const QString& text);

/// Writes content to dir/name and returns the path; fails the current test on error.
QString writeDb(const QString& dir, const QString& name, const samples::DocDbContent& content);


QByteArray readBytes(const QString& path);
bool writeBytes(const QString& path, const QByteArray& bytes);

/// Runs a program to its end (a minute at most) and gives its standard output; code receives the
/// exit code.
QString runProgram(const QString& program, const QStringList& args, int* code = nullptr);

/// The sample database built by the build (DBTEXT_SAMPLE_DB), or empty.
QString sampleDb();

} // namespace testsupport

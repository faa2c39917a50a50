// ManCorpus: a document database of real text at scale, and whole processes timed against it.
#pragma once

#include <QString>
#include <QStringList>

namespace bench {

/// Writes a database of `pages` pages of real Japanese text: Debian's manpages-ja as `man` renders
/// them (without highlighting), repeated until there are that many, 100 volumes of them under the
/// top of the tree. False (with error) when the machine has no manual pages or a write fails.
bool writeManCorpus(const QString& path, int pages, QString& error);

/// One run of a program as a whole process: its wall time, its peak resident memory and its output.
struct ProcessRun {
    double seconds = 0;
    long maxRssKb = 0;
    int exitCode = -1;
    QByteArray out;
};
/// Runs program with arguments, its standard output captured; nothing else goes through a shell.
ProcessRun runProcess(const QString& program, const QStringList& arguments);

} // namespace bench

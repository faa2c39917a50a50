// ManCorpus: the manual pages of manpages-ja rendered by groff as text, written as pages of a
// document database; and whole processes run with their time and peak memory measured.
#include "bench/ManCorpus.h"

#include "samples/builder/DocDbWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryFile>

#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace bench {

namespace {

struct ManPage {
    QString name; // "bash(1)"
    QString text;
};

/// Every Japanese manual page on the machine, as text, in file name order.
QVector<ManPage> renderManPages() {
    QStringList files;
    QDirIterator it(QStringLiteral("/usr/share/man/ja"), {QStringLiteral("*.gz")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    QVector<ManPage> pages;
    for (const QString& file : files) {
        QProcess zcat, groff;
        zcat.setStandardOutputProcess(&groff);
        zcat.start(QStringLiteral("zcat"), {file});
        groff.start(QStringLiteral("groff"), {QStringLiteral("-Kutf8"), QStringLiteral("-Tutf8"), QStringLiteral("-P-cbou"),
                                              QStringLiteral("-mandoc")});
        groff.waitForFinished(60000); // its output is read meanwhile, so that neither waits on a full pipe
        zcat.waitForFinished(60000);
        const QString text = QString::fromUtf8(groff.readAllStandardOutput());
        if (text.trimmed().isEmpty())
            continue;
        // "bash.1.gz" → "bash(1)"
        const QString base = QFileInfo(file).fileName().chopped(3);
        const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
        pages.push_back({dot > 0 ? base.left(dot) + QLatin1Char('(') + base.mid(dot + 1) + QLatin1Char(')') : base, text});
    }
    return pages;
}

} // namespace

bool writeManCorpus(const QString& path, int pages, QString& error) {
    QElapsedTimer t;
    t.start();
    const QVector<ManPage> man = renderManPages();
    if (man.isEmpty()) {
        error = QStringLiteral("no manual pages in /usr/share/man/ja (apt-get install manpages-ja)");
        return false;
    }
    std::fprintf(stderr, "rendered %lld manual pages in %.0f s\n", qlonglong(man.size()), t.elapsed() / 1000.0);
    // The stored page: the text as preformatted HTML (shared by every copy of a manual page).
    QVector<QByteArray> stored;
    for (const ManPage& m : man)
        stored << (QStringLiteral("<html><body><pre>") + m.text.toHtmlEscaped() + QStringLiteral("</pre></body></html>"))
                      .toUtf8();
    constexpr int kVolumes = 100;
    samples::DocDbContent content;
    content.pages.reserve(pages);
    const QDateTime when(QDate(2026, 12, 1), QTime(9, 0));
    for (int v = 1; v <= kVolumes && v <= pages; ++v) {
        samples::PageRow p;
        p.no = v;
        p.title = QStringLiteral("第%1巻").arg(v, 3, 10, QLatin1Char('0'));
        p.obDoc = (QStringLiteral("<html><body><h1>") + p.title + QStringLiteral("</h1></body></html>")).toUtf8();
        p.txDoc = p.title;
        p.updated = when;
        content.pages << p;
        content.edges << samples::TreeRow{0, v, v, p.title, 0, 0, when};
    }
    for (int no = kVolumes + 1; no <= pages; ++no) {
        const int i = no - kVolumes - 1;
        const ManPage& m = man[i % man.size()];
        const int copy = i / int(man.size());
        samples::PageRow p;
        p.no = no;
        p.title = copy == 0 ? m.name : QStringLiteral("%1 (%2)").arg(m.name).arg(copy + 1);
        p.obDoc = stored[i % man.size()];
        p.txDoc = m.text; // shared, not copied: the database holds each copy, memory one
        p.updated = when;
        content.pages << p;
        const int volume = 1 + i % kVolumes;
        content.edges << samples::TreeRow{volume, no, i / kVolumes + 1, p.title, 0, 0, when};
    }
    if (!samples::writeDocDb(path, content, error))
        return false;
    std::fprintf(stderr, "wrote %d pages in %.0f s\n", pages, t.elapsed() / 1000.0);
    return true;
}

ProcessRun runProcess(const QString& program, const QStringList& arguments) {
    ProcessRun run;
    QTemporaryFile out;
    if (!out.open())
        return run;
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const QString& a : arguments)
        args.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.handle(), 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    run.seconds = double(t.nsecsElapsed()) / 1e9;
    posix_spawn_file_actions_destroy(&actions);
    run.maxRssKb = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    out.seek(0);
    run.out = out.readAll();
    return run;
}

} // namespace bench

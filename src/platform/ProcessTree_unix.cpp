// ProcessTree on POSIX systems: a new session per helper, ended through its process group.
#include "platform/ProcessTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace platform::processtree {

namespace {

// Whether a process of the group still runs (ended ones may wait a while to be reaped by the
// system and are left alone). Read from /proc where there is one; elsewhere the kill is trusted.
bool groupRuns(pid_t group) {
    QDir proc(QStringLiteral("/proc"));
    if (!proc.exists())
        return false;
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        entry.toInt(&number);
        if (!number)
            continue;
        QFile stat(proc.filePath(entry + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (name) state ppid pgrp …": the name may hold blanks and parentheses.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toInt() == group && fields[0] != "Z" && fields[0] != "X")
            return true;
    }
    return false;
}

} // namespace

void startsOwnGroup(QProcess& process) {
    process.setChildProcessModifier([] { ::setsid(); });
}

void endTree(QProcess& process) {
    const auto group = static_cast<pid_t>(process.processId());
    if (group > 0)
        ::kill(-group, SIGKILL); // the group: the launcher and all it started
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000); // reaps the launcher, our own child
    }
    // The others are the system's to reap once killed; wait (briefly) until they are gone, so that
    // the next conversion finds the profile free.
    if (group > 0) {
        QElapsedTimer clock;
        clock.start();
        while (groupRuns(group) && clock.elapsed() < 2000) {
            ::kill(-group, SIGKILL);
            QThread::msleep(20);
        }
    }
}

} // namespace platform::processtree

// ProcessTree on POSIX systems: a new session per helper, ended through its process group.
#include "platform/ProcessTree.h"

#include <QProcess>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace platform::processtree {

void startsOwnGroup(QProcess& process) {
    process.setChildProcessModifier([] { ::setsid(); });
}

void endTree(QProcess& process) {
    const qint64 pid = process.processId();
    if (pid > 0)
        ::kill(-static_cast<pid_t>(pid), SIGKILL); // the group: the launcher and all it started
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace platform::processtree

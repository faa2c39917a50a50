// ProcessTree on Windows: the helper's tree is ended by taskkill.
#include "platform/ProcessTree.h"

#include <QProcess>

namespace platform::processtree {

void startsOwnGroup(QProcess&) {}

void endTree(QProcess& process) {
    const qint64 pid = process.processId();
    if (pid > 0)
        QProcess::execute(QStringLiteral("taskkill"),
                          {QStringLiteral("/T"), QStringLiteral("/F"), QStringLiteral("/PID"), QString::number(pid)});
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace platform::processtree

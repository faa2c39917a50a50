// ProcessTree: starting a helper program so that it and everything it starts can be ended together.
#pragma once

class QProcess;

namespace platform::processtree {

/// Makes process start in a process group of its own (call before QProcess::start).
void startsOwnGroup(QProcess& process);
/// Ends the process and every process it started (LibreOffice's launcher starts soffice.bin, which
/// would otherwise run on and hold the profile). Safe to call when they have ended already.
void endTree(QProcess& process);

} // namespace platform::processtree

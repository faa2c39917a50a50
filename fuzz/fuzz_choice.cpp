// Fuzz target: the choice file UserData.ini beside the program. Properties: the user data folder is
// always decided (an existing folder, ending with the separator); the choice file is written only
// when it is empty, and then with the default choice; anything else stays byte for byte; a message,
// when there is one, stays short whatever the file holds.
#include "FuzzCheck.h"
#include "settings/yIni.h"
#include "support/FakeEnvironment.h"
#include "support/FakeMessageBox.h"
#include "util/ProcessState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("prog"));
    QDir().mkpath(program);
    const QString choiceFile = program + QStringLiteral("/UserData.ini");
    const QByteArray in = fuzzcheck::bytes(data, size);
    if (in.contains('\0') || in.contains('/'))
        return 0; // paths with "/" would name real folders of this machine; NUL is no text
    {
        QFile f(choiceFile);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(in);
    }
    util::ProcessState& ps = util::processState();
    ps.programFolder = program;
    ps.programName = QStringLiteral("dbtext");
    testsupport::FakeMessageBox messages;
    testsupport::FakeSpecialFolders folders;
    folders.folders.insert(26, dir.filePath(QStringLiteral("appdata")));
    folders.folders.insert(5, dir.filePath(QStringLiteral("docs")));
    testsupport::FakeAppSettings appSettings;
    testsupport::FakeShell shell;
    settings::yIni ini(messages, folders, appSettings, shell);
    ini.W_UserData(0);
    const QString folder = ini.userDataFolder();
    fuzzcheck::check(folder.endsWith(QLatin1Char('/')) && QFileInfo(folder).isDir(), "a user data folder exists",
                     folder);
    QFile f(choiceFile);
    f.open(QIODevice::ReadOnly);
    const QByteArray after = f.readAll();
    if (in.isEmpty())
        fuzzcheck::check(after == "%applicaion data%", "an empty choice file gets the default");
    else
        fuzzcheck::check(after == in, "a choice file that holds anything stays as it was",
                         QString::fromLatin1(in.toHex()));
    for (const QString& m : messages.texts)
        fuzzcheck::check(m.size() < 1024, "a message stays short");
    return 0;
}

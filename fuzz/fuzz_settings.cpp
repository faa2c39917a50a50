// Fuzz target: the settings document. The input is a User.xml; the program reads the position group,
// sets its values and saves, as 終了 does. Properties: reading never fails on readable text; when the
// save writes the file, the position values read back as set and every other group of the document
// keeps its body exactly; when it does not write, the file is untouched.
#include "FuzzCheck.h"
#include "settings/yIni.h"
#include "support/FakeEnvironment.h"
#include "support/FakeMessageBox.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("User.xml"));
    const QByteArray in = fuzzcheck::bytes(data, size);
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(in);
    }
    testsupport::FakeMessageBox messages;
    testsupport::FakeSpecialFolders folders;
    testsupport::FakeAppSettings appSettings;
    testsupport::FakeShell shell;
    settings::yIni ini(messages, folders, appSettings, shell);
    bool ok = false;
    ini.GetTxt(path, ok);
    const QString before = ini.documentText();
    // The other groups of the document, each with its body as read. The root "運用" is no group,
    // even where a hand-edited file indents it like one: the new group goes inside it.
    QStringList groups;
    static const QRegularExpression groupStart(QStringLiteral("\\r\\n   <([^<>/\\r\\n]+)>\\r\\n"));
    for (auto it = groupStart.globalMatch(before); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (name != QStringLiteral("位置") && name != QStringLiteral("運用") && !groups.contains(name))
            groups << name;
    }
    QStringList bodies;
    for (const QString& g : groups) {
        ini.GetGtx(g);
        bodies << ini.groupText();
    }
    ini.GetGtx(QStringLiteral("位置"));
    const int values[] = {1440, 720, 9600, 7200, 3, 1};
    const char* keys[] = {"Left", "Top", "Width", "Height", "Zoom", "Trvw"};
    for (int i = 0; i < 6; ++i)
        ini.SetVal(QString::fromLatin1(keys[i]), values[i]);
    ini.SetGtx();
    bool written = false;
    ini.SetTxt(written);
    if (!written) {
        fuzzcheck::check(readAll(path) == in, "a document that is not written stays as it was");
        return 0;
    }
    settings::yIni again(messages, folders, appSettings, shell);
    again.GetTxt(path, ok);
    fuzzcheck::check(ok, "the written document reads back");
    again.GetGtx(QStringLiteral("位置"));
    for (int i = 0; i < 6; ++i)
        fuzzcheck::check(again.vGtVal(QString::fromLatin1(keys[i]), QVariant(0.0)).toDouble() == values[i],
                         "the position reads back as set", again.documentText());
    for (qsizetype g = 0; g < groups.size(); ++g) {
        again.GetGtx(groups[g]);
        fuzzcheck::check(again.groupText() == bodies[g], "every other group keeps its body",
                         groups[g] + QStringLiteral("\n") + before + QStringLiteral("\n→\n") + again.documentText());
    }
    return 0;
}

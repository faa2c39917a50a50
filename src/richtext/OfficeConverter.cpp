// OfficeConverter: runs LibreOffice headless with a private profile and checks what it wrote.
#include "richtext/OfficeConverter.h"

#include "platform/ProcessTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace richtext {

QString OfficeConverter::executable() {
    for (const char* name : {"soffice", "libreoffice"}) {
        const QString p = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!p.isEmpty())
            return p;
    }
    return {};
}

namespace {

// Runs one conversion of inFile into outDir; the produced file's path, or "" with a reason.
QString run(const QString& inFile, const QString& target, const QString& inFilter, const QString& outDir,
            const QString& workFolder, QString& reason, const std::atomic<bool>* cancel, int timeoutMs) {
    const QString soffice = OfficeConverter::executable();
    if (soffice.isEmpty()) {
        reason = QStringLiteral("LibreOffice が見つからないため、この形式では保存できません");
        return {};
    }
    QDir().mkpath(workFolder);
    const QString profile = QDir(workFolder).absoluteFilePath(QStringLiteral("lo-profile"));
    QStringList args{QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                     QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString()};
    if (!inFilter.isEmpty())
        args << QStringLiteral("--infilter=") + inFilter;
    args << QStringLiteral("--convert-to") << target << QStringLiteral("--outdir") << outDir
         << QFileInfo(inFile).absoluteFilePath();
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    platform::processtree::startsOwnGroup(p);
    p.start(soffice, args);
    if (!p.waitForStarted(15000)) {
        reason = QStringLiteral("LibreOffice を起動できません: %1").arg(p.errorString());
        return {};
    }
    QElapsedTimer clock;
    clock.start();
    QString failure;
    while (!p.waitForFinished(100) && p.state() != QProcess::NotRunning) {
        if (cancel && *cancel) {
            failure = QStringLiteral("保存を中止しました");
            break;
        }
        if (clock.elapsed() > timeoutMs) {
            failure = QStringLiteral("LibreOffice の変換が時間内に終わりませんでした");
            break;
        }
    }
    // Whatever happened, nothing of this conversion runs on: the launcher may have left the
    // office process behind, and it would hold the profile for every later conversion.
    platform::processtree::endTree(p);
    if (!failure.isEmpty()) {
        QFile::remove(QDir(profile).absoluteFilePath(QStringLiteral(".lock")));
        reason = failure;
        return {};
    }
    // LibreOffice exits 0 even when it wrote nothing: the output file decides.
    const QString produced = QDir(outDir).absoluteFilePath(QFileInfo(inFile).completeBaseName() + QLatin1Char('.') +
                                                           target.section(QLatin1Char(':'), 0, 0));
    if (!QFileInfo(produced).isFile() || QFileInfo(produced).size() == 0) {
        reason = QStringLiteral("LibreOffice の変換に失敗しました: %1")
                     .arg(QString::fromLocal8Bit(p.readAll()).trimmed().right(300));
        return {};
    }
    return produced;
}

} // namespace

QString OfficeConverter::convertHtml(const QString& html, const QString& folder, const QString& ext,
                                     const QString& filter, const QString& workFolder, QString& reason,
                                     const std::atomic<bool>* cancel, int timeoutMs) {
    const QString input = QDir(folder).absoluteFilePath(QStringLiteral("page.html"));
    QFile f(input);
    const QByteArray bytes = html.toUtf8();
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        reason = QStringLiteral("作業フォルダー %1 に書き込めません").arg(folder);
        return {};
    }
    f.close();
    return run(input, ext + QLatin1Char(':') + filter, QStringLiteral("HTML (StarWriter)"), folder, workFolder, reason,
               cancel, timeoutMs);
}

QString OfficeConverter::convertFile(const QString& inFile, const QString& outDir, const QString& target,
                                     const QString& workFolder, QString& reason, const std::atomic<bool>* cancel,
                                     int timeoutMs) {
    return run(inFile, target, QString(), outDir, workFolder, reason, cancel, timeoutMs);
}

} // namespace richtext

// OfficeConverter: runs LibreOffice headless with a private profile and checks what it wrote.
#include "platform/OfficeConverter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

namespace platform {

QString OfficeConverter::executable() {
    for (const char* name : {"soffice", "libreoffice"}) {
        const QString p = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!p.isEmpty())
            return p;
    }
    return {};
}

namespace {

bool run(const QString& inFile, const QString& target, const QString& inFilter, const QString& outFile,
         const QString& workFolder, QString& reason, int timeoutMs) {
    const QString soffice = OfficeConverter::executable();
    if (soffice.isEmpty()) {
        reason = QStringLiteral("LibreOffice が見つからないため、この形式では保存できません");
        return false;
    }
    QDir().mkpath(workFolder);
    const QString profile = QDir(workFolder).absoluteFilePath(QStringLiteral("lo-profile"));
    QTemporaryDir outDir(QDir(workFolder).absoluteFilePath(QStringLiteral("lo-out-XXXXXX")));
    if (!outDir.isValid()) {
        reason = QStringLiteral("作業フォルダー %1 に書き込めません").arg(workFolder);
        return false;
    }
    QStringList args{QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--nologo"),
                     QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString()};
    if (!inFilter.isEmpty())
        args << QStringLiteral("--infilter=") + inFilter;
    args << QStringLiteral("--convert-to") << target << QStringLiteral("--outdir") << outDir.path()
         << QFileInfo(inFile).absoluteFilePath();
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(soffice, args);
    if (!p.waitForStarted(15000)) {
        reason = QStringLiteral("LibreOffice を起動できません: %1").arg(p.errorString());
        return false;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        reason = QStringLiteral("LibreOffice の変換が時間内に終わりませんでした");
        return false;
    }
    // LibreOffice exits 0 even when it wrote nothing: the output file decides.
    const QString produced = outDir.filePath(QFileInfo(inFile).completeBaseName() + QLatin1Char('.') +
                                             target.section(QLatin1Char(':'), 0, 0));
    if (!QFileInfo(produced).isFile() || QFileInfo(produced).size() == 0) {
        reason = QStringLiteral("LibreOffice の変換に失敗しました: %1")
                     .arg(QString::fromLocal8Bit(p.readAll()).trimmed().right(300));
        return false;
    }
    // Put the result in place only now; the user's file is replaced whole or not at all.
    QFile in(produced);
    QSaveFile out(outFile);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly) || out.write(in.readAll()) != in.size() ||
        !out.commit()) {
        reason = QStringLiteral("%1 に書き込めません").arg(outFile);
        return false;
    }
    return true;
}

} // namespace

bool OfficeConverter::convert(const QString& htmlFile, const QString& outFile, const QString& filter,
                              const QString& workFolder, QString& reason, int timeoutMs) {
    const QString ext = QFileInfo(outFile).suffix().toLower();
    const QString target = (ext.isEmpty() ? QStringLiteral("doc") : ext) + QLatin1Char(':') + filter;
    return run(htmlFile, target, QStringLiteral("HTML (StarWriter)"), outFile, workFolder, reason, timeoutMs);
}

bool OfficeConverter::toHtml(const QString& inFile, const QString& outHtml, const QString& workFolder, QString& reason,
                             int timeoutMs) {
    return run(inFile, QStringLiteral("html"), QString(), outHtml, workFolder, reason, timeoutMs);
}

} // namespace platform

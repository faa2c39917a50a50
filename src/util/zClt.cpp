// zClt: file existence, text file writing and delimiter trimming.
#include "util/zClt.h"

#include "platform/TextCodec.h"
#include "util/ProcessState.h"
#include "util/Vb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

namespace util {

namespace {

// A wildcard pattern on file names: "?" one character, "*" any run; everything else literal.
QRegularExpression wildcardToRegex(const QString& pattern) {
    QString re = QStringLiteral("^");
    for (QChar c : pattern) {
        if (c == QLatin1Char('*'))
            re += QStringLiteral(".*");
        else if (c == QLatin1Char('?'))
            re += QLatin1Char('.');
        else
            re += QRegularExpression::escape(QString(c));
    }
    re += QLatin1Char('$');
#ifdef Q_OS_WIN
    return QRegularExpression(re, QRegularExpression::CaseInsensitiveOption);
#else
    return QRegularExpression(re);
#endif
}

} // namespace

bool zClt::FbExFile(const QString& sFL, bool bLike) const {
    F_ChkFso();
    if (sFL.isEmpty())
        return false;
    const bool wild = sFL.contains(QLatin1Char('?')) || sFL.contains(QLatin1Char('*'));
    if (!bLike || !wild) {
        const QFileInfo fi(sFL);
        return fi.exists() && fi.isFile();
    }
    const qsizetype cut = std::max(sFL.lastIndexOf(QLatin1Char('/')), sFL.lastIndexOf(QLatin1Char('\\')));
    const QString folder = cut < 0 ? QStringLiteral(".") : (cut == 0 ? sFL.left(1) : sFL.left(cut));
    const QString name = sFL.mid(cut + 1);
    // Wildcards in the folder part are not expanded: such a folder does not exist.
    const QDir dir(folder);
    if (folder.contains(QLatin1Char('?')) || folder.contains(QLatin1Char('*')) || !dir.exists())
        return false;
    const QRegularExpression re = wildcardToRegex(name);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot);
    for (const QFileInfo& fi : entries)
        if (!fi.isHidden() && re.match(fi.fileName()).hasMatch())
            return true;
    return false;
}

void zClt::F_StTxtFL(const QString& sFL, const QString& sTx, bool bApn) const {
    F_ChkFso();
    const QFileInfo fi(sFL);
    // A link of that name is never written through (its target may lie anywhere), nor is a folder,
    // a pipe or a device.
    if (sFL.isEmpty() || (!fi.isSymLink() && fi.exists() && !fi.isFile()))
        throw VbError(QStringLiteral("Path/File access error: %1").arg(sFL));
    const QByteArray bytes = platform::TextCodec::toAnsi(sTx);
    if (!bApn) {
        F_StBytesFL(sFL, bytes);
        return;
    }
    if (fi.isSymLink())
        throw VbError(QStringLiteral("Path/File access error: %1").arg(sFL));
    QFile f(sFL);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        throw VbError(QStringLiteral("Path/File access error: %1").arg(sFL));
    if (f.write(bytes) != bytes.size() || !f.flush())
        throw VbError(QStringLiteral("Cannot write %1: %2").arg(sFL, f.errorString()));
}

void zClt::F_StBytesFL(const QString& sFL, const QByteArray& bytes) const {
    F_ChkFso();
    const QFileInfo fi(sFL);
    if (sFL.isEmpty() || (!fi.isSymLink() && fi.exists() && !fi.isFile()))
        throw VbError(QStringLiteral("Path/File access error: %1").arg(sFL));
    // A new file beside the old one, which then takes its name: an old file (or whatever another
    // program put there meanwhile) is replaced, never written into.
    QTemporaryFile tmp(fi.absolutePath() + QStringLiteral("/.dbtext-XXXXXX.part"));
    if (!tmp.open())
        throw VbError(QStringLiteral("Path/File access error: %1").arg(sFL));
    if (tmp.write(bytes) != bytes.size() || !tmp.flush())
        throw VbError(QStringLiteral("Cannot write %1: %2").arg(sFL, tmp.errorString()));
    tmp.close();
    const QFileInfo now(sFL);
    if (now.isDir() && !now.isSymLink())
        throw VbError(QStringLiteral("Path/File access error: %1").arg(sFL));
    if (now.exists() || now.isSymLink())
        QFile::remove(sFL); // the entry itself, a link included, never what it points to
    if (!tmp.rename(sFL))   // refuses a name that is taken again
        throw VbError(QStringLiteral("Cannot write %1: %2").arg(sFL, tmp.errorString()));
    tmp.setAutoRemove(false);
}

void zClt::T_DelRwd(QString& sW1, QString& sW2) {
    if (sW2.isEmpty())
        sW2 = QStringLiteral(",");
    if (sW2 == QLatin1String(",")) {
        sW1.replace(QLatin1String(", "), QLatin1String(","));
        sW1.replace(QLatin1String(" ,"), QLatin1String(","));
    }
    while (!sW1.isEmpty() && sW1.endsWith(sW2))
        sW1.chop(sW2.size());
}

} // namespace util

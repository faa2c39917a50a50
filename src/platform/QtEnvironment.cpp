// QtEnvironment: special folders, settings store, shell and screen through Qt.
#include "platform/QtEnvironment.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <memory>

#ifdef Q_OS_WIN
#include <shlobj.h>
#include <windows.h>
#endif

namespace platform {

QChar pathSeparator() {
    return QDir::separator();
}

QString executableSuffix() {
#ifdef Q_OS_WIN
    return QStringLiteral(".exe");
#else
    return QString();
#endif
}

bool fileNamesCaseSensitive() {
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    return false;
#else
    return true;
#endif
}

namespace {
QString withoutTrailingSeparator(QString p) {
    p = QDir::toNativeSeparators(p);
    while (p.size() > 1 && (p.endsWith(QLatin1Char('/')) || p.endsWith(QLatin1Char('\\'))))
        p.chop(1);
    return p;
}
} // namespace

std::optional<KnownFolder> QtSpecialFolders::knownFolderOf(qint32 nFlg) {
    switch (nFlg) {
    case 26:
        return KnownFolder::RoamingAppData;
    case 5:
        return KnownFolder::Documents;
    case 9:
        return KnownFolder::SendTo;
    default:
        return std::nullopt;
    }
}

QString QtSpecialFolders::systemKnownFolder(KnownFolder folder) {
#ifdef Q_OS_WIN
    // The shell's own folders: Qt's configuration location is the local, not the roaming, one.
    const KNOWNFOLDERID& id = folder == KnownFolder::RoamingAppData ? FOLDERID_RoamingAppData
                              : folder == KnownFolder::Documents   ? FOLDERID_Documents
                                                                   : FOLDERID_SendTo;
    PWSTR path = nullptr;
    QString result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path)))
        result = QString::fromWCharArray(path);
    CoTaskMemFree(path);
    return result;
#else
    switch (folder) {
    case KnownFolder::RoamingAppData:
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    case KnownFolder::Documents:
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    case KnownFolder::SendTo: {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        return data.isEmpty() ? QString() : data + QStringLiteral("/nautilus/scripts");
    }
    }
    return {};
#endif
}

QString QtSpecialFolders::path(qint32 nFlg) const {
    const std::optional<KnownFolder> folder = knownFolderOf(nFlg);
    if (!folder)
        return {};
    const QString p = m_resolve(*folder);
    return p.isEmpty() ? QString() : withoutTrailingSeparator(p);
}

namespace {
QSettings* openStore(const QString& app) {
#ifdef Q_OS_WIN
    return new QSettings(QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\") + app,
                         QSettings::NativeFormat);
#else
    return new QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("VB and VBA Program Settings"),
                         app);
#endif
}
} // namespace

QString QtAppSettings::get(const QString& app, const QString& section, const QString& key, const QString& def) const {
    std::unique_ptr<QSettings> s(openStore(app));
    s->beginGroup(section);
    return s->value(key, def).toString();
}

bool QtAppSettings::set(const QString& app, const QString& section, const QString& key, const QString& value) {
    std::unique_ptr<QSettings> s(openStore(app));
    s->beginGroup(section);
    s->setValue(key, value);
    s->endGroup();
    s->sync();
    return s->status() == QSettings::NoError;
}

void QtShell::open(const QString& target) {
    if (target.isEmpty())
        return;
    // Addresses with a scheme open as they are; anything else is a local path.
    const QUrl url(target);
    if (url.isValid() && url.scheme().size() > 1 && !QFileInfo::exists(target))
        QDesktopServices::openUrl(url);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath()));
}

void QtShell::explore(const QString& folder) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(folder).absoluteFilePath()));
}

bool QtShell::startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

namespace {
double twipsPerPixel(bool horizontal) {
    const QScreen* s = QGuiApplication::primaryScreen();
    const double dpi = s ? (horizontal ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY()) : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}
} // namespace

double QtScreen::twipsPerPixelX() const {
    return twipsPerPixel(true);
}
double QtScreen::twipsPerPixelY() const {
    return twipsPerPixel(false);
}

void QtScreen::setBusy(bool busy) {
    if (busy) {
        ++m_busyDepth;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busyDepth > 0) {
        --m_busyDepth;
        QApplication::restoreOverrideCursor();
    }
}

} // namespace platform

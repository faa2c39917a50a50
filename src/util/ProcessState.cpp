// ProcessState: the process-wide state and the file-system service.
#include "util/ProcessState.h"

#include "platform/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace util {

bool FileSystem::fileExists(const QString& path) const {
    const QFileInfo fi(path);
    return !path.isEmpty() && fi.exists() && fi.isFile();
}

bool FileSystem::folderExists(const QString& path) const {
    const QFileInfo fi(path);
    return !path.isEmpty() && fi.exists() && fi.isDir();
}

bool FileSystem::createFolder(const QString& path) const {
    return !path.isEmpty() && QDir().mkdir(path);
}

QString FileSystem::readAnsiText(const QString& path, bool& ok, bool* invalid) const {
    QFile f(path);
    ok = f.open(QIODevice::ReadOnly);
    if (!ok)
        return {};
    const QByteArray bytes = f.readAll();
    ok = f.error() == QFileDevice::NoError;
    return platform::TextCodec::fromAnsi(bytes, invalid);
}

bool FileSystem::writeAnsiText(const QString& path, const QString& text) const {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = platform::TextCodec::toAnsi(text);
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

namespace {
ProcessState& instance() {
    static ProcessState state;
    return state;
}
} // namespace

ProcessState& processState() {
    return instance();
}

void resetProcessState() {
    instance() = ProcessState();
}

void F_ChkFso() {
    if (!instance().fso)
        instance().fso = std::make_unique<FileSystem>();
}

FileSystem& fso() {
    F_ChkFso();
    return *instance().fso;
}

} // namespace util

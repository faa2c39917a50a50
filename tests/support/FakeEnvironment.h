// FakeEnvironment: special folders, settings store, shell and screen for the tests.
#pragma once

#include "platform/Environment.h"

#include <QMap>
#include <QProcess>
#include <QStringList>

namespace testsupport {

class FakeSpecialFolders final : public platform::ISpecialFolders {
public:
    QString path(qint32 nFlg) const override { return folders.value(nFlg); }
    QMap<qint32, QString> folders;
};

class FakeAppSettings final : public platform::IAppSettings {
public:
    QString get(const QString& app, const QString& section, const QString& key, const QString& def) const override {
        return values.value(app + QLatin1Char('/') + section + QLatin1Char('/') + key, def);
    }
    bool set(const QString& app, const QString& section, const QString& key, const QString& value) override {
        ++writes;
        values.insert(app + QLatin1Char('/') + section + QLatin1Char('/') + key, value);
        return true;
    }
    QMap<QString, QString> values;
    int writes = 0;
};

class FakeShell final : public platform::IShell {
public:
    void open(const QString& target) override { opened << target; }
    void explore(const QString& folder) override { explored << folder; }
    bool startDetached(const QString& program, const QStringList& arguments) override {
        started << (QStringList{program} + arguments);
        if (reallyStart) // a test's stand-in program runs as the real shell would start it
            return QProcess::startDetached(program, arguments);
        return startResult;
    }
    QStringList opened;
    QStringList explored;
    QList<QStringList> started;
    bool startResult = true;
    bool reallyStart = false;
};

class FakeScreen final : public platform::IScreen {
public:
    double twipsPerPixelX() const override { return 15; }
    double twipsPerPixelY() const override { return 15; }
    void setBusy(bool busy) override { calls << busy; }
    bool busy() const { return !calls.isEmpty() && calls.last(); }
    QList<bool> calls;
};

} // namespace testsupport

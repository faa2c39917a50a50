// The special-folder numbers and the known folders they stand for, through the resolver seam.
#include "platform/QtEnvironment.h"

#include <QDir>
#include <QStandardPaths>

#include <gtest/gtest.h>

using platform::KnownFolder;
using platform::QtSpecialFolders;

TEST(SpecialFolders, EachNumberAsksForItsKnownFolder) {
    QList<KnownFolder> asked;
    const QtSpecialFolders folders([&](KnownFolder f) {
        asked << f;
        switch (f) {
        case KnownFolder::RoamingAppData:
            return QStringLiteral("/roaming/AppData/Roaming/");
        case KnownFolder::Documents:
            return QStringLiteral("/docs");
        case KnownFolder::SendTo:
            return QStringLiteral("/roaming/AppData/Roaming/Microsoft/Windows/SendTo");
        }
        return QString();
    });
    // The user data and Send To both come from the roaming folder, without a trailing separator.
    EXPECT_EQ(folders.path(26), QDir::toNativeSeparators(QStringLiteral("/roaming/AppData/Roaming")));
    EXPECT_EQ(folders.path(9),
              QDir::toNativeSeparators(QStringLiteral("/roaming/AppData/Roaming/Microsoft/Windows/SendTo")));
    EXPECT_EQ(folders.path(5), QDir::toNativeSeparators(QStringLiteral("/docs")));
    EXPECT_EQ(asked, (QList<KnownFolder>{KnownFolder::RoamingAppData, KnownFolder::SendTo, KnownFolder::Documents}));
    EXPECT_EQ(folders.path(28), QString()); // another number: none, and nothing asked
    EXPECT_EQ(asked.size(), 3);
    const QtSpecialFolders none([](KnownFolder) { return QString(); });
    EXPECT_EQ(none.path(26), QString());
}

TEST(SpecialFolders, ThisDesktopsFolders) {
    const QtSpecialFolders folders;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    EXPECT_EQ(folders.path(26), data);
    EXPECT_EQ(folders.path(9), data + QStringLiteral("/nautilus/scripts"));
}

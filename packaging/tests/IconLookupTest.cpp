// The tray client's install component put under a fresh prefix: Qt's icon theme lookup in
// hicolor, over the prefix's icon folder and the system's, finds the program's icon "corvena"
// at every size the desktop entry may be drawn.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <cstdlib>
#include <string>

#include "testing/TempHome.h"

namespace {

TEST(IconLookupTest, TheInstalledHicolorThemeGivesTheProgramsIconAtEverySize) {
    testing_support::TempHome home;
    std::string prefix = (home.path() / "usr").string();
    std::string install = "'" CMAKE_PROGRAM "' --install '" BUILD_DIR
                          "' --component corvena "
                          "--prefix '" +
                          prefix + "' >/dev/null";
    ASSERT_EQ(std::system(install.c_str()), 0) << install;

    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int argc = 1;
    char name[] = "IconLookupTest";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    // The icon folders of a desktop without a theme of its own: the data folders of
    // XDG_DATA_DIRS (the prefix, then the system's, which holds the hicolor theme's index).
    QIcon::setThemeSearchPaths(
        {QString::fromStdString(prefix + "/share/icons"), QStringLiteral("/usr/share/icons")});
    QIcon::setThemeName(QStringLiteral("hicolor"));
    ASSERT_TRUE(QIcon::hasThemeIcon(QStringLiteral("corvena")))
        << QIcon::themeSearchPaths().join(QStringLiteral(":")).toStdString();
    QIcon icon = QIcon::fromTheme(QStringLiteral("corvena"));
    for (int size : {16, 22, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        QPixmap pixmap = icon.pixmap(size, size);
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_EQ(pixmap.width(), size);
        // The middle of the round icon is drawn, not left transparent.
        EXPECT_GT(pixmap.toImage().pixelColor(size / 2, size / 4).alpha(), 0);
    }
    EXPECT_FALSE(QIcon::hasThemeIcon(QStringLiteral("corvena-no-such-icon")));
}

}  // namespace

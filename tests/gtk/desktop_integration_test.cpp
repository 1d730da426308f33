#include <gtest/gtest.h>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <glib/gstdio.h>

#include <string>
#include <vector>

#include "AppId.hpp"
#include "TestFiles.hpp"
#include "app/DesktopIntegration.hpp"

namespace corvane::gtk {
namespace {

const std::string kEntry = std::string("/applications/") + kDesktopFile;
const std::string kIcon = std::string("/apps/") + kAppId;
const std::string kHandler = std::string(kDesktopFile) + ";";
constexpr const char* kReturn = "corvane-desktop://auth?code=x";

using testing::readFile;
using testing::writeFile;

std::string defaultHandler(const std::string& configHome) {
    GKeyFile* list = g_key_file_new();
    gchar* value = nullptr;
    if (g_key_file_load_from_file(list, (configHome + "/mimeapps.list").c_str(), G_KEY_FILE_NONE, nullptr))
        value = g_key_file_get_string(list, "Default Applications", "x-scheme-handler/corvane-desktop", nullptr);
    std::string result = value ? value : "";
    g_free(value);
    g_key_file_free(list);
    return result;
}

// A test home, and unpacked trees whose program writes down how it was started.
struct DesktopIntegration : ::testing::Test {
    testing::TempFolder temp;
    const std::string root = temp.path, record = root + "/started.txt";
    UserDirs dirs{root + "/home/.local/share", root + "/home/.config"};

    std::string unpack(const std::string& folder) {
        writeFile(folder + "/bin/corvane", "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > '" + record + "'\n", 0755);
        writeFile(folder + "/share" + kEntry, readFile(CORVANE_DESKTOP_ENTRY));
        writeFile(folder + "/share/icons/hicolor/scalable" + kIcon + ".svg", "<svg/>");
        writeFile(folder + "/share/icons/hicolor/48x48" + kIcon + ".png", "png");
        return folder + "/bin/corvane";
    }

    // What a launcher starts when a sign-in return is opened with the user's entry.
    std::vector<std::string> startedBySignInReturn() {
        g_remove(record.c_str());
        GDesktopAppInfo* info = g_desktop_app_info_new_from_filename((dirs.dataHome + kEntry).c_str());
        if (!info) return {"<no launchable entry>"};
        GList uris = {const_cast<char*>(kReturn), nullptr, nullptr};
        GError* error = nullptr;
        const bool launched = g_app_info_launch_uris(G_APP_INFO(info), &uris, nullptr, &error);
        g_object_unref(info);
        if (!launched) {
            std::string message = error->message;
            g_error_free(error);
            return {message};
        }
        for (int i = 0; i < 100 && !g_file_test(record.c_str(), G_FILE_TEST_EXISTS); ++i) g_usleep(50000);
        g_usleep(50000);
        std::vector<std::string> argv;
        gchar** lines = g_strsplit(readFile(record).c_str(), "\n", -1);
        for (gchar** line = lines; *line && **line; ++line) argv.emplace_back(*line);
        g_strfreev(lines);
        return argv;
    }
};

GStatBuf statOf(const std::string& path) {
    GStatBuf st{};
    g_stat(path.c_str(), &st);
    return st;
}

TEST_F(DesktopIntegration, AnUnpackedBundleStartsFromItsEntryTakesTheSchemeAndFollowsAMove) {
    // Every character an Exec key must escape, in the folder a person chose.
    const std::string exe = unpack(root + "/My Apps/\"$HOME\" `x` \\ it's/Corvane");
    ASSERT_TRUE(announceBundle(exe, dirs));
    EXPECT_EQ(startedBySignInReturn(), (std::vector<std::string>{exe, kReturn}));
    EXPECT_EQ(readFile(dirs.dataHome + "/icons/hicolor/scalable" + kIcon + ".svg"), "<svg/>");
    EXPECT_EQ(readFile(dirs.dataHome + "/icons/hicolor/48x48" + kIcon + ".png"), "png");
    EXPECT_EQ(defaultHandler(dirs.configHome), kHandler);

    // The next launch changes nothing, so nothing is rewritten.
    const GStatBuf entry = statOf(dirs.dataHome + kEntry), list = statOf(dirs.configHome + "/mimeapps.list");
    ASSERT_TRUE(announceBundle(exe, dirs));
    EXPECT_EQ(statOf(dirs.dataHome + kEntry).st_ino, entry.st_ino);
    EXPECT_EQ(statOf(dirs.configHome + "/mimeapps.list").st_ino, list.st_ino);

    ASSERT_EQ(g_rename((root + "/My Apps").c_str(), (root + "/Moved").c_str()), 0);
    const std::string moved = root + "/Moved/\"$HOME\" `x` \\ it's/Corvane/bin/corvane";
    ASSERT_TRUE(announceBundle(moved, dirs));
    EXPECT_EQ(startedBySignInReturn(), (std::vector<std::string>{moved, kReturn}));
}

TEST_F(DesktopIntegration, AnotherHandlerStaysAndTreesTheDesktopSeesAreNotAnnounced) {
    struct Case {
        const char* what;
        const char* handler; // the user's default before the launch; "" for none
        std::string after;
    };
    const Case cases[] = {
        {"another program's handler stays", "other.desktop;", "other.desktop;"},
        {"a handler that was uninstalled is replaced", "gone.desktop;", kHandler},
    };
    writeFile(
        dirs.dataHome + "/applications/other.desktop",
        "[Desktop Entry]\nType=Application\nName=Other\nExec=true %u\nMimeType=x-scheme-handler/corvane-desktop;\n");
    const std::string exe = unpack(root + "/Corvane");
    for (const auto& c : cases) {
        writeFile(dirs.configHome + "/mimeapps.list",
                  std::string("[Default Applications]\nx-scheme-handler/corvane-desktop=") + c.handler + "\n");
        EXPECT_TRUE(announceBundle(exe, dirs)) << c.what;
        EXPECT_EQ(defaultHandler(dirs.configHome), c.after) << c.what;
    }

    // Installed where the desktop already looks (here ~/.local), or still in its build tree.
    g_remove((dirs.dataHome + kEntry).c_str());
    const UserDirs local{root + "/local/share", root + "/local/config"};
    EXPECT_FALSE(announceBundle(unpack(root + "/local"), local));
    // And one a launcher would refuse: GIO reads the escaped "%" of an Exec key as part of the file name.
    EXPECT_FALSE(announceBundle(unpack(root + "/100% farm"), dirs));
    writeFile(root + "/build/shell/gtk/corvane", "", 0755);
    EXPECT_FALSE(announceBundle(root + "/build/shell/gtk/corvane", dirs));
    EXPECT_EQ(readFile(dirs.dataHome + kEntry), "(none)");
    EXPECT_EQ(readFile(local.configHome + "/mimeapps.list"), "(none)");
}

} // namespace
} // namespace corvane::gtk

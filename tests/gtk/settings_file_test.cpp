#include "app/GtkSettingsStore.hpp"

#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "TestFiles.hpp"

namespace corvane::gtk {
namespace {

using testing::readFile;
using testing::writeFile;

struct Folder : testing::TempFolder {
    std::string file() const { return path + "/settings.ini"; }
};

int warnings = 0;
void countWarnings(const gchar*, GLogLevelFlags level, const gchar*, gpointer) {
    if (level & G_LOG_LEVEL_WARNING) ++warnings;
}

TEST(GtkSettingsStore, BrokenFilesAreSetAsideAndGoodSettingsSurvive) {
    const std::string good = "[Corvane]\nCorvaneMain.width=1400\nlastPath=/records?id=7\n";
    const std::string big = good + "# " + std::string(1 << 20, 'x') + "\n";
    struct Case {
        const char* what;
        std::string text;
        int width; // 0: none
        std::string lastPath;
        bool setAside;
    } cases[] = {
        {"bad line between the settings", "[Corvane]\nCorvaneMain.width=1400\nthis is not a setting\nlastPath=/farm\n",
         1400, "/farm", true},
        {"a key before any group", "stray=1\n[Corvane]\nlastPath=/care\n", 0, "/care", true},
        {"binary rubbish",
         std::string("\x7f"
                     "ELF\0\0\x01",
                     7),
         0, "", true},
        {"over 1 MiB, however valid", big, 0, "", true},
        // The file format holds it; only the value is unusable.
        {"a value that is not UTF-8", "[Corvane]\nlastPath=/\xff\xfe\nCorvaneMain.width=900\n", 900, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Folder folder;
        writeFile(folder.file(), c.text);
        g_log_set_default_handler(countWarnings, nullptr);
        {
            GtkSettingsStore settings(folder.file());
            EXPECT_EQ(settings.integer("CorvaneMain.width").value_or(0), c.width);
            EXPECT_EQ(settings.string("lastPath").value_or(""), c.lastPath);
            settings.setBoolean("wasFullScreen", true);
        }
        g_log_set_default_handler(g_log_default_handler, nullptr);
        // The original is kept for the user, byte for byte.
        EXPECT_EQ(readFile(folder.file() + ".broken"), c.setAside ? c.text : "(none)");
        GtkSettingsStore again(folder.file());
        EXPECT_EQ(again.integer("CorvaneMain.width").value_or(0), c.width);
        EXPECT_EQ(again.string("lastPath").value_or(""), c.lastPath);
        EXPECT_EQ(again.boolean("wasFullScreen"), std::optional<bool>(true));
        EXPECT_LT(readFile(folder.file()).size(), 200u);
    }

    {
        // A pipe in its place would block the launch for good.
        Folder folder;
        ASSERT_EQ(mkfifo(folder.file().c_str(), 0600), 0);
        GtkSettingsStore settings(folder.file());
        settings.setString("lastPath", "/farm");
        EXPECT_TRUE(g_file_test((folder.file() + ".broken").c_str(), G_FILE_TEST_EXISTS));
        EXPECT_EQ(GtkSettingsStore(folder.file()).string("lastPath"), std::optional<std::string>("/farm"));
    }

    // A good file is used as it is and nothing is set aside.
    Folder folder;
    writeFile(folder.file(), "# mine\n" + good);
    GtkSettingsStore settings(folder.file());
    settings.setBoolean("wasFullScreen", false);
    EXPECT_EQ(readFile(folder.file() + ".broken"), "(none)");
    // The user's comment stays on top; GLib's writer decides the blank lines (2.84 keeps one more).
    std::string saved = readFile(folder.file());
    EXPECT_EQ(saved.rfind("# mine\n", 0), 0u) << saved;
    for (auto blank = saved.find("\n\n"); blank != std::string::npos; blank = saved.find("\n\n")) saved.erase(blank, 1);
    EXPECT_EQ(saved, "# mine\n" + good + "wasFullScreen=false\n");
}

TEST(GtkSettingsStore, AFailingSaveIsReportedOnceAndLosesNothingInMemory) {
    Folder folder;
    // The config folder's place is taken by a file: every save fails.
    writeFile(folder.path + "/corvane", "");
    warnings = 0;
    g_log_set_default_handler(countWarnings, nullptr);
    GtkSettingsStore settings(folder.path + "/corvane/settings.ini");
    settings.setString("lastPath", "/farm");
    settings.setBoolean("wasFullScreen", true);
    settings.setInteger("CorvaneMain.width", 1000);
    g_log_set_default_handler(g_log_default_handler, nullptr);
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(settings.string("lastPath"), std::optional<std::string>("/farm"));
}

} // namespace
} // namespace corvane::gtk

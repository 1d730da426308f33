// The version an update carries, and a new copy's trial: the launcher that puts the old copy back when
// the new one cannot start.
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "Install.hpp"
#include "TempFolder.hpp"

namespace corvane::update {
namespace {

namespace fs = std::filesystem;

void write(const fs::path& path, const std::string& text, fs::perms mode = fs::perms(0644)) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    fs::permissions(path, mode);
}

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::vector<std::string> names(const fs::path& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

// A bundle whose program records who ran, with which arguments, then does `then`.
void bundle(const fs::path& at, const std::string& version, const std::string& who, const std::string& then) {
    write(at / "bin/corvane", "#!/bin/sh\necho \"" + who + " $*\" >> \"$RECORD\"\n" + then + "\n", fs::perms(0755));
    write(at / "share/corvane/version", version + "\n");
}

TEST(UpdateVersion, TheArchivesOwnVersionMustBeTheAdvertisedOneAndNewer) {
    struct Case {
        const char* what;
        const char* file; // nullptr: no version file
        const char* advertised;
        const char* refusal; // empty: accepted
    };
    const std::vector<Case> cases{
        {"the advertised newer version", "1.1.0\n", "1.1.0", ""},
        {"without a line end", "1.1.0", "1.1.0", ""},
        {"an older release advertised as newer", "0.9.0\n", "1.1.0", "not the 1.1.0"},
        {"a newer release advertised as another", "1.2.0\n", "1.1.0", "not the 1.1.0"},
        {"the running version again", "1.0.0\n", "1.0.0", "not newer"},
        {"an older release advertised as itself", "0.9.0\n", "0.9.0", "not newer"},
        {"no version file", nullptr, "1.1.0", "does not say"},
        {"an empty file", "", "1.1.0", "does not say"},
        {"two lines", "1.1.0\n0.1\n", "1.1.0", "does not say"},
        {"markup", "<b>1.1.0</b>\n", "<b>1.1.0</b>", "does not say"},
        {"a very long line", nullptr, "1.1.0", "does not say"},
    };
    TempFolder work("version");
    for (const auto& c : cases) {
        const fs::path b = work.path / "Corvane";
        fs::remove_all(b);
        fs::create_directories(b / "share/corvane");
        if (c.file) write(b / "share/corvane/version", c.file);
        else if (std::string(c.what) == "a very long line")
            write(b / "share/corvane/version", std::string(100000, '1'));
        const std::string refusal = checkVersion(bundleVersion(b.string()), c.advertised, "1.0.0").reason();
        if (*c.refusal == '\0') EXPECT_EQ(refusal, "") << c.what;
        else EXPECT_NE(refusal.find(c.refusal), std::string::npos) << c.what << ": " << refusal;
    }
    // A link in place of the file is not followed out of the bundle.
    fs::remove(work.path / "Corvane/share/corvane/version");
    write(work.path / "outside", "1.1.0\n");
    fs::create_symlink(work.path / "outside", work.path / "Corvane/share/corvane/version");
    EXPECT_FALSE(bundleVersion((work.path / "Corvane").string()));
}

TEST(UpdateTrial, AnInstallRefusedAtTheLastMomentChangesNothing) {
    TempFolder work("refused");
    const fs::path installed = work.path / "Corvane", staged = work.path / ".Corvane-update-staged/Corvane";
    bundle(installed, "1.0.0", "old", "");
    bundle(staged, "1.1.0", "new", "");
    // The staged copy was changed on disk after it was checked.
    write(staged / "share/corvane/version", "0.9.0\n");
    EXPECT_FALSE(installOnTrial(installed.string(), staged.string(), "1.1.0", "1.0.0"));
    EXPECT_EQ(names(installed / "bin"), std::vector<std::string>{"corvane"});
    EXPECT_EQ(names(staged / "bin"), std::vector<std::string>{"corvane"});
    EXPECT_EQ(names(work.path), (std::vector<std::string>{".Corvane-update-staged", "Corvane"}));
}

TEST(UpdateTrial, TheLauncherPutsTheOldCopyBackOnlyWhenTheNewOneCouldNotStart) {
    struct Case {
        const char* what;
        std::string then; // what the new program does after recording its start
        bool rolledBack;
        int status; // the launcher's, when not rolled back
    };
    const std::vector<Case> cases{
        {"it exits with an error at start", "exit 1", true, 0},
        {"it crashes", "kill -SEGV $$", true, 0},
        {"it cannot be loaded", "", true, 0}, // replaced by a cut-off ELF below
        {"it ran and quit before its first page", "exit 0", false, 0},
        {"it showed its first page, then failed", "mv \"$0\" \"${0%.trial}\"; exit 3", false, 3},
    };
    TempFolder work("trial");
    for (const auto& c : cases) {
        const fs::path folder = work.path / "Apps", installed = folder / "Corvane";
        const fs::path staged = folder / ".Corvane-update-staged/Corvane", record = work.path / "record";
        fs::remove_all(folder);
        fs::remove(record);
        bundle(installed, "1.0.0", "old", "exit 0");
        bundle(staged, "1.1.0", "new", c.then);
        if (std::string(c.what) == "it cannot be loaded") {
            std::ifstream elf("/bin/true", std::ios::binary);
            std::string head(200, '\0');
            elf.read(head.data(), 200);
            write(staged / "bin/corvane", head, fs::perms(0755));
        }
        ASSERT_TRUE(installOnTrial(installed.string(), staged.string(), "1.1.0", "1.0.0")) << c.what;
        fs::remove_all(folder / ".Corvane-update-staged");
        EXPECT_EQ(names(folder), (std::vector<std::string>{".Corvane-update-previous", "Corvane"})) << c.what;

        const std::string command = "cd / && RECORD='" + record.string() + "' '" +
                                    (installed / "bin/corvane").string() +
                                    "' 'corvane-desktop:x?a=[1]|%20' 2>/dev/null";
        const int status = WEXITSTATUS(std::system(command.c_str()));
        const std::string ran = read(record);
        if (c.rolledBack) {
            EXPECT_EQ(status, 0) << c.what;
            EXPECT_TRUE(ran.ends_with("old corvane-desktop:x?a=[1]|%20\n")) << c.what << ": " << ran;
            EXPECT_EQ(names(folder), (std::vector<std::string>{".Corvane-update-withdrawn", "Corvane"})) << c.what;
            EXPECT_EQ(read(installed / "share/corvane/version"), "1.0.0\n") << c.what;
            EXPECT_EQ(takeWithdrawn(installed.string()), "1.1.0") << c.what;
            EXPECT_EQ(takeWithdrawn(installed.string()), std::nullopt) << c.what; // told once
            EXPECT_EQ(names(folder), std::vector<std::string>{"Corvane"}) << c.what;
        } else {
            EXPECT_EQ(status, c.status) << c.what;
            EXPECT_EQ(ran, "new corvane-desktop:x?a=[1]|%20\n") << c.what;
            EXPECT_EQ(read(installed / "share/corvane/version"), "1.1.0\n") << c.what;
            EXPECT_EQ(names(folder), (std::vector<std::string>{".Corvane-update-previous", "Corvane"})) << c.what;
        }
    }
}

TEST(UpdateTrial, AProvenStartRemovesTheLauncherAndGivesUpTheKeptCopy) {
    TempFolder work("proven");
    const fs::path installed = work.path / "Corvane", staged = work.path / ".Corvane-update-staged/Corvane";
    bundle(installed, "1.0.0", "old", "");
    bundle(staged, "1.1.0", "new", "");
    EXPECT_EQ(proveStart(installed.string()), ""); // not on trial
    ASSERT_TRUE(installOnTrial(installed.string(), staged.string(), "1.1.0", "1.0.0"));
    EXPECT_EQ(names(installed / "bin"), (std::vector<std::string>{"corvane", "corvane.trial"}));
    EXPECT_EQ(proveStart(installed.string()), (work.path / ".Corvane-update-previous").string());
    EXPECT_EQ(names(installed / "bin"), std::vector<std::string>{"corvane"});
    EXPECT_NE(read(installed / "bin/corvane").find("echo \"new"), std::string::npos);
    EXPECT_EQ(proveStart(installed.string()), "");
    EXPECT_EQ(takeWithdrawn(installed.string()), std::nullopt);
}

} // namespace
} // namespace corvane::update

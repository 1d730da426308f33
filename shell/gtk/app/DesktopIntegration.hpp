#pragma once

#include <string>
#include <string_view>

namespace corvane::gtk {

// This process's executable, with every link resolved.
std::string ownExecutable();

// A path given relative to the executable's directory, as an installed tree lays it out; so a tree works
// wherever it was unpacked or moved.
std::string besideExecutable(std::string_view relative);

// The user's directories a bundle announces itself in.
struct UserDirs {
    std::string dataHome;   // $XDG_DATA_HOME
    std::string configHome; // $XDG_CONFIG_HOME
};

// A tree that the desktop cannot see (unpacked into the home folder, /opt, a removable disk) gets a
// desktop entry that starts this executable, its icons in the user's icon theme and, unless another
// program handles it, the sign-in URL scheme. Nothing is written when it would not change anything, and
// a package install or a build tree is left alone. Returns whether the tree was announced.
bool announceBundle(const std::string& executable, const UserDirs& dirs);

// At startup: the tree's own icons for this process, and the announcement once the app is idle.
void integrateWithDesktop();

} // namespace corvane::gtk

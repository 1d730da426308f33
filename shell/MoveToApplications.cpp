// The offer, at launch, to move a freshly downloaded app into the applications folder.
#include "AppDelegate.hpp"
#include "Relaunch.hpp"
#include "SettingsKeys.hpp"

#include "Placement.hpp"

namespace corvane::shell {

namespace {

// What browsers mark a downloaded file with.
const std::vector<std::string> downloadMarks{"user.xdg.origin.url", "user.xdg.referrer.url"};

LaunchAlert offerAlert() {
    return {"Move Corvane to your Applications folder?",
            "It needs to be in Applications to keep itself up to date.",
            {"Move to Applications", "Not Now"},
            "Don't ask again"};
}

LaunchAlert failureAlert() {
    return {"Corvane couldn't move itself",
            std::string(core::Placement::moveFailedText(core::Platform::linuxDesktop)),
            {"OK"},
            std::nullopt};
}

} // namespace

bool AppDelegate::offerMoveToApplications() {
    Bundle& bundle = ports_.bundle;
    Files& files = ports_.files;
    const std::string source = bundle.bundlePath();
    if (source.empty()) return false;
    const std::string home = bundle.homePath();
    const auto places = bundle.places();
    if (!core::Placement::shouldOffer(source, home, places)) return false;
    if (ports_.settings.boolean(keys::moveToApplicationsDeclined).value_or(false)) return false;

    const auto answer = bundle.runLaunchAlert(offerAlert());
    if (answer.button != 0) {
        if (answer.checked) ports_.settings.setBoolean(keys::moveToApplicationsDeclined, true);
        return false;
    }

    // Nothing on Linux moves a downloaded app aside, so where it runs is where the user put it.
    const std::string& real = source;
    const std::string destination = core::Placement::destination(real, home, places);
    const std::string standardDestination = core::Placement::standardize(destination, home);
    for (const auto& copy : bundle.runningCopies())
        if (core::Placement::standardize(copy, home) == standardDestination) {
            bundle.activateCopy(copy);
            bundle.terminate();
            return true;
        }

    const bool copied = (!files.exists(destination) || files.trash(destination)) && files.copyTree(source, destination);
    if (!copied) {
        bundle.runLaunchAlert(failureAlert());
        return false;
    }

    std::vector<std::string> marked{destination};
    for (const auto& below : files.listBelow(destination)) marked.push_back(destination + "/" + below);
    for (const auto& path : marked)
        for (const auto& mark : downloadMarks)
            if (files.hasAttribute(path, mark)) files.removeAttribute(path, mark);

    std::string volume;
    const auto mounted = core::Placement::volumeOf(real, home, places);
    if (mounted && files.isReadOnlyMount(real) == true) volume = *mounted;
    else if (real.starts_with(core::Placement::standardize(home, home) + "/")) files.trash(real);

    bundle.bundleMoved(destination);
    bundle.spawnDetached(relaunchCommand(bundle.processId(), destination, volume));
    bundle.terminate();
    return true;
}

} // namespace corvane::shell

#pragma once

#include <functional>
#include <string>

// The Ruffle web player that a page of --html loads from ruffle/ beside it,
// put there from the copy the converter was built or installed with.

// The folder of the player's files that goes with the program in
// `programDirectory` (ending in a slash, as FindExecutableDirectory gives it):
// ruffle/ beside the program in a build folder, the installation's share
// folder otherwise. Empty when neither holds ruffle.js.
std::string FindInstalledPlayer(const std::string& programDirectory);

// Copies the player's folder `player` (empty: none was found) to ruffle/
// beside the page, unless something of that name is there already, which is
// never replaced, not even when it comes while the copy is made. The copy is
// made under a temporary name (.ruffle-XXXXXX) and renamed, so that a failed
// one leaves nothing, nor one that SIGINT, SIGTERM or SIGHUP ends (the
// temporary folder of one killed outright goes with the next copy beside a
// page there); its files and folders are made as the user's umask says. Returns a warning for the
// user (the page and the movie are written either way), empty when the page
// has its player. `beforeMove`, when given, is called between the copy and
// the rename (the tests' races).
std::string PutPlayerBesidePage(const std::string& pageFile, const std::string& player,
                                const std::function<void()>& beforeMove = nullptr);

#include "driver/playercopy.h"

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

#ifndef CORVANEX_PLAYER_FROM_PROGRAM
#define CORVANEX_PLAYER_FROM_PROGRAM "../../share/corvanex/ruffle"
#endif

bool HoldsPlayer(const fs::path& folder)
{
    std::error_code error;
    return fs::is_regular_file(folder / "ruffle.js", error);
}

std::string Quoted(const std::string& name)
{
    return "'" + name + "'";
}

}  // namespace

std::string FindInstalledPlayer(const std::string& programDirectory)
{
    if (programDirectory.empty()) return {};
    const fs::path program(programDirectory);
    for (const fs::path& folder : {program / "ruffle", program / CORVANEX_PLAYER_FROM_PROGRAM}) {
        if (HoldsPlayer(folder)) return folder.lexically_normal().string();
    }
    return {};
}

std::string PutPlayerBesidePage(const std::string& pageFile, const std::string& player)
{
    const fs::path pageFolder = fs::path(pageFile).parent_path();
    const fs::path target = pageFolder / "ruffle";
    std::error_code error;
    // Anything of that name, even a dangling link, is the user's.
    if (fs::symlink_status(target, error).type() != fs::file_type::not_found) return {};
    if (player.empty()) {
        return "no Ruffle web player to put beside the page " + Quoted(pageFile) + ": the page loads it from " +
               Quoted(target.string() + "/") + " (the README's \"The web player\" says where to get it)";
    }

    std::string pattern = (pageFolder / ".ruffle-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const auto failure = [&](const std::string& reason) {
        return "cannot copy the Ruffle web player " + Quoted(player) + " to " + Quoted(target.string()) + ": " +
               reason;
    };
    if (!mkdtemp(name.data())) return failure(std::generic_category().message(errno));
    const fs::path staging(name.data());
    fs::copy(player, staging, fs::copy_options::recursive, error);
    // mkdtemp makes the folder for its owner alone; the player is served to everyone.
    if (!error) fs::permissions(staging, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                             fs::perms::others_read | fs::perms::others_exec, error);
    if (!error && fs::exists(fs::symlink_status(target))) error = std::make_error_code(std::errc::file_exists);
    if (!error) fs::rename(staging, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove_all(staging, ignored);
        return failure(error.message());
    }
    return {};
}

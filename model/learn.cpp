#include "learn.h"

#include "location.h"
#include "pace.h"
#include "words.h"

#include <algorithm>
#include <filesystem>

namespace zelvar {

namespace {

// Whether `folder` is on this machine: there, or there and not readable.
bool onThisMachine(const std::string &folder) {
    std::error_code error;
    const bool there = std::filesystem::exists(folder, error);
    return there || error == std::errc::permission_denied;
}

std::string normal(const std::string &path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return (error ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

// Where a location's file is on its host, from the host's root.
std::optional<std::string> pathOnHost(const std::string &path) {
    if (!isLocation(path))
        return std::nullopt;
    const auto at = parseLocation(path);
    const Location *l = std::get_if<Location>(&at);
    return l == nullptr ? std::nullopt
                        : std::optional(std::filesystem::path(l->path).lexically_normal().string());
}

// Where a server's path is on a configuration's file host: its host shows
// the server's folders under `root`, which its paths begin with.
std::optional<std::string> onHost(const std::string &origin, const std::string &root,
                                  const std::string &folder) {
    const std::string path = std::filesystem::path(folder).lexically_normal().string();
    if (!path.starts_with(root) || (path.size() > root.size() && path[root.size()] != '/'))
        return std::nullopt;
    const std::string rest = path.substr(root.size());
    return origin + (rest.empty() ? "/" : rest);
}

// The server's path to the host's root, from where it finds the
// configuration (its path ends with the location's), or else from the one
// folder of its own that the configuration can be in.
std::optional<std::string> hostRoot(rcon::Session &session, const std::string &onHostPath,
                                    const std::vector<std::string> &folders) {
    const std::string name = fileNameOf(onHostPath);
    std::optional<std::string> where;
    if (rcon::engineOf(session.version()) != rcon::Engine::Of2003)
        rcon::unanswered([&] { where = session.which(name); });
    if (where && !where->empty()) {
        const std::string found = std::filesystem::path(*where).lexically_normal().string();
        if (found.ends_with(onHostPath))
            return found.substr(0, found.size() - onHostPath.size());
    }
    std::vector<std::string> roots;
    for (const std::string &f : folders) {
        const std::string in = std::filesystem::path(f + name).lexically_normal().string();
        if (in.ends_with(onHostPath) &&
            std::find(roots.begin(), roots.end(), in.substr(0, in.size() - onHostPath.size())) ==
                roots.end())
            roots.push_back(in.substr(0, in.size() - onHostPath.size()));
    }
    return roots.size() == 1 ? std::optional(roots.front()) : std::nullopt;
}

}  // namespace

Learnt learn(rcon::Session &session, const NamedServer &named) {
    Learnt learnt{named, {}, {}};
    const std::string version = session.version();
    if (!named.order) {
        if (version.starts_with("ioq3"))
            learnt.server.order = FolderOrder::LooseFirst;
        else if (rcon::engineOf(version) != rcon::Engine::Unknown)
            learnt.server.order = FolderOrder::ArchivesFirst;
    }
    if (!named.gameDirs.empty() || !named.configuration)
        return learnt;
    std::optional<std::string> home;
    std::optional<std::string> base;
    std::string game;
    std::string baseGame;
    const auto unsure = [&](const std::string &why) {
        learnt.unsure = "the server did not say where it reads its files: " + why;
        return learnt;
    };
    if (auto why = rcon::unanswered([&] {
            home = session.value("fs_homepath");
            base = session.value("fs_basepath");
        }))
        return unsure(*why);
    if (!home && !base)
        return learnt;
    if (auto why = rcon::unanswered([&] {
            game = session.value("fs_game").value_or("");
            // ioquake3 names its base game; the game's own engines call it "base".
            baseGame = session.value("com_basegame").value_or("base");
        }))
        return unsure(*why);
    // The mod's folders before the base game's, the home's before the installation's.
    std::vector<std::string> games;
    if (!game.empty() && game != baseGame)
        games.push_back(game);
    games.push_back(baseGame);
    std::vector<std::string> folders;
    for (const std::string &g : games)
        for (const std::optional<std::string> &root : {home, base})
            if (root && !root->empty() &&
                std::find(folders.begin(), folders.end(), *root + '/' + g + '/') == folders.end())
                folders.push_back(*root + '/' + g + '/');
    std::string shown;
    for (const std::string &f : folders)
        (shown += shown.empty() ? "" : ", ") += zelvar::quoted(f);
    if (const std::optional<std::string> there = pathOnHost(*named.configuration)) {
        // A configuration on a file host: the server's folders where that
        // host shows them, those it shows at all.
        const auto at = parseLocation(*named.configuration);
        const std::optional<std::string> root = hostRoot(session, *there, folders);
        std::vector<std::string> mapped;
        for (const std::string &f : folders)
            if (std::optional<std::string> m =
                    root ? onHost(std::get<Location>(at).origin(), *root, f) : std::nullopt)
                mapped.push_back(*m);
        if (mapped.empty()) {
            learnt.notes.push_back("the server's own folders (" + shown +
                                   ") are not where its file host shows the configuration: "
                                   "exec is followed beside it; name them in game_dir");
            return learnt;
        }
        shown.clear();
        for (const std::string &f : mapped)
            (shown += shown.empty() ? "" : ", ") += zelvar::quoted(f);
        learnt.server.gameDirs = mapped;
        learnt.notes.push_back("exec is followed along the server's own folders, on its file "
                               "host: " +
                               shown);
        return learnt;
    }
    if (std::none_of(folders.begin(), folders.end(), onThisMachine)) {
        learnt.notes.push_back("the server's own folders (" + shown +
                               ") are not on this machine: exec is followed beside the "
                               "configuration");
        return learnt;
    }
    learnt.server.gameDirs = folders;
    learnt.notes.push_back("exec is followed along the server's own folders: " + shown);
    return learnt;
}

std::optional<std::string> readsElsewhere(rcon::Session &session, const Tree &tree) {
    // The 2003 server has no "which": it would drop the command unanswered.
    if (rcon::engineOf(session.version()) == rcon::Engine::Of2003)
        return std::nullopt;
    for (std::size_t i = 0; i < tree.paths.size() && i < tree.asked.size(); ++i) {
        if ((tree.commandLine && std::size_t(*tree.commandLine) == i) || tree.asked[i].empty())
            continue;
        std::optional<std::string> where;
        if (auto why = rcon::unanswered([&] { where = session.which(tree.asked[i]); }))
            return "the server did not say where it finds " + tree.asked[i] + ": " + *why;
        if (!where || where->empty())
            continue;  // an engine that cannot say, or a file it has not
        if (const std::optional<std::string> there = pathOnHost(tree.paths[i])) {
            // A file host may show the server's folders under a root of its
            // own (a panel's /home/container is its "/"): its path is the end
            // of the server's.
            if (std::filesystem::path(*where).lexically_normal().string().ends_with(*there))
                continue;
        } else if (!onThisMachine(folderOf(*where)) || normal(*where) == normal(tree.paths[i])) {
            continue;  // another machine's, or this file
        }
        const std::string here =
            tree.archived(int(i)) ? tree.paths[i] + ": " + tree.members[i] : tree.paths[i];
        return "the server reads " + tree.asked[i] + " from " + zelvar::quoted(*where) + ", not " +
               zelvar::quoted(here) +
               ", which was read here: name the server's folders in game_dir, in the order "
               "its engine searches them";
    }
    return std::nullopt;
}

}  // namespace zelvar

#include "filehost.h"

#include "textfile.h"
#include "words.h"

#include <algorithm>

namespace zelvar {

std::string_view writtenAsName(WrittenAs how) {
    switch (how) {
    case WrittenAs::InPlace:
        return "in place";
    case WrittenAs::AsideFirst:
        return "replaced, the old moved aside first";
    case WrittenAs::Rewritten:
        return "rewritten in place, not in one step";
    case WrittenAs::ThroughLink:
        return "rewritten through its link, not in one step";
    case WrittenAs::Replaced:
        break;
    }
    return "replaced";
}

namespace {

struct Replacing {
    FileHost &host;
    const std::string &path;
    std::string name;
    std::string_view bytes;
    std::size_t largest;

    bool holds(const std::string &at, std::string_view wanted) const {
        const FileText back = host.fetch(at, largest);
        return back.bytes && *back.bytes == wanted;
    }
    // Its own bytes rewritten: `old` put back when the new do not read back.
    HostResult inPlace(const std::string &old, const std::string &why,
                       std::string_view since = "since nothing could be made beside it",
                       WrittenAs how = WrittenAs::Rewritten) const {
        const std::string because = " (" + why + ")";
        const std::optional<std::string> failed = host.store(path, bytes);
        if (!failed && holds(path, bytes))
            return {how, name + ": rewritten in place, not in one step, " + std::string(since) +
                             because};
        const std::string what = failed ? *failed : "it did not read back as written";
        if (holds(path, old))  // refused before a byte was written
            return {std::nullopt, name + ": rewriting it in place failed: " + what +
                                      "; it is as it was; nothing is written" + because};
        if (!host.store(path, old) && holds(path, old))
            return {std::nullopt, name + ": rewriting it in place failed: " + what +
                                      "; its old bytes are back" + because};
        return {std::nullopt, name + ": rewriting it in place failed: " + what +
                                  ", and putting its old bytes back failed too: it may be "
                                  "neither; nothing else was written" +
                                  because};
    }
};

}  // namespace

HostResult replaceOnHost(FileHost &host, const std::string &path, std::string_view name,
                         std::uint64_t wasDigest, std::uint64_t wasSize, std::string_view bytes,
                         std::size_t largest) {
    Replacing r{host, path, std::string(name), bytes, largest};
    const std::string folder = folderOf(path);
    const std::string file = fileNameOf(path);
    const std::string fresh = folder + '.' + file + ".zv-new";
    const std::string aside = folder + '.' + file + ".zv-old";
    // What the host holds now must be what was read and planned from.
    FileText now = host.fetch(path, largest);
    if (!now.bytes)
        return {
            std::nullopt,
            r.name + ": " +
                (now.missing ? std::string("gone from the server since it was read") : now.error) +
                "; nothing is written"};
    if (now.bytes->size() != wasSize || digestOf(*now.bytes) != wasDigest)
        return {std::nullopt, r.name + " " + std::string(kChangedOnHost) + "; nothing is written"};
    const std::string old = std::move(*now.bytes);
    std::optional<unsigned> mode;
    bool linked = false;
    const FileHost::Listing listing = host.list(folder);
    if (const auto *entries = std::get_if<std::vector<FileHost::Entry>>(&listing)) {
        for (const FileHost::Entry &e : *entries) {
            if (e.name == file) {
                mode = e.mode;
                linked = e.linkTo.has_value();
            }
            // A copy an earlier write could not clear away may be the only old one.
            if (e.name == fileNameOf(aside))
                return {std::nullopt, zelvar::quoted(aside) +
                                          " is there, left by an earlier write: see what it "
                                          "holds, then remove it; nothing is written"};
        }
    }
    // A link whose target the host does not show: a file renamed over it
    // would stand in its place, cut from the file the server shares, so the
    // bytes go through the link.
    if (linked)
        return r.inPlace(old, "the host does not show where it leads",
                         "through its link, which stays one", WrittenAs::ThroughLink);
    // The new bytes beside it, whole and with its mode, before anything else.
    if (const std::optional<std::string> why = host.store(fresh, bytes)) {
        host.remove(fresh);
        // A host gone quiet is no host that refuses new files: the file,
        // never touched, stays as it is.
        if (std::holds_alternative<std::string>(host.list(folder)))
            return {std::nullopt, r.name +
                                      ": the server stopped answering as the new bytes "
                                      "went to it (" +
                                      *why +
                                      "); it is as it was, and a part of the new may be "
                                      "left at " +
                                      zelvar::quoted(fresh) + "; nothing is written"};
        return r.inPlace(old, *why);
    }
    if (mode)
        if (const std::optional<std::string> why = host.chmod(fresh, *mode)) {
            host.remove(fresh);
            return r.inPlace(old, "its mode could not be given to a new file: " + *why);
        }
    if (!r.holds(fresh, bytes)) {
        host.remove(fresh);
        return {std::nullopt, zelvar::quoted(fresh) +
                                  " did not read back as written and is removed; " + r.name +
                                  " is as it was; nothing is written"};
    }
    WrittenAs how = WrittenAs::Replaced;
    if (const std::optional<std::string> onto = host.rename(fresh, path)) {
        // A host that renames nothing onto a file: the old goes aside first.
        if (const std::optional<std::string> why = host.rename(path, aside)) {
            host.remove(fresh);
            return r.inPlace(old, "the server renames nothing: " + *why);
        }
        if (const std::optional<std::string> why = host.rename(fresh, path)) {
            const bool back = !host.rename(aside, path);
            host.remove(fresh);
            return {std::nullopt, back ? r.name + ": renaming the new file in failed: " + *why +
                                             "; it is as it was; nothing is written"
                                       : r.name + ": renaming the new file in failed: " + *why +
                                             ", and so did putting the old back: it is at " +
                                             zelvar::quoted(aside) + "; rename it back"};
        }
        how = WrittenAs::AsideFirst;
    }
    if (!r.holds(path, bytes)) {
        const bool back = how == WrittenAs::AsideFirst
                              ? !host.remove(path) && !host.rename(aside, path)
                              : !host.store(path, old) && r.holds(path, old);
        return {std::nullopt, r.name + " did not read back as written; " +
                                  (back ? "its old bytes are back"
                                   : how == WrittenAs::AsideFirst
                                       ? "its old bytes are at " + zelvar::quoted(aside)
                                       : std::string("it may be neither old nor new"))};
    }
    if (how == WrittenAs::AsideFirst)
        if (const std::optional<std::string> why = host.remove(aside))
            return {how, r.name + " is written; the old copy stays at " + zelvar::quoted(aside) +
                             ": " + *why};
    return {how, r.name + " is written"};
}

}  // namespace zelvar

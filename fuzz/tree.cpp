// The exec follower, over files made of the input: bytes after each 0x01
// are the next file ("f1.cfg", ...); a file named "u*" is there but
// unreadable. Whatever the files, every setting is told by a file read and
// a line in it, every note stands before a setting there is, an unreadable
// file is always said, nothing is read past a NUL, and reading the same
// files twice gives the same.
#include "tree.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

zelvar::Tree readOf(const std::vector<std::string> &files, bool &unreadAsked) {
    zelvar::Disk disk;
    disk.archives = [](const std::string &) { return std::vector<std::string>(); };
    disk.read = [&](const std::string &path) {
        zelvar::FileText text;
        const std::string name = path.substr(path.find_last_of('/') + 1);
        if (name.starts_with('u')) {
            unreadAsked = true;
            text.error = "cannot read";
            return text;
        }
        const auto at = name.size() > 5 && name.starts_with('f') && name.ends_with(".cfg")
                            ? std::strtoul(name.c_str() + 1, nullptr, 10)
                            : files.size();
        if (at < files.size() && name == "f" + std::to_string(at) + ".cfg")
            text.bytes = files[at];
        else
            text.missing = true;
        return text;
    };
    return zelvar::readTree("f0.cfg", {"/g/"}, disk);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::vector<std::string> files(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 1 && files.size() < 6)
            files.emplace_back();
        else
            files.back() += static_cast<char>(data[i]);
    }
    bool unreadAsked = false;
    const zelvar::Tree tree = readOf(files, unreadAsked);
    if (tree.error)  // the first file is always there
        std::abort();
    for (const zelvar::Setting &s : tree.settings)
        if (s.file < 0 || static_cast<std::size_t>(s.file) >= tree.paths.size() || s.line < 1 ||
            s.value.find('\0') != std::string::npos)
            std::abort();
    for (const zelvar::Tree::Note &note : tree.notes)
        if (note.before > tree.settings.size())
            std::abort();
    if (unreadAsked != (tree.unread() != nullptr))
        std::abort();
    bool again = false;
    const zelvar::Tree second = readOf(files, again);
    if (second.settings.size() != tree.settings.size() || second.notes.size() != tree.notes.size())
        std::abort();
    for (std::size_t i = 0; i < tree.settings.size(); ++i)
        if (second.settings[i].value != tree.settings[i].value ||
            second.settings[i].line != tree.settings[i].line)
            std::abort();
    return 0;
}

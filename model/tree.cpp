#include "tree.h"

#include "edit.h"
#include "textfile.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <utility>

namespace zelvar {

namespace {

// Far past what a server's buffer holds; a tree that grows beyond is not
// read on, and neither are more execs than this.
constexpr std::size_t kLargestBuffer = std::size_t{4} << 20;
constexpr int kMostExecs = 512;

// A stretch of the spliced text: which file's bytes, from where, and the
// files that exec'd it, outermost first.
struct Segment {
    std::size_t start = 0;
    std::size_t size = 0;
    int file = 0;
    std::size_t offset = 0;
    std::vector<int> chain;
    // A vstr's text: the variables whose values run here, outermost first;
    // and whether the text is its file's own bytes at `offset` (a value of
    // one word), or a value joined from several, which stands for that place.
    std::vector<std::string> vstrs;
    bool verbatim = true;
};

// The files the engine runs as it starts, before its command line: never
// named when missing, as most servers have none of them.
constexpr std::array<std::string_view, 3> kStartFiles{"default.cfg", "q3config_server.cfg",
                                                      "autoexec.cfg"};

// Whether a vstr may run in `text`: then every command is read, as what it
// runs is any variable's value.
bool mayRunVstr(std::string_view text) {
    constexpr std::string_view kVstr = "vstr";
    return std::search(text.begin(), text.end(), kVstr.begin(), kVstr.end(),
                       [](char a, char b) { return (a | 0x20) == b; }) != text.end();
}

using Created = std::array<bool, kVariableCount>;

// ".cfg" added where the last part of the name has no extension, as the
// console adds it.
std::string completed(std::string name) {
    const std::size_t slash = name.find_last_of("/\\");
    if (name.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos)
        name += ".cfg";
    return name;
}

}  // namespace

std::string folderOf(const std::string &path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileNameOf(const std::string &path) { return path.substr(folderOf(path).size()); }

namespace {

class Splicer {
public:
    // The first text read is file `first` of the tree; `created`, the
    // variables that exist before it runs.
    Splicer(Tree &tree, SearchPath folders, const Disk &disk, std::optional<FolderOrder> order,
            int first = 0, Created created = {})
        : tree_(tree), folders_(std::move(folders)), disk_(disk),
          order_(order.value_or(FolderOrder::ArchivesFirst)), assumedOrder_(!order),
          firstFile_(first), created_(created) {
        for (std::string &folder : folders_)
            if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
                folder += '/';
        texts_.resize(tree_.paths.size());
    }
    // A file's text known before it is exec'd: the configuration, run from the command line.
    void know(int file, std::string text) { texts_.at(std::size_t(file)) = std::move(text); }
    void note(std::string text, Tree::Kind kind) { notes_.push_back({0, std::move(text), kind}); }

    // The buffer is read from `from_` on, and read again from there after
    // each splice; where a command starts afresh at the exec'd text, what
    // came before is final and reading goes on from there, so that the text
    // is read about once however many files it execs.
    //
    // Each of `stages` after the first is given to the console once all
    // before it has run: it starts afresh, whatever the earlier left open.
    void run(std::vector<std::string> stages) {
        std::string first = std::move(stages.front());
        std::size_t stage = 1;
        if (stages.size() > 1) {
            std::string whole = first;
            for (std::size_t i = 1; i < stages.size(); ++i)
                whole += stages[i];
            texts_.at(std::size_t(firstFile_)) = std::move(whole);
        }
        std::size_t stageAt = first.size();  // where the next stage stands in the first file
        // The first file's text is kept once another is spliced in.
        segments_.push_back({0, first.size(), firstFile_, 0, {firstFile_}, {}, true});
        buffer_ = std::move(first);
        std::size_t handled = std::string::npos;  // the last exec spliced, or none
        for (int n = 0;; ++n) {
            const bool every = mayRunVstr(std::string_view(buffer_).substr(from_));
            ConfigReader reader(every);
            std::vector<Setting> settings = readOn(reader);
            const auto &execs = reader.execs();
            const auto exec = std::find_if(execs.begin(), execs.end(), [&](const auto &e) {
                return handled == std::string::npos || e.at + from_ > handled;
            });
            if (exec == execs.end() && stage < stages.size()) {  // all before is final
                std::move(settings.begin(), settings.end(), std::back_inserter(before_));
                keep(reader, std::string::npos);
                quickBefore_ = quickBefore_ || !every;
                from_ = buffer_.size();
                stageStarts_.push_back(from_);
                std::string &next = stages[stage++];
                segments_.push_back(
                    {from_, next.size(), firstFile_, stageAt, {firstFile_}, {}, true});
                stageAt += next.size();
                buffer_ += next;
                handled = std::string::npos;
                continue;
            }
            if (exec == execs.end()) {  // the text read is the whole: no need to read it again
                if (before_.empty())
                    before_ = std::move(settings);
                else
                    std::move(settings.begin(), settings.end(), std::back_inserter(before_));
                tree_.settings = std::move(before_);
                tree_.endsInComment = reader.endsInComment();
                keep(reader, std::string::npos);
                done_ = true;
                break;
            }
            const Exec found{exec->name, exec->at + from_, exec->fresh, exec->vstr};
            // A command that ran to the end of what the console held leaves
            // the exec'd text to start a command of its own.
            if (found.at > buffer_.size())
                restarts_.push_back(buffer_.size());
            const std::size_t at = std::min(found.at, buffer_.size());
            handled = at;
            // What a vstr there runs is the value the commands before it gave.
            std::vector<Assign> assigns = shifted(reader.assigns(), at);
            keep(reader, at);
            if (found.fresh && at < buffer_.size()) {
                for (Setting &s : settings)
                    if (s.at < at)
                        before_.push_back(std::move(s));
                std::move(assigns.begin(), assigns.end(), std::back_inserter(assigns_));
                assigns.clear();
                quickBefore_ = quickBefore_ || !every;
                from_ = at;
            }
            if (n == kMostExecs) {
                notes_.push_back({at,
                                  std::string(found.vstr ? "vstr " + found.name
                                                         : "exec " + completed(found.name)) +
                                      ": more than " + std::to_string(kMostExecs) +
                                      " execs and vstrs; reading stops here",
                                  Tree::Kind::Stopped});
                buffer_.resize(at);
                break;
            }
            if (!(found.vstr ? spliceValue(found.name, at, assigns)
                             : splice(completed(found.name), at)))
                break;
        }
        finish();
    }

    // Whether exec of the configuration's own name, from its folder on the
    // search path, runs another file: an archive's, or one in a folder
    // looked in first. Then what it sets is not what the server runs.
    void shadowed(const std::string &path) {
        const std::string folder = folderOf(path);
        if (std::find(folders_.begin(), folders_.end(), folder) == folders_.end() || folder.empty())
            return;
        const std::string name = fileNameOf(path);
        // Which archive came first is said where an exec finds it.
        const Source runs = locate(name, 0, false);
        if (runs.path == path && runs.member.empty())
            return;
        notes_.push_back({0,
                          "exec " + name + " runs " + zelvar::quoted(runs.shown) + ", not " +
                              zelvar::quoted(tree_.names.front()) + ": " +
                              (folderOf(runs.path) == folder
                                   ? orderSaid()
                                   : "its folder comes first along the game's folders") +
                              "; what this file sets is not what the server runs",
                          Tree::Kind::Shadowed});
    }

    // The first file's text, before run: read up to a NUL, as the console reads it.
    void cutFirst(std::string &text) { cutAtNul(text, tree_.names.front(), 0); }

private:
    using Exec = ConfigReader::Exec;
    using Assign = ConfigReader::Assign;

    // The reader's assigns of this pass before `before`, at their places in the whole.
    std::vector<Assign> shifted(const std::vector<Assign> &found, std::size_t before) const {
        std::vector<Assign> out;
        for (const Assign &a : found)
            if (a.at + from_ < before) {
                out.push_back(a);
                out.back().at += from_;
                out.back().valueAt += from_;
            }
        return out;
    }

    // What a pass read before `before` that no later pass reads again: the
    // first map, and at the end of reading every assign.
    void keep(const ConfigReader &reader, std::size_t before) {
        for (const ConfigReader::Map &m : reader.maps())
            if (!firstMap_ && m.at + from_ < before)
                firstMap_ = {m.at + from_, m.command};
        if (before == std::string::npos) {
            std::vector<Assign> rest = shifted(reader.assigns(), before);
            std::move(rest.begin(), rest.end(), std::back_inserter(assigns_));
        }
    }

    // The buffer from `from_` on, each place and line as in the whole.
    std::vector<Setting> readOn(ConfigReader &reader) {
        // The line end the console adds, for the read alone.
        buffer_ += '\n';
        const struct Drop {
            std::string &buffer;
            ~Drop() { buffer.pop_back(); }
        } drop{buffer_};
        if (from_ == 0)
            return reader.readEnded(buffer_, restarts_);
        std::vector<std::size_t> restarts;
        for (const std::size_t r : restarts_)
            if (r > from_)
                restarts.push_back(r - from_);
        std::vector<Setting> settings =
            reader.readEnded(std::string_view(buffer_).substr(from_), restarts, false);
        const int linesBefore = static_cast<int>(std::count(
            buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(from_), '\n'));
        for (Setting &s : settings) {
            s.at += from_;
            s.valueAt += from_;
            s.line += linesBefore;
            if (s.swallow) {
                s.swallow->line += linesBefore;
                if (s.swallow->endLine)
                    *s.swallow->endLine += linesBefore;
            }
        }
        return settings;
    }

    const Segment &segmentAt(std::size_t at) const {
        for (const Segment &s : segments_)
            if (at < s.start + s.size)
                return s;
        return segments_.back();
    }

    // A folder's archives, the first the engine looks in first; each read once.
    struct Archive {
        std::string path;
        std::optional<ArchiveFile> file;
        ArchiveIndex index;
        bool noted = false;  // its damage named
    };
    std::vector<Archive> &archivesOf(const std::string &folder) {
        const auto known = archives_.find(folder);
        if (known != archives_.end())
            return known->second;
        std::vector<std::string> names = disk_.archives(folder);
        std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
            return archiveBefore(b, a);  // the last by name is looked in first
        });
        std::vector<Archive> found;
        for (const std::string &name : names) {
            Archive a{folder + name, {}, {}, false};
            std::string why;
            a.file = disk_.open(a.path, why);
            a.index = a.file ? readIndex(*a.file) : ArchiveIndex{{}, why};
            found.push_back(std::move(a));
        }
        return archives_.emplace(folder, std::move(found)).first->second;
    }

    // Where exec finds `name`: the file, its name there, and its text (or
    // why there is none). Notes what the archives decide on the way.
    struct Source {
        std::string path;
        std::string member;
        FileText text{{}, {}, true};  // no folder holds it, or there is none
        std::string shown;
    };
    // The file exec of `name` runs; `noteOrder` says where an archive's
    // comes before a loose one of its name.
    Source locate(const std::string &name, std::size_t at, bool noteOrder = true) {
        Source found;
        // The engine never takes these from an archive.
        const bool looseOnly =
            sameIgnoringCase(name, kStartFiles[1]) || sameIgnoringCase(name, kStartFiles[2]);
        for (const std::string &folder : folders_) {
            found.path = folder + name;
            found.shown = folders_.size() > 1 ? found.path : name;
            found.text = disk_.read(found.path);
            const bool loose = found.text.bytes || !found.text.missing;
            if (looseOnly) {
                if (loose)
                    return found;
                continue;
            }
            if (loose && order_ == FolderOrder::LooseFirst)
                return found;
            for (Archive &a : archivesOf(folder)) {
                if (a.index.error && !a.noted) {
                    a.noted = true;
                    notes_.push_back({at,
                                      zelvar::quoted(shownArchive(a.path)) + ": " + *a.index.error +
                                          "; reading goes on without it",
                                      Tree::Kind::Damaged});
                }
                const ArchiveEntry *entry = findEntry(a.index, name);
                if (entry == nullptr)
                    continue;
                const std::string shownHere = shownArchive(a.path) + ": " + entry->name;
                if (loose && noteOrder)
                    notes_.push_back({at,
                                      "exec " + name + " runs " + zelvar::quoted(shownHere) +
                                          ", not the loose " + zelvar::quoted(found.shown) +
                                          " beside it: " + orderSaid(),
                                      Tree::Kind::Archived});
                Source inside{a.path, entry->name, {}, shownHere};
                std::string bytes;
                std::string why;
                if (readEntry(*a.file, *entry, bytes, why))
                    inside.text.bytes = std::move(bytes);
                else
                    inside.text.error = why;
                return inside;
            }
            if (loose)
                return found;
        }
        return found;
    }
    std::string shownArchive(const std::string &path) const {
        return folders_.size() > 1 ? path : fileNameOf(path);
    }
    // Why a folder's archive came before its loose file.
    std::string orderSaid() const {
        return assumedOrder_ ? "a folder's archives come first in the game's own engines, whose "
                               "order is taken here (ioquake3 reads loose files first: the "
                               "servers file's engine says which runs the server)"
                             : "a folder's archives come first in the engine that runs it";
    }

    // Puts the file's text and a line end at `at`; false when reading stops.
    bool splice(const std::string &name, std::size_t at) {
        // The engine opens no name that climbs out of its folders.
        if (name.find("..") != std::string::npos || name.find("::") != std::string::npos) {
            notes_.push_back({at, "couldn't exec " + name, Tree::Kind::Missing});
            return true;
        }
        Source source = locate(name, at);
        const std::string &path = source.path;
        FileText &text = source.text;
        const std::vector<int> chain = segmentAt(at == 0 ? 0 : at - 1).chain;
        // No folder to look in: nothing was found, and nothing read can loop.
        int file = 0;
        while (std::size_t(file) < tree_.paths.size() &&
               (tree_.paths[std::size_t(file)] != path ||
                (std::size_t(file) < tree_.members.size() ? tree_.members[std::size_t(file)]
                                                          : std::string()) != source.member))
            ++file;
        const auto known = path.empty() ? tree_.paths.end() : tree_.paths.begin() + file;
        if (known != tree_.paths.end() &&
            std::find(chain.begin(), chain.end(), file) != chain.end()) {
            std::string loop;
            for (int f : chain)
                loop += zelvar::quoted(tree_.names.at(static_cast<std::size_t>(f))) + " \u2192 ";
            notes_.push_back(
                {at, "exec loop: " + loop + zelvar::quoted(name) + " again; reading stops there",
                 Tree::Kind::Stopped});
            buffer_.resize(at);
            return false;
        }
        if (!text.bytes) {
            const bool startFile =
                tree_.commandLine && segmentAt(at == 0 ? 0 : at - 1).file == *tree_.commandLine &&
                std::find(kStartFiles.begin(), kStartFiles.end(), name) != kStartFiles.end();
            if (text.missing) {
                if (!startFile)
                    notes_.push_back({at, "couldn't exec " + name, Tree::Kind::Missing});
            } else {
                notes_.push_back(
                    {at,
                     "exec " + name + ": " +
                         (source.member.empty() ? std::string()
                                                : zelvar::quoted(source.shown) + " is ") +
                         text.error + "; what the server sets there is unknown from here",
                     Tree::Kind::Unread});
            }
            return true;
        }
        cutAtNul(*text.bytes, source.shown, at);
        if (known == tree_.paths.end()) {
            tree_.paths.push_back(path);
            if (!source.member.empty()) {
                tree_.members.resize(tree_.paths.size());
                tree_.members.back() = source.member;
            }
            tree_.asked.resize(tree_.paths.size());
            tree_.asked.back() = name;
            // Along several folders, which one holds it is news: its path.
            tree_.names.push_back(source.shown);
            texts_.push_back(*text.bytes);
        }
        std::vector<int> inner = chain;
        inner.push_back(file);
        return insert(at, *text.bytes, {at, 0, file, 0, std::move(inner), {}, true},
                      "exec " + name);
    }

    // Puts NAME's value at `at`, as the assigns before it (`pass`, after
    // `assigns_`) left it; false when reading stops.
    bool spliceValue(const std::string &name, std::size_t at, const std::vector<Assign> &pass) {
        const Segment &from = segmentAt(at == 0 ? 0 : at - 1);
        if (std::any_of(from.vstrs.begin(), from.vstrs.end(),
                        [&](const std::string &v) { return sameIgnoringCase(v, name); })) {
            std::string loop;
            for (const std::string &v : from.vstrs)
                loop += "vstr " + v + " \u2192 ";
            notes_.push_back({at,
                              "vstr loop: " + loop + "vstr " + name +
                                  " again; the server would run it without end, and reading "
                                  "stops there",
                              Tree::Kind::Stopped});
            buffer_.resize(at);
            return false;
        }
        if (quickBefore_) {  // the commands before were read only where lines hold names
            const std::size_t from = from_;
            assigns_.clear();
            // Stage by stage, each read afresh as the console read it.
            for (std::size_t i = 0; i <= stageStarts_.size(); ++i) {
                from_ = i == 0 ? 0 : stageStarts_[i - 1];
                if (from_ >= from)
                    break;
                ConfigReader all(true);
                readOn(all);
                for (const Assign &a : shifted(all.assigns(), from))
                    if (i == stageStarts_.size() || a.at < stageStarts_[i])
                        assigns_.push_back(a);
            }
            from_ = from;
            quickBefore_ = false;
        }
        const Assign *value = nullptr;
        for (const std::vector<Assign> *list : {&std::as_const(assigns_), &pass})
            for (const Assign &a : *list)
                // A bare name sets only a variable that exists.
                if (a.at < at && sameIgnoringCase(a.name, name) && (!a.bare || value != nullptr))
                    value = &a;
        if (value == nullptr) {
            notes_.push_back({at,
                              "vstr " + name + ": " + name + " is not set here, so it runs nothing",
                              Tree::Kind::Unset});
            return true;
        }
        ran_.push_back(value->at);
        const Place place = placeOf(value->verbatim ? value->valueAt : value->at);
        std::vector<std::string> vstrs = from.vstrs;
        vstrs.push_back(name);
        return insert(at, value->value,
                      {at, 0, place.file, place.offset, from.chain, std::move(vstrs),
                       value->verbatim && place.verbatim},
                      "vstr " + name);
    }

    // Puts `text` and a line end at `at`, as `part` of the buffer; false
    // when there is more than is read on.
    bool insert(std::size_t at, const std::string &text, Segment part, const std::string &what) {
        if (buffer_.size() + text.size() + 1 > kLargestBuffer) {
            notes_.push_back({at, what + ": too much text to read on", Tree::Kind::Stopped});
            return false;
        }
        if (segments_.size() == 1 && firstFile_ == 0)  // the buffer is still the first file alone
            texts_.front() = buffer_;
        const std::size_t size = text.size() + 1;
        buffer_.insert(at, text + '\n');
        std::vector<Segment> parts;
        for (Segment &s : segments_) {
            if (s.start + s.size <= at) {
                parts.push_back(std::move(s));
            } else if (s.start >= at) {
                s.start += size;
                parts.push_back(std::move(s));
            } else {  // split where the text goes
                Segment after = s;
                s.size = at - s.start;
                after.start = at + size;
                if (after.verbatim)  // a joined value's text all stands for one place
                    after.offset += s.size;
                after.size -= s.size;
                parts.push_back(std::move(s));
                parts.push_back(std::move(after));
            }
        }
        part.size = size;
        parts.push_back(std::move(part));
        std::sort(parts.begin(), parts.end(),
                  [](const Segment &a, const Segment &b) { return a.start < b.start; });
        segments_ = std::move(parts);
        return true;
    }

    // The console reads a file as C text: nothing past a NUL byte.
    void cutAtNul(std::string &text, std::string_view name, std::size_t at) {
        const std::size_t nul = text.find('\0');
        if (nul == std::string::npos)
            return;
        const auto line = 1 + std::count(text.begin(), text.begin() + std::ptrdiff_t(nul), '\n');
        notes_.push_back({at,
                          zelvar::quoted(name) + " line " + std::to_string(line) +
                              ": a NUL byte; the server reads nothing after it in this file",
                          Tree::Kind::Cut});
        text.resize(nul);
    }

    // Where a place of the spliced text stands in its file: the file, the
    // offset there and its line.
    struct Place {
        int file;
        std::size_t offset;
        int line;
        bool verbatim;  // the file's own byte; else a vstr's value joined, at its setting
    };
    Place placeOf(std::size_t at) const {
        const Segment &s = segmentAt(at);
        // The first file alone is the buffer, until another is spliced in.
        const std::string &text = segments_.size() == 1 && firstFile_ == 0
                                      ? buffer_
                                      : texts_.at(static_cast<std::size_t>(s.file));
        const std::size_t offset =
            std::min(s.verbatim ? at - s.start + s.offset : s.offset, text.size());
        return {s.file, offset,
                1 + static_cast<int>(std::count(
                        text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n')),
                s.verbatim};
    }
    int lineOf(int bufferLine) const {
        std::size_t at = 0;
        for (int line = 1; line < bufferLine && at != std::string::npos; ++line)
            at = buffer_.find('\n', at) + 1;
        return placeOf(std::min(at, buffer_.size())).line;
    }

    void finish() {
        if (!done_) {  // stopped early: read what there is
            ConfigReader reader(mayRunVstr(std::string_view(buffer_).substr(from_)));
            std::vector<Setting> settings = readOn(reader);
            std::move(settings.begin(), settings.end(), std::back_inserter(before_));
            tree_.settings = std::move(before_);
            tree_.endsInComment = reader.endsInComment();
            keep(reader, std::string::npos);
        }
        if (tree_.as == ReadAs::Start)
            markStart();
        notLater();
        if (tree_.commandLine && std::none_of(segments_.begin(), segments_.end(),
                                              [](const Segment &s) { return s.file == 0; }))
            notes_.push_back({buffer_.size(),
                              std::string(kCommandLine) + " does not exec " +
                                  zelvar::quoted(tree_.names.front()) +
                                  ": the server does not run it when it starts",
                              Tree::Kind::NotRun});
        if (segments_.size() == 1 && firstFile_ == 0) {  // one file: places are the reader's own
            notesBefore();
            return;
        }
        for (Setting &s : tree_.settings) {
            const Place first = placeOf(s.at);
            const Place value = placeOf(s.valueAt);
            s.file = first.file;
            s.line = first.line;
            // A value in another file than its name, or in a value joined
            // from several words, cannot be edited there.
            s.valueAt =
                value.file == first.file && value.verbatim ? value.offset : std::string::npos;
            if (s.swallow) {
                s.swallow->line = lineOf(s.swallow->line);
                if (s.swallow->endLine)
                    s.swallow->endLine = lineOf(*s.swallow->endLine);
            }
        }
        notesBefore();
    }

    // Where a place of the buffer stands, as a message names it.
    std::string placeName(std::size_t at) const {
        const Place p = placeOf(at);
        if (tree_.commandLine && p.file == *tree_.commandLine)
            return std::string(kCommandLine);
        return zelvar::quoted(tree_.names.at(static_cast<std::size_t>(p.file))) + " line " +
               std::to_string(p.line);
    }

    // As the server starts: the game's variables exist from its first map
    // on; before it, only a "set" (or the command line's) has made one, and
    // a bare name of one that does not exist is dropped.
    void markStart() {
        Created exists = created_;
        bool dropped = false;
        for (Setting &s : tree_.settings) {
            bool &made = exists.at(indexOf(s.variable));
            if (!s.applied)
                continue;  // hidden from the server: it makes nothing
            if (s.bare && !made && (!firstMap_ || s.at < firstMap_->at)) {
                s.beforeMap = true;
                s.applied = false;
                dropped = true;
            } else if (s.hasValue) {
                made = true;
            }
        }
        if (firstMap_) {
            const std::vector<std::string> &vstrs = segmentAt(firstMap_->at).vstrs;
            notes_.push_back({firstMap_->at,
                              placeName(firstMap_->at) + ": " + firstMap_->command +
                                  (vstrs.empty() ? "" : ", run by vstr " + vstrs.back() + ",") +
                                  " loads the first map: the game's variables exist from here on",
                              Tree::Kind::FirstMap});
        } else if (dropped) {
            notes_.push_back({buffer_.size(),
                              "no map loads here: as the server starts, the game's variables do "
                              "not exist until its first map, so a bare name sets nothing",
                              Tree::Kind::NoMap});
        }
    }

    // Each value no vstr here runs that would set one of the variables:
    // what the rotation sets once it reaches it, never at start.
    void notLater() {
        for (const Assign &a : assigns_) {
            if (std::find(ran_.begin(), ran_.end(), a.at) != ran_.end())
                continue;
            ConfigReader reader;
            const std::vector<Setting> inside = reader.read(a.value, {}, false);
            std::string set;
            for (const Setting &s : inside)
                if (s.applied && s.hasValue)
                    (set += set.empty() ? "" : ", ") +=
                        std::string(s.variable.name) + ' ' + zelvar::quoted(s.value);
            if (set.empty())
                continue;
            notes_.push_back({a.at,
                              placeName(a.at) + ": " + set + " in " + a.name +
                                  " is set when the rotation reaches " + a.name + " (vstr " +
                                  a.name + "), not here",
                              Tree::Kind::Later});
        }
    }

    void notesBefore() {
        std::stable_sort(
            notes_.begin(), notes_.end(),
            [](const Tree::Note &a, const Tree::Note &b) { return a.before < b.before; });
        for (const Tree::Note &note : notes_) {
            const auto before = std::count_if(tree_.settings.begin(), tree_.settings.end(),
                                              [&](const Setting &s) { return s.at < note.before; });
            tree_.notes.push_back({static_cast<std::size_t>(before), note.text, note.kind});
        }
    }

    Tree &tree_;
    SearchPath folders_;
    const Disk &disk_;
    FolderOrder order_ = FolderOrder::ArchivesFirst;
    bool assumedOrder_ = true;
    std::map<std::string, std::vector<Archive>> archives_;
    std::string buffer_;
    std::vector<std::size_t> restarts_;     // where a file exec'd at the end of the buffer begins
    std::vector<std::size_t> stageStarts_;  // where a stage after the first begins
    std::size_t from_ = 0;                  // where reading goes on: all before is read
    std::vector<Setting> before_;           // the settings before `from_`, final
    bool done_ = false;
    std::vector<std::string> texts_;
    std::vector<Segment> segments_;
    std::vector<Tree::Note> notes_;  // `before`: a place in the buffer, until finish
    int firstFile_ = 0;
    Created created_{};
    struct FirstMap {
        std::size_t at;
        std::string command;
    };
    std::optional<FirstMap> firstMap_;  // read as the server starts, where its game begins
    std::vector<Assign> assigns_;       // before `from_`, or all once read
    std::vector<std::size_t> ran_;      // the assigns (their places) whose values a vstr ran
    bool quickBefore_ = false;          // some of assigns_ read where lines hold names only
};

}  // namespace

Status weightOf(Tree::Kind kind) {
    switch (kind) {
    case Tree::Kind::Missing:
    case Tree::Kind::FirstMap:
    case Tree::Kind::NoMap:
    case Tree::Kind::Unset:
    case Tree::Kind::Later:
    case Tree::Kind::Archived:
        return Clean;
    case Tree::Kind::Cut:
    case Tree::Kind::Stopped:
    case Tree::Kind::NotRun:
    case Tree::Kind::Dropped:
    case Tree::Kind::Shadowed:
    case Tree::Kind::Damaged:
        return Problem;
    case Tree::Kind::Unread:
        break;
    }
    return Failed;
}

FileText fileFromDisk(const std::string &path) {
    FileText text;
    std::string bytes;
    if (const std::optional<std::string> why = readWhole(path, bytes, true)) {
        std::error_code error;
        text.error = *why;
        text.missing =
            std::filesystem::status(path, error).type() == std::filesystem::file_type::not_found;
    } else {
        text.bytes = std::move(bytes);
    }
    return text;
}

std::optional<FolderOrder> engineOrder(std::string_view name) {
    for (const EngineName &e : kEngines)
        if (e.name == name)
            return e.order;
    return std::nullopt;
}

std::string engineNames() {
    std::string names;
    for (const EngineName &e : kEngines)
        (names += names.empty() ? "\"" : " or \"").append(e.name) += '"';
    return names;
}

std::string readingName(ReadAs as, bool fromCommandLine) {
    return as == ReadAs::Running ? "as on the running server (exec over the remote console)"
           : fromCommandLine     ? "as the server starts from its command line"
                                 : "as the server starts (before its first map)";
}

std::string joinedCommandLine(const std::vector<std::string> &words) {
    std::string line;
    for (const std::string &w : words)
        line += (w.find(' ') == std::string::npos ? w : '"' + w + '"') + ' ';
    return line;
}

StartText commandLineText(std::string_view commandLine) {
    StartText start;
    for (const std::string_view file : kStartFiles)
        start.stages.push_back("exec " + std::string(file) + '\n');
    std::string sets;
    // The console lines: split at each '+' outside quotes, and at line ends.
    std::vector<std::string_view> lines;
    bool quoted = false;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= commandLine.size(); ++i) {
        if (i < commandLine.size() && commandLine[i] == '"')
            quoted = !quoted;
        if (i == commandLine.size() || (commandLine[i] == '+' && !quoted) ||
            isLineEnd(commandLine[i])) {
            lines.push_back(commandLine.substr(from, i - from));
            from = i + 1;
        }
    }
    std::string others;
    std::vector<std::string_view> words;
    for (const std::string_view line : lines) {
        if (line.empty())
            continue;
        if (!sameIgnoringCase(line.substr(0, 4), "set ")) {
            (others += line) += '\n';
            continue;
        }
        words.clear();
        splitWords(line, words);
        if (words.empty() || words[0] != "set") {
            start.dropped.emplace_back(line.substr(0, line.find_last_not_of(' ') + 1));
            continue;
        }
        if (words.size() < 2)
            continue;
        // The engine gives the words after the name, one blank between; a
        // name alone is set empty.
        std::string value;
        for (std::size_t i = 2; i < words.size(); ++i)
            (value += i > 2 ? " " : "") += words[i];
        start.created.emplace_back(words[1]);
        if (sameIgnoringCase(words[1], "fs_dirbeforepak"))
            start.dirBeforePak = std::atoi(value.c_str()) != 0;
        sets += "set " + std::string(words[1]) + " \"" + value + "\"\n";
    }
    // The "+set"s are applied as they stand, never read as console text:
    // the quoted lines made of them hold nothing that could run on.
    start.stages.push_back(sets + others);
    return start;
}

std::string ignoredAtStart(const Setting &s) {
    // The value as read: a comment run on may have put a password in it.
    return withoutSecrets(
        "the server ignores this line when it starts: before its first map the game has not "
        "made " +
        std::string(s.variable.name) + ", and a bare name sets only a variable that exists; " +
        "seta " + std::string(s.variable.name) + ' ' + zelvar::quoted(s.value) +
        " makes it, and it keeps the value");
}

Tree readTree(const std::string &path, const SearchPath &search, const Disk &disk,
              const Startup &startup) {
    Tree tree;
    tree.as = startup.as;
    tree.paths.push_back(path);
    tree.names.push_back(path);
    tree.asked.push_back(fileNameOf(path));
    FileText first = disk.read(path);
    if (!first.bytes) {
        tree.error = first.error;
        return tree;
    }
    const SearchPath folders = search.empty() ? SearchPath{folderOf(path)} : search;
    if (!startup.commandLine) {
        Splicer splicer(tree, folders, disk, startup.order);
        splicer.cutFirst(*first.bytes);
        splicer.shadowed(path);
        splicer.run({std::move(*first.bytes)});
        return tree;
    }
    // The engine's start, from its command line: the configuration runs
    // where the line execs it, found along the search path as any file.
    const StartText start = commandLineText(*startup.commandLine);
    tree.commandLine = 1;
    tree.paths.emplace_back();
    tree.names.emplace_back(kCommandLine);
    Created created{};
    for (const std::string &name : start.created)
        if (const std::optional<Variable> v = findVariable(name))
            created.at(indexOf(*v)) = true;
    std::optional<FolderOrder> order = startup.order;
    if (start.dirBeforePak && order != FolderOrder::LooseFirst)
        order = FolderOrder::LooseFirst;  // the game's engines, told to
    Splicer splicer(tree, folders, disk, order, 1, created);
    splicer.cutFirst(*first.bytes);
    splicer.know(0, std::move(*first.bytes));
    for (const std::string &word : start.dropped)
        splicer.note("+" + word + " on " + std::string(kCommandLine) +
                         ": the engine takes only \"+set\" in lower case, and drops this",
                     Tree::Kind::Dropped);
    splicer.run(start.stages);
    return tree;
}

Tree readTextTree(std::string_view name, std::string_view text, const SearchPath &search,
                  const Startup &startup) {
    Tree tree;
    tree.as = startup.as;
    tree.paths.emplace_back();
    tree.names.emplace_back(name);
    if (const std::optional<std::string> why = refusedText(name, {}, 1, text.size())) {
        tree.error = *why;  // too large
        return tree;
    }
    const Disk disk;
    Splicer splicer(tree, search, disk, startup.order);
    std::string first;
    first.reserve(text.size() + 1);  // the read adds a line end
    first = text;
    splicer.cutFirst(first);
    splicer.run({std::move(first)});
    return tree;
}

}  // namespace zelvar

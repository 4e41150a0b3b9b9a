#include "tree.h"

#include "textfile.h"

#include <algorithm>
#include <filesystem>

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
};

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
    Splicer(Tree &tree, SearchPath folders, const ReadFileText &read)
        : tree_(tree), folders_(std::move(folders)), read_(read) {
        for (std::string &folder : folders_)
            if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
                folder += '/';
    }

    // The buffer is read from `from_` on, and read again from there after
    // each splice; where a command starts afresh at the exec'd text, what
    // came before is final and reading goes on from there, so that the text
    // is read about once however many files it execs.
    void run(std::string first) {
        texts_.emplace_back();  // the first file's text, kept once another is spliced in
        segments_.push_back({0, first.size(), 0, 0, {0}});
        buffer_ = std::move(first);
        std::optional<std::size_t> handled;
        for (int n = 0;; ++n) {
            ConfigReader reader;
            std::vector<Setting> settings = readOn(reader);
            const auto &execs = reader.execs();
            const auto exec = std::find_if(execs.begin(), execs.end(), [&](const auto &e) {
                return !handled || e.at + from_ > *handled;
            });
            if (exec == execs.end()) {  // the text read is the whole: no need to read it again
                if (before_.empty())
                    before_ = std::move(settings);
                else
                    std::move(settings.begin(), settings.end(), std::back_inserter(before_));
                tree_.settings = std::move(before_);
                tree_.endsInComment = reader.endsInComment();
                done_ = true;
                break;
            }
            const Exec found{exec->name, exec->at + from_, exec->fresh};
            // A command that ran to the end of what the console held leaves
            // the exec'd text to start a command of its own.
            if (found.at > buffer_.size())
                restarts_.push_back(buffer_.size());
            const std::size_t at = std::min(found.at, buffer_.size());
            handled = at;
            if (found.fresh && at < buffer_.size()) {
                for (Setting &s : settings)
                    if (s.at < at)
                        before_.push_back(std::move(s));
                from_ = at;
            }
            if (n == kMostExecs) {
                notes_.push_back({at,
                                  "exec " + completed(found.name) + ": more than " +
                                      std::to_string(kMostExecs) + " execs; reading stops here",
                                  Tree::Kind::Stopped});
                buffer_.resize(at);
                break;
            }
            if (!splice(completed(found.name), at))
                break;
        }
        finish();
    }

    // The first file's text, before run: read up to a NUL, as the console reads it.
    void cutFirst(std::string &text) { cutAtNul(text, tree_.names.front(), 0); }

private:
    using Exec = ConfigReader::Exec;

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

    // Puts the file's text and a line end at `at`; false when reading stops.
    bool splice(const std::string &name, std::size_t at) {
        // The engine opens no name that climbs out of its folders.
        if (name.find("..") != std::string::npos || name.find("::") != std::string::npos) {
            notes_.push_back({at, "couldn't exec " + name, Tree::Kind::Missing});
            return true;
        }
        std::string path;
        FileText text{{}, {}, true};  // no folder holds it, or there is none
        for (const std::string &folder : folders_) {
            path = folder + name;
            text = read_(path);
            if (text.bytes || !text.missing)
                break;
        }
        const std::vector<int> chain = segmentAt(at == 0 ? 0 : at - 1).chain;
        // No folder to look in: nothing was found, and nothing read can loop.
        const auto known = path.empty() ? tree_.paths.end()
                                        : std::find(tree_.paths.begin(), tree_.paths.end(), path);
        const int file = static_cast<int>(known - tree_.paths.begin());
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
            if (text.missing)
                notes_.push_back({at, "couldn't exec " + name, Tree::Kind::Missing});
            else
                notes_.push_back({at,
                                  "exec " + name + ": " + text.error +
                                      "; what the server sets there is unknown from here",
                                  Tree::Kind::Unread});
            return true;
        }
        cutAtNul(*text.bytes, name, at);
        if (buffer_.size() + text.bytes->size() + 1 > kLargestBuffer) {
            notes_.push_back(
                {at, "exec " + name + ": too much text to read on", Tree::Kind::Stopped});
            return false;
        }
        if (known == tree_.paths.end()) {
            tree_.paths.push_back(path);
            // Along several folders, which one holds it is news: its path.
            tree_.names.push_back(folders_.size() > 1 ? path : name);
            texts_.push_back(*text.bytes);
        }
        if (segments_.size() == 1)  // the buffer is still the first file alone
            texts_.front() = buffer_;
        const std::size_t size = text.bytes->size() + 1;
        buffer_.insert(at, *text.bytes + '\n');
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
                after.offset += s.size;
                after.size -= s.size;
                parts.push_back(std::move(s));
                parts.push_back(std::move(after));
            }
        }
        std::vector<int> inner = chain;
        inner.push_back(file);
        parts.push_back({at, size, file, 0, std::move(inner)});
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
    };
    Place placeOf(std::size_t at) const {
        const Segment &s = segmentAt(at);
        const std::string &text = texts_.at(static_cast<std::size_t>(s.file));
        const std::size_t offset = std::min(at - s.start + s.offset, text.size());
        return {s.file, offset,
                1 + static_cast<int>(std::count(
                        text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'))};
    }
    int lineOf(int bufferLine) const {
        std::size_t at = 0;
        for (int line = 1; line < bufferLine && at != std::string::npos; ++line)
            at = buffer_.find('\n', at) + 1;
        return placeOf(std::min(at, buffer_.size())).line;
    }

    void finish() {
        if (!done_) {  // stopped early: read what there is
            ConfigReader reader;
            std::vector<Setting> settings = readOn(reader);
            std::move(settings.begin(), settings.end(), std::back_inserter(before_));
            tree_.settings = std::move(before_);
            tree_.endsInComment = reader.endsInComment();
        }
        if (segments_.size() == 1) {  // one file: places and lines are the reader's own
            notesBefore();
            return;
        }
        for (Setting &s : tree_.settings) {
            const Place first = placeOf(s.at);
            const Place value = placeOf(s.valueAt);
            s.file = first.file;
            s.line = first.line;
            // A value in another file than its name cannot be edited there.
            s.valueAt = value.file == first.file ? value.offset : std::string::npos;
            if (s.swallow) {
                s.swallow->line = lineOf(s.swallow->line);
                if (s.swallow->endLine)
                    s.swallow->endLine = lineOf(*s.swallow->endLine);
            }
        }
        notesBefore();
    }

    void notesBefore() {
        for (const Tree::Note &note : notes_) {
            const auto before = std::count_if(tree_.settings.begin(), tree_.settings.end(),
                                              [&](const Setting &s) { return s.at < note.before; });
            tree_.notes.push_back({static_cast<std::size_t>(before), note.text, note.kind});
        }
    }

    Tree &tree_;
    SearchPath folders_;
    const ReadFileText &read_;
    std::string buffer_;
    std::vector<std::size_t> restarts_;  // where a file exec'd at the end of the buffer begins
    std::size_t from_ = 0;               // where reading goes on: all before is read
    std::vector<Setting> before_;        // the settings before `from_`, final
    bool done_ = false;
    std::vector<std::string> texts_;
    std::vector<Segment> segments_;
    std::vector<Tree::Note> notes_;  // `before`: a place in the buffer, until finish
};

}  // namespace

Status weightOf(Tree::Kind kind) {
    switch (kind) {
    case Tree::Kind::Missing:
        return Clean;
    case Tree::Kind::Cut:
    case Tree::Kind::Stopped:
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

Tree readTree(const std::string &path, const SearchPath &search, const ReadFileText &read) {
    Tree tree;
    tree.paths.push_back(path);
    tree.names.push_back(path);
    FileText first = read(path);
    if (!first.bytes) {
        tree.error = first.error;
        return tree;
    }
    Splicer splicer(tree, search.empty() ? SearchPath{folderOf(path)} : search, read);
    splicer.cutFirst(*first.bytes);
    splicer.run(std::move(*first.bytes));
    return tree;
}

Tree readTextTree(std::string_view name, std::string_view text, const SearchPath &search) {
    Tree tree;
    tree.paths.emplace_back();
    tree.names.emplace_back(name);
    if (const std::optional<std::string> why = refusedText(name, {}, 1, text.size())) {
        tree.error = *why;  // too large
        return tree;
    }
    const ReadFileText read = fileFromDisk;
    Splicer splicer(tree, search, read);
    std::string first;
    first.reserve(text.size() + 1);  // the read adds a line end
    first = text;
    splicer.cutFirst(first);
    splicer.run(std::move(first));
    return tree;
}

}  // namespace zelvar

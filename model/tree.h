// A configuration with the files it execs, read as the server runs them.
//
// The console keeps one buffer of text: "exec NAME" reads NAME from the
// game's folder (".cfg" added when NAME has no extension) and puts its text,
// and a line end, right after the exec command, where it is read as any
// other text: a comment left open in it reads on into the text after it. So
// the files are spliced together as the console splices them, exec by exec
// in the order they run, and the reader (config.h) reads the whole; each
// setting found is then told by its file and line there. The console reads
// a file as C text: a NUL byte ends it. A file the folder does not hold is
// named as the server names it ("couldn't exec NAME") and reading goes on; a
// file that is there but cannot be read from here (permission, a folder, an
// I/O error) is named with the system's reason, since the server's own user
// may read it: what the server ends with is then unknown. A file that execs
// itself, through others or not, is named with the files between, and
// reading stops there: the server would run it until its buffer overflows.
//
// "vstr NAME" splices NAME's value the same way, as the value stands there
// (map rotations: `set d1 "map mp/ffa1; set nextmap vstr d2"`, `vstr d1`);
// a setting in such a value that nothing here runs is named with the vstr
// that would. Read as the server starts, the game's variables do not exist
// before its first map: a bare "NAME VALUE" there sets nothing, and only a
// "set" (any of its four forms) makes the variable. With the server's
// command line, the engine's start is read whole: its start-up files, the
// "+set"s, then the line's other commands in order (commandLine() below).
#pragma once

#include "archive.h"
#include "config.h"
#include "status.h"

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

// The bytes of a file, or why it cannot be read; files read from elsewhere
// than the disk (an edit being checked) stand in through this.
struct FileText {
    std::optional<std::string> bytes;
    std::string error;
    bool missing = false;  // not there at all, rather than there but unread
};
using ReadFileText = std::function<FileText(const std::string &path)>;
FileText fileFromDisk(const std::string &path);

// What reading a tree asks of the disk: loose files, and each folder's
// archives; a test, or an edit being checked, stands in for any of them.
struct Disk {
    ReadFileText read = fileFromDisk;
    std::function<std::vector<std::string>(const std::string &folder)> archives = archivesOnDisk;
    std::function<std::optional<ArchiveFile>(const std::string &path, std::string &why)> open =
        archiveFromDisk;
};

// How the server comes to run a configuration: each reading is named.
enum class ReadAs {
    Start,    // as the server starts: from its command line, before any map
    Running,  // exec'd on the running server (the remote console): every variable exists
};
// What a message says of a reading: "as the server starts (...)".
std::string readingName(ReadAs as, bool fromCommandLine = false);

// Where, in each folder of the search path, the engine looks first.
enum class FolderOrder {
    ArchivesFirst,  // the game's own engines (the 2003 server, today's open engine)
    LooseFirst,     // ioquake3 since 2011; the game's engines with fs_dirbeforepak 1
};
// What the servers file and --engine call each engine, and its order.
struct EngineName {
    std::string_view name;
    FolderOrder order;
};
inline constexpr std::array<EngineName, 2> kEngines{
    {{"game", FolderOrder::ArchivesFirst}, {"ioquake3", FolderOrder::LooseFirst}}};
std::optional<FolderOrder> engineOrder(std::string_view name);
// What a refusal of another name offers: "\"game\" or \"ioquake3\"".
std::string engineNames();

struct Startup {
    ReadAs as = ReadAs::Start;
    // The server's command line, as the engine joins its words; with one,
    // the configuration is run only where it execs it.
    std::optional<std::string> commandLine;
    // None: the game's own engines' order is taken, and said where it decides.
    std::optional<FolderOrder> order;
};

// The command line's words joined as the engine joins them: a word with a
// blank in it quoted, one blank after each.
std::string joinedCommandLine(const std::vector<std::string> &words);
// The console texts the engine runs from its command line, as it starts:
// default.cfg, the saved variables and autoexec.cfg, then each "+set" (the
// engine applies those before the files as well, and they create their
// variables there), then the line's other commands in order. Each stage is
// run to its end before the next is given to the console, so that a
// comment left open in one reads nothing of the next. The line splits at
// each '+' outside quotes and at each line end. A "+set" spelt in another
// case is dropped by the engine: `dropped` gets each.
struct StartText {
    std::vector<std::string> stages;   // each ends with a line end
    std::vector<std::string> created;  // the names the "+set"s make before any file
    std::vector<std::string> dropped;
    bool dirBeforePak = false;  // "+set fs_dirbeforepak" to a number not 0
};
StartText commandLineText(std::string_view commandLine);
// What a message calls the command line, as if it were a file.
inline constexpr std::string_view kCommandLine = "the command line";

struct Tree {
    std::vector<std::string> paths;  // each file read, the first the one asked for
    // Of each file read from an archive (whose path is in `paths`), its name
    // there; a loose file has none, and may stand past the end.
    std::vector<std::string> members;
    // Of each file exec'd, the name exec looked it up by ("zv.cfg"); the
    // first file has its own name; may stand past the end where none was.
    std::vector<std::string> asked;
    // As a message names each: the first by its path, the others as exec'd,
    // or by their paths where several folders are searched.
    std::vector<std::string> names;
    std::vector<Setting> settings;  // as the server applies them; `file` says whose
    // What went otherwise than reading a file whole, each before the
    // setting of that index.
    enum class Kind {
        Missing,   // "couldn't exec NAME": the server goes on without it
        Cut,       // a NUL byte, past which the server reads nothing of that file
        Stopped,   // a loop, or more than is read on: what follows is not known
        Unread,    // there, but not readable from here: what it sets is unknown
        FirstMap,  // where the game's first map loads, read as the server starts
        NoMap,     // read as the server starts, no map loads: bare names set nothing
        Unset,     // "vstr NAME" of a variable not set here: it runs nothing
        Later,     // settings in a value only a vstr not run here would run
        NotRun,    // the command line never execs the configuration
        Dropped,   // a command-line word the engine drops
        Archived,  // a file found in an archive before a loose one of its name
        Shadowed,  // the configuration: exec of its name runs another file
        Damaged,   // an archive the engine cannot open either
    };
    struct Note {
        std::size_t before = 0;
        std::string text;
        Kind kind = Kind::Missing;
    };
    std::vector<Note> notes;
    bool endsInComment = false;
    std::optional<std::string> error;  // the first file could not be read
    ReadAs as = ReadAs::Start;
    std::optional<int> commandLine;  // the command line's index among the files, if read

    bool archived(int file) const {
        return std::size_t(file) < members.size() && !members[std::size_t(file)].empty();
    }
    // A file the server would read could not be read here.
    const Note *unread() const {
        const auto n = std::find_if(notes.begin(), notes.end(),
                                    [](const Note &note) { return note.kind == Kind::Unread; });
        return n == notes.end() ? nullptr : &*n;
    }
};
// How a note weighs: a missing file is the server's own way, one cut or
// stopped is a problem, one unread a failure.
Status weightOf(Tree::Kind kind);

// The folder a path names its file in, with its separator; "" for none.
std::string folderOf(const std::string &path);
// The file's own name, without its folder: what a title shows.
std::string fileNameOf(const std::string &path);

// Where exec finds its files: the game's folders in the order the engine
// looks, the first that holds the file winning (today's engines: the home
// folder's before the installation's, the mod's before the base game's).
// In each folder its .pk3 archives count too, the last by name first, and
// before or after its loose files as the engine orders them; autoexec.cfg
// and the saved variables are never taken from an archive. A file there
// that cannot be read stops the search as the engine's user may well read
// it; a folder that does not exist holds nothing.
using SearchPath = std::vector<std::string>;

// With an empty `search`, exec finds its files in the first file's folder.
Tree readTree(const std::string &path, const SearchPath &search = {}, const Disk &disk = {},
              const Startup &startup = {});
// A text with no file of its own (standard input, the clipboard), its execs
// found along `search`, or nowhere when it is empty.
Tree readTextTree(std::string_view name, std::string_view text, const SearchPath &search,
                  const Startup &startup = {});

// Why the server drops a bare setting read as it starts, and what works instead.
std::string ignoredAtStart(const Setting &setting);

}  // namespace zelvar

// What every command shares: how it says it cannot run, names a variable and
// reads the values asked of it.
#include "cli.h"

#include "report.h"

#include <sstream>

namespace zelvar::bits {

Status usage(std::ostream &err, std::string_view why) {
    err << "zelvar-bits: " << why << "\nTry 'zelvar-bits --help'.\n";
    return Failed;
}

std::optional<Variable> variableOrSay(std::string_view name, std::ostream &err) {
    const std::optional<Variable> v = findVariable(name);
    if (!v) {
        Text text;
        text << "zelvar-bits: unknown variable ";
        appendQuoted(text.s, name);
        joined(text << "; the calculator's variables are: ", variableNames(),
               [](std::string_view n) { return n; });
        err << text.s << '\n';
    }
    return v;
}

std::optional<Status> changesAsked(Args args, std::string_view done, const Options &options,
                                   Streams io, Result &result) {
    std::ostringstream said;
    const std::optional<Status> ended =
        eachLine(args, said, [&](const Variable &v, auto, auto value) {
            if (const std::optional<std::string> why = refusedValue(v, value)) {
                said << "zelvar-bits: " << *why << "; nothing is " << done << '\n';
                return std::optional<Status>(Problem);
            }
            result.planned.push_back({v, std::string(value)});
            return std::optional<Status>();
        });
    if (!ended)
        return std::nullopt;
    io.err << said.str();
    if (options.json) {  // a script reads why from the document, as for any other end
        std::string why = said.str();
        why = why.substr(0, why.find('\n'));
        if (why.starts_with("zelvar-bits: "))
            why.erase(0, std::string_view("zelvar-bits: ").size());
        result.planned.clear();
        result.fail(std::move(why), *ended);
        render(result, true, io.out, io.err);
    }
    return ended;
}

}  // namespace zelvar::bits

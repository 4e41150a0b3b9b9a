// What every command shares: how it says it cannot run, names a variable and
// reads the values asked of it.
#include "cli.h"

#include "report.h"

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

std::optional<Status> changesAsked(Args args, std::string_view done, std::ostream &err,
                                   std::vector<Change> &changes) {
    return eachLine(args, err, [&](const Variable &v, auto, auto value) {
        if (const std::optional<std::string> why = refusedValue(v, value)) {
            err << "zelvar-bits: " << *why << "; nothing is " << done << '\n';
            return std::optional<Status>(Problem);
        }
        changes.push_back({v, std::string(value)});
        return std::optional<Status>();
    });
}

}  // namespace zelvar::bits

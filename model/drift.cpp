#include "drift.h"

#include "decode.h"
#include "rcon.h"

#include <array>

namespace zelvar {

namespace {

Verdict verdictOf(const std::optional<Setting> &file, const std::optional<rcon::Held> &live) {
    if (!file)
        return Verdict::ServerOnly;
    if (!live)
        return Verdict::ConfigurationOnly;
    // A value latched for the next map is what the server will run then.
    const bool same = rcon::sameNumber(file->value, live->value) &&
                      (!live->latched || rcon::sameNumber(*live->latched, file->value));
    return same ? Verdict::InStep : Verdict::Differs;
}

}  // namespace

Drift compare(const Tree &configuration, const Live &live) {
    Drift drift;
    for (const Tree::Note &note : configuration.notes)
        if (note.kind == Tree::Kind::Missing)
            drift.missing.push_back(note.text);
    // What a file that cannot be read sets is unknown: no verdict can stand.
    const Tree::Note *unread = configuration.unread();
    const auto last = takingEffect(configuration.settings);
    for (const Variable &v : variables()) {
        VariableDrift d{v, Verdict::CannotTell, std::nullopt, {}, live.at(indexOf(v)), {}};
        if (const std::optional<std::size_t> i = last.at(indexOf(v))) {
            d.configured = configuration.settings[*i];
            d.file = configuration.names.at(static_cast<std::size_t>(d.configured->file));
        }
        if (unread != nullptr)
            d.why = unread->text;
        else if (!d.configured && !d.live)
            continue;
        else
            d.verdict = verdictOf(d.configured, d.live);
        drift.variables.push_back(std::move(d));
    }
    return drift;
}

Status Drift::status() const {
    Status status = missing.empty() ? Clean : Problem;
    for (const VariableDrift &d : variables)
        status = worst(status, d.verdict == Verdict::InStep       ? Clean
                               : d.verdict == Verdict::CannotTell ? Failed
                                                                  : Problem);
    return status;
}

std::string_view verdictName(Verdict verdict) {
    // In Verdict's order.
    constexpr std::array<std::string_view, 5> kNames{
        "in step", "differs", "only in the configuration", "only on the server", "cannot tell"};
    return kNames.at(static_cast<std::size_t>(verdict));
}

std::string describe(const VariableDrift &d) {
    std::string out(verdictName(d.verdict));
    const std::string where =
        d.configured ? quoted(d.file) + " line " + std::to_string(d.configured->line) : "";
    switch (d.verdict) {
    case Verdict::InStep:
        return out + " (" + quoted(d.live->value) + ")";
    case Verdict::Differs:
        return out + ": the configuration " + quoted(d.configured->value) + " (" + where +
               "), the server " + quoted(d.live->value) +
               (d.live->latched ? ", at the next map " + quoted(*d.live->latched) : "");
    case Verdict::ConfigurationOnly:
        return out + " (" + quoted(d.configured->value) + ", " + where +
               "): the server has no such variable";
    case Verdict::ServerOnly:
        return out + " (" + quoted(d.live->value) + "): the configuration does not set it";
    case Verdict::CannotTell:
        break;
    }
    return out + ": " + d.why;
}

}  // namespace zelvar

// The seven running totals and the operations that keep them. The totals are
// the model's only state: check-box states, value texts and the selected rank
// are asked of a Source each time, and every operation ends by handing the
// group's line to a Sink.
#pragma once

#include "catalogue.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zelvar {

// Start-up sets the admin total to match its all-checked defaults.
inline constexpr std::int32_t kAdminTotalAtStart = 536870910;
static_assert(kAdminTotalAtStart == settingGroup(Group::Admin).sumOfValues);

// What the window's controls answer.
class Source {
public:
    virtual bool checked(Group group, int index) const = 0;
    // A box's value text, its tag, and the highest index of a group's array:
    // as the table every front-end builds its boxes from gives them, unless
    // a front-end's controls say otherwise.
    virtual std::string_view valueText(Group group, int index) const;
    virtual int upperBound(Group group) const;
    virtual bool rankSelected(Rank rank) const = 0;

protected:
    ~Source() = default;
};

// Where the line goes: the output text box.
class Sink {
public:
    virtual void writeLine(std::string_view line) = 0;

protected:
    ~Sink() = default;
};

// An unrecoverable run-time error, numbered and worded as the language runtime
// reports it, so the window can end the program with the standard report.
class RuntimeError : public std::runtime_error {
public:
    // Internal: anything else that escapes a procedure, memory running out.
    enum Number : int { Overflow = 6, TypeMismatch = 13, Internal = 51 };
    explicit RuntimeError(Number number);
    Number number() const { return number_; }
    // The whole report, as the runtime words it: "Run-time error '6':\n\nOverflow".
    std::string report() const;

private:
    Number number_;
};

// A group's line: its variable text, which ends in one blank, and the total in
// plain ASCII digits, a leading minus when negative: no locale, no separators,
// nothing a configuration file would choke on.
std::string renderLine(std::string_view variable, std::int32_t total);

class Totals {
public:
    Totals(const Source &source, Sink &sink) : source_(source), sink_(sink) {}

    void toggle(Group group, int index);
    void recount(Group group);
    void selectRank(Rank rank);
    std::string adminLine() const;

    std::int32_t total(Group group) const;
    void setAdminTotal(std::int32_t value) { lngAdmin = value; }

private:
    double valueOf(Group group, int index) const;
    void store(Group group, double value);
    std::string rankLine(Rank rank) const;
    std::string line(Group group) const;

    const Source &source_;
    Sink &sink_;

    std::int32_t lngForce = 0;
    std::int32_t lngAdmin = 0;
    std::int32_t lngWeapon = 0;
    std::int16_t intPoll = 0;
    std::int16_t intLock = 0;
    std::int32_t lngEmote = 0;
    std::int32_t lngSay = 0;
};

}  // namespace zelvar

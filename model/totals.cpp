#include "totals.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace zelvar {

std::string_view Source::valueText(Group group, int index) const {
    return settingGroup(group).options[static_cast<std::size_t>(index)].valueText;
}

int Source::upperBound(Group group) const {
    return static_cast<int>(settingGroup(group).options.size()) - 1;
}

namespace {

const char *message(RuntimeError::Number number) {
    switch (number) {
    case RuntimeError::Overflow:
        return "Overflow";
    case RuntimeError::Internal:
        return "Internal error";
    case RuntimeError::TypeMismatch:
        break;
    }
    return "Type mismatch";
}

// Decimal text to a double, as from_chars reads it. Emscripten's C++
// library has no from_chars for doubles; its C library knows only the "C"
// locale, so strtod reads the same there, once hexadecimal is kept out.
std::from_chars_result decimal(const char *first, const char *last, double &value) {
#ifdef __EMSCRIPTEN__
    if (std::find_if(first, last, [](char c) { return c == 'x' || c == 'X'; }) != last)
        return {first, std::errc::invalid_argument};
    const std::string text(first, last);
    char *end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    const auto read = end - text.c_str();
    return {first + read, errno == ERANGE ? std::errc::result_out_of_range
                          : read == 0     ? std::errc::invalid_argument
                                          : std::errc()};
#else
    return std::from_chars(first, last, value);
#endif
}

// Value text to double the way the runtime reads a number from text: blanks
// around it are ignored, anything else that is not a decimal number is a type
// mismatch, and a number beyond double's range is an overflow.
double toDouble(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    if (first == std::string_view::npos)
        throw RuntimeError(RuntimeError::TypeMismatch);
    text = text.substr(first, last - first + 1);
    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars would also take "inf" and "nan", which are no numbers here.
    if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '.'))
        throw RuntimeError(RuntimeError::TypeMismatch);
    double value = 0;
    const auto [end, error] = decimal(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        throw RuntimeError(RuntimeError::Overflow);
    if (error != std::errc() || end != text.data() + text.size())
        throw RuntimeError(RuntimeError::TypeMismatch);
    return negative ? -value : value;
}

// Round to nearest, ties to even, into the total's type; out of range is an overflow.
template <class Int> Int toInteger(double value) {
    // An infinite or undefined result of the arithmetic is the runtime's
    // floating-point error, which it reports as an overflow.
    if (!std::isfinite(value))
        throw RuntimeError(RuntimeError::Overflow);
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max())
        throw RuntimeError(RuntimeError::Overflow);
    return static_cast<Int>(rounded);
}

template <class Int> void assign(Int &total, double value) { total = toInteger<Int>(value); }

}  // namespace

RuntimeError::RuntimeError(Number number) : std::runtime_error(message(number)), number_(number) {}

std::string RuntimeError::report() const {
    return "Run-time error '" + std::to_string(number_) + "':\n\n" + what();
}

std::string renderLine(std::string_view variable, std::int32_t total) {
    std::array<char, 12> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), total).ptr;
    std::string text(variable);
    text.append(digits.data(), end);
    return text;
}

std::int32_t Totals::total(Group group) const {
    switch (group) {
    case Group::Weapon:
        return lngWeapon;
    case Group::Force:
        return lngForce;
    case Group::Admin:
        return lngAdmin;
    case Group::Poll:
        return intPoll;
    case Group::Lock:
        return intLock;
    case Group::Emote:
        return lngEmote;
    case Group::Say:
        break;
    }
    return lngSay;
}

void Totals::store(Group group, double value) {
    switch (group) {
    case Group::Weapon:
        return assign(lngWeapon, value);
    case Group::Force:
        return assign(lngForce, value);
    case Group::Admin:
        return assign(lngAdmin, value);
    case Group::Poll:
        return assign(intPoll, value);
    case Group::Lock:
        return assign(intLock, value);
    case Group::Emote:
        return assign(lngEmote, value);
    case Group::Say:
        break;
    }
    assign(lngSay, value);
}

double Totals::valueOf(Group group, int index) const {
    return toDouble(source_.valueText(group, index));
}

void Totals::toggle(Group group, int index) {
    const bool counted =
        source_.checked(group, index) == (settingGroup(group).counts == Counts::Checked);
    const double value = valueOf(group, index);
    const double total = this->total(group);
    store(group, counted ? total + value : total - value);
    sink_.writeLine(line(group));
}

void Totals::recount(Group group) {
    const bool countChecked = settingGroup(group).counts == Counts::Checked;
    store(group, 0);
    const int upper = source_.upperBound(group);
    for (int index = 0; index <= upper; ++index)
        if (source_.checked(group, index) == countChecked)
            store(group, total(group) + valueOf(group, index));
    sink_.writeLine(line(group));
}

void Totals::selectRank(Rank rank) { sink_.writeLine(rankLine(rank)); }

// Knight is asked first, then Instructor; Council is what is left.
std::string Totals::adminLine() const {
    if (source_.rankSelected(Rank::Knight))
        return rankLine(Rank::Knight);
    if (source_.rankSelected(Rank::Instructor))
        return rankLine(Rank::Instructor);
    return rankLine(Rank::Council);
}

std::string Totals::rankLine(Rank rank) const {
    return renderLine(settingGroup(Group::Admin).variables[static_cast<std::size_t>(rank)],
                      lngAdmin);
}

std::string Totals::line(Group group) const {
    if (group == Group::Admin)
        return adminLine();
    return renderLine(settingGroup(group).variables.front(), total(group));
}

}  // namespace zelvar

#include "save.h"

#include "textfile.h"

#include <filesystem>
#include <variant>

namespace zelvar {

PlannedSave planSave(const std::string &path, std::span<const Change> changes, bool create) {
    PlannedSave plan;
    plan.name = zelvar::quoted(path);
    auto taken = takeSnapshot(path, plan.name, kLargestConfiguration);
    if (const std::string *why = std::get_if<std::string>(&taken)) {
        plan.shown = {Failed, *why};
        return plan;
    }
    plan.was = std::move(std::get<Snapshot>(taken));
    if (!plan.was.exists && !create) {
        plan.shown = {Failed, plan.name + " does not exist; nothing is written"};
        return plan;
    }
    std::error_code error;
    const auto permissions = std::filesystem::status(plan.was.target, error).permissions();
    if (plan.was.exists && !error &&
        (permissions & std::filesystem::perms::owner_write) == std::filesystem::perms::none) {
        plan.shown = {Failed, plan.name + " is read-only; nothing is written"};
        return plan;
    }
    if (const std::optional<std::string> why = refusedText(plan.name, plan.was.bytes)) {
        plan.shown = {Failed, *why};
        return plan;
    }
    Edit edit = planEdit(plan.was.bytes, plan.name, changes);
    if (edit.refused)
        plan.shown = {Problem, *edit.refused + "; nothing is written"};
    else if (edit.bytes == plan.was.bytes)
        plan.shown = {Clean, path + ": unchanged"};
    else
        plan.shown = {Clean, unifiedDiff(path, plan.was.bytes, edit.bytes), true};
    plan.bytes = std::move(edit.bytes);
    return plan;
}

Saved commitSave(PlannedSave plan) {
    if (!plan.shown.changed)
        return std::move(plan.shown);
    if (const std::optional<std::string> why = replaceFile(plan.was, plan.name, plan.bytes))
        return {Failed, *why};
    return std::move(plan.shown);
}

Saved saveChanges(const std::string &path, std::span<const Change> changes, bool dryRun,
                  bool create) {
    PlannedSave plan = planSave(path, changes, create);
    return dryRun ? std::move(plan.shown) : commitSave(std::move(plan));
}

}  // namespace zelvar

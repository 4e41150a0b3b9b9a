#include "opening.h"

#include "layout.h"

#include <utility>

namespace zelvar::app {

std::optional<report::Message> openInto(Form &form, const Opening &opening) {
    form.open(opening);
    if (opening.leftOut.empty())
        return std::nullopt;
    return report::Message{false, std::string(opening.heading()), opening.details()};
}

std::string titleOf(const std::optional<std::string> &opened, std::string_view named) {
    return ui::windowTitle(!named.empty() ? std::string(named)
                           : opened       ? fileNameOf(*opened)
                                          : std::string());
}

std::optional<report::Message> rankClicked(Form &form, Rank rank, std::string_view named) {
    if (!form.rankClick(rank) || !form.openedFrom())
        return std::nullopt;
    const std::string where =
        !named.empty() ? "on " + std::string(named) : "in " + quoted(*form.openedFrom());
    return report::Message{true, rankNotSet(rank, where), std::string(kRankNotSetDetails)};
}

std::string filesOf(const PlannedSave &plan) {
    std::string files;
    for (std::size_t i = 0; i < plan.files.size(); ++i)
        files += (i == 0 ? "" : i + 1 == plan.files.size() ? " and " : ", ") + plan.files[i].name;
    return files;
}

FileSave planFileSave(Form::Save save, const SearchPath &search, Hosts *hosts) {
    PlannedSave plan =
        planSave(save.file, save.changes, save.create, search, {}, std::nullopt, hosts);
    std::string heading = "Save these changes into " + filesOf(plan) + "?";
    return {std::move(save), std::move(plan), std::move(heading)};
}

report::Result commitFileSave(FileSave planned, Hosts *hosts) {
    report::Result result;
    result.configuration = planned.save.file;
    result.planned = planned.save.changes;
    result.saved = commitSave(std::move(planned.plan), hosts);
    result.status = result.saved->status;
    return result;
}

}  // namespace zelvar::app

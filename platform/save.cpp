#include "save.h"

#include "replace.h"
#include "textfile.h"

#include <variant>

namespace zelvar {

Saved saveChanges(const std::string &path, std::span<const Change> changes, bool dryRun) {
    const std::string name = quoted(path);
    auto taken = takeSnapshot(path, name, kLargestConfiguration);
    if (const std::string *why = std::get_if<std::string>(&taken))
        return {Saved::Failed, *why};
    const Snapshot &was = std::get<Snapshot>(taken);
    if (const std::optional<std::string> why = refusedText(name, was.bytes))
        return {Saved::Failed, *why};
    const Edit edit = planEdit(was.bytes, name, changes);
    if (edit.refused)
        return {Saved::Refused, *edit.refused + "; nothing is written"};
    if (edit.bytes == was.bytes)
        return {Saved::Written, path + ": unchanged"};
    std::string diff = unifiedDiff(path, was.bytes, edit.bytes);
    if (!dryRun)
        if (const std::optional<std::string> why = replaceFile(was, name, edit.bytes))
            return {Saved::Failed, *why};
    return {Saved::Written, std::move(diff), true};
}

}  // namespace zelvar

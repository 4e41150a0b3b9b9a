#include "save.h"

#include "replace.h"
#include "textfile.h"

#include <variant>

namespace zelvar {

Saved saveChanges(const std::string &path, std::span<const Change> changes, bool dryRun) {
    const std::string name = quoted(path);
    auto taken = takeSnapshot(path, name, kLargestConfiguration);
    if (const std::string *why = std::get_if<std::string>(&taken))
        return {Failed, *why};
    const Snapshot &was = std::get<Snapshot>(taken);
    if (const std::optional<std::string> why = refusedText(name, was.bytes))
        return {Failed, *why};
    const Edit edit = planEdit(was.bytes, name, changes);
    if (edit.refused)
        return {Problem, *edit.refused + "; nothing is written"};
    if (edit.bytes == was.bytes)
        return {Clean, path + ": unchanged"};
    std::string diff = unifiedDiff(path, was.bytes, edit.bytes);
    if (!dryRun)
        if (const std::optional<std::string> why = replaceFile(was, name, edit.bytes))
            return {Failed, *why};
    return {Clean, std::move(diff), true};
}

}  // namespace zelvar

#include "save.h"

#include "remote.h"
#include "replace.h"

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

std::optional<SaveKeyOutcome>
saveOrSend(const Form::Save &save, const std::function<std::optional<std::string>()> &password) {
    if (!save.toServer) {
        Saved saved = saveChanges(save.path, save.changes, false);
        return SaveKeyOutcome{saved.status == Saved::Written, saved.heading(),
                              std::move(saved.said)};
    }
    rcon::Sent sent;
    if (!save.changes.empty()) {
        std::optional<std::string> secret = password();
        if (!secret)
            return std::nullopt;
        sent = sendToServer(save.path, std::move(*secret), save.changes);
    }
    return SaveKeyOutcome{sent.status == 0, sent.heading(), std::move(sent.said)};
}

}  // namespace zelvar

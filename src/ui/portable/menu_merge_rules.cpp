#include "ui/portable/menu_merge_rules.h"

namespace vtls::ui {

bool ShiftMenuId(std::uint32_t id, std::uint32_t adjust, std::uint32_t max, std::uint32_t* shifted) noexcept {
    // Unsigned wrap-around is intended: callers pass ids as the platform does.
    *shifted = id + adjust;
    return *shifted <= max;
}

std::uint32_t RaiseMergeResult(std::uint32_t result, std::uint32_t placed) noexcept {
    return result <= placed ? placed + 1 : result;
}

std::uint32_t RaiseMergeResultTo(std::uint32_t result, std::uint32_t nestedResult) noexcept {
    return result <= nestedResult ? nestedResult : result;
}

InsertionPoint ClampInsertion(std::uint32_t insert, std::uint32_t count) noexcept {
    if (insert >= count) {
        return {count, true};
    }
    return {insert, false};
}

SeamAction TidySeam(std::uint32_t insert, bool aboveIsSeparator, bool separatorFollows,
                    std::uint32_t flags) noexcept {
    if (insert == 0) {
        // No menu begins with a separator.
        return separatorFollows ? SeamAction::kDeleteAtInsert : SeamAction::kNone;
    }
    if (aboveIsSeparator) {
        // No two separators in a row.
        return separatorFollows ? SeamAction::kDeleteAtInsert : SeamAction::kNone;
    }
    if ((flags & kMergeAddSeparator) != 0 && !separatorFollows) {
        return SeamAction::kInsertSeparator;
    }
    return SeamAction::kNone;
}

}  // namespace vtls::ui

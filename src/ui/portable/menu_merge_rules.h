// Decisions of the menu merge that need no menu: which ids fit the caller's
// range, what the merge returns, and how the seam above the merged items is
// tidied. The Windows side reads and inserts the items.
#pragma once

#include <cstdint>

namespace vtls::ui {

// Merge flags (the last argument of the merge).
inline constexpr std::uint32_t kMergeAddSeparator = 0x1;
inline constexpr std::uint32_t kMergeSubmenusHaveIds = 0x2;

// Shifts id by adjust in 32-bit unsigned arithmetic. False when the shifted id
// exceeds max: the item is left out then. *shifted is set either way.
bool ShiftMenuId(std::uint32_t id, std::uint32_t adjust, std::uint32_t max, std::uint32_t* shifted) noexcept;

// The merge returns one more than the highest id it placed, never less than
// it was before: result after an id (or a nested merge's result) was placed.
std::uint32_t RaiseMergeResult(std::uint32_t result, std::uint32_t placed) noexcept;
std::uint32_t RaiseMergeResultTo(std::uint32_t result, std::uint32_t nestedResult) noexcept;

// Where the merge inserts and whether a separator stands below the inserted
// run: an insertion point at or past the end appends, and the end counts as a
// separator.
struct InsertionPoint {
    std::uint32_t position;
    bool atEnd;
};
InsertionPoint ClampInsertion(std::uint32_t insert, std::uint32_t count) noexcept;

enum class SeamAction {
    kNone,
    kDeleteAtInsert,     // the item at the insertion point (a separator) goes
    kInsertSeparator,    // a separator is put at the insertion point
};

// What is done above the merged run once all items are in. aboveIsSeparator
// is looked at only when insert is not 0.
SeamAction TidySeam(std::uint32_t insert, bool aboveIsSeparator, bool separatorFollows,
                    std::uint32_t flags) noexcept;

}  // namespace vtls::ui

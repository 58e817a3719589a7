#pragma once
// The window's controls as its child windows: each takes the table's order as its id, from 100
// on, clear of IDOK and IDCANCEL, which the dialog keys send.
#include <windows.h>

#include "wizard/layout_table.h"

namespace ostrel::win32 {

inline constexpr int kFirstControlId = 100;

inline int ChildId(wizard::ControlId id) {
    return kFirstControlId + static_cast<int>(id);
}

// The table's entry of `child`; false for a window that is none of the table's controls.
inline bool ControlOfChild(HWND child, wizard::ControlId& id) {
    const int index = GetDlgCtrlID(child) - kFirstControlId;
    if (index < 0 || index >= wizard::kControlCount) return false;
    id = static_cast<wizard::ControlId>(index);
    return true;
}

}  // namespace ostrel::win32

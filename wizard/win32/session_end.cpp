#include "wizard/win32/session_end.h"

#include "device/win32/wide_text.h"
#include "wizard/texts.h"

namespace ostrel::win32 {

bool AllowSessionEnd(HWND window, const UpdaterState& state) {
    // A failed run goes back to Idle, a finished one to Succeeded: either leaves the tracker
    // as it will stay.
    const bool writing = state.UpdatePhase != Phase::Idle && state.UpdatePhase != Phase::Succeeded;
    if (!writing) {
        ShutdownBlockReasonDestroy(window);
        return true;
    }
    ShutdownBlockReasonCreate(window, WideFromUtf8(texts::kSessionEndRefused).c_str());
    return false;
}

}  // namespace ostrel::win32

#include "platform/question_box.h"

#include <windows.h>

namespace platform {

static_assert(kAnswerYes == IDYES && kAnswerNo == IDNO);

int AskYesNo(const wchar_t* text, const wchar_t* caption) {
  return MessageBoxW(nullptr, text, caption, MB_YESNO | MB_ICONQUESTION);
}

}  // namespace platform

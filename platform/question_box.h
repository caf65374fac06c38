// The question box, the program's only window.
#pragma once

namespace platform {

inline constexpr int kAnswerYes = 6;  // the user chose Yes
inline constexpr int kAnswerNo = 7;   // the user chose No

// Shows a modal box owned by no window with `text`, the title `caption`, a question-mark icon and
// the buttons Yes and No, Yes being the default. Blocks until it is answered. Returns kAnswerYes or
// kAnswerNo; any other value means that no box could be shown (0 on Linux and from Windows itself, -1
// from Wine without a display), and callers treat it as "not Yes".
//
// This operation is alone in its source file, so that a test can supply its own definition at link
// time and answer for the user.
int AskYesNo(const wchar_t* text, const wchar_t* caption);

}  // namespace platform

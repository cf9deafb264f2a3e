// The system's folder chooser.
#pragma once

#include <windows.h>

#include "shell/run_state.h"

// Shows the chooser titled `title`, owned by `owner`: the common item dialog picking folders
// from Windows Vista on, the folder browser with an edit box for typing a path before that,
// through its ANSI call on Windows NT 4; a typed path that names no folder is refused there
// and the browser stays open. COM is initialised for the chooser where the thread lacks it.
// When the user confirms a folder whose path fits a wide path, `folder` holds it (widened ANSI
// bytes on the ANSI variant) and the result is true; a cancel changes nothing.
bool ChooseFolder(HWND owner, const wchar_t* title, const char* ansiTitle, WidePath& folder);

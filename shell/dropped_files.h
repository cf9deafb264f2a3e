// Files dropped onto a task panel from the file manager.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "shell/panel_frame.h"

// Fills the panel's path fields with the dropped files as though they were chosen with their
// Browse buttons, or hands the first name to the panel (Read Disc Check). Ignored during a run.
// Releases the drop in every case.
void OnDroppedFiles(HWND panel, HDROP drop, const PanelFrame& frame);

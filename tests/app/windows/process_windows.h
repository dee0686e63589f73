// The top-level windows of another process, looked at and answered as a user would: its window
// of a class, its message box with caption and text, and the box's OK button pressed.
#pragma once

#include <windows.h>

#include <string>

namespace test {

std::string ClassNameOf(HWND window);
std::string WindowTextOf(HWND window);
DWORD ProcessIdOf(HWND window);

// The first top-level window of class `className` that belongs to process `processId`, visible
// or not; nullptr when there is none.
HWND FindWindowOf(DWORD processId, const std::string& className);

// A message box of process `processId` (a dialog box, class "#32770"), or nullptr.
HWND FindMessageBoxOf(DWORD processId);

// The box's message: the text of its static controls, joined by line breaks.
std::string MessageBoxText(HWND box);

// Clicks the box's OK button, as the user would; false when the box has none.
bool PressOk(HWND box);

}  // namespace test

#pragma once
// Shows an item to the user: a file is selected in the file manager (its D-Bus interface
// org.freedesktop.FileManager1 where one runs), anything else, and a file where no such file
// manager answers, is opened with the desktop's default program. UI thread.

#include <string>

void OpenLocation(const std::wstring& path);
// Opens a folder in the file manager.
void OpenFolder(const std::wstring& folder);

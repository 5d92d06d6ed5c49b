// Pictures of the framework's dialogs, for the screenshots and for tests that keep one.
#pragma once

#include <afxwin.h>

#include <string>

// Renders the dialog as it is shown now, with a plain caption bar standing in for the
// window manager's frame, into a PNG file. FALSE when the file could not be written.
bool SaveDialogPicture(HWND dialog, const std::string& path);

// Pictures the next dialog that a modal loop shows to `path`, then ends it with IDCANCEL;
// `saved` tells afterwards whether the file was written. Call before DoModal.
void PictureNextDialog(const std::string& path, bool& saved);

// One mapping of the viewer's MIME map, and the array the map is loaded into.
// Include after stdafx.h.
#pragma once

struct MimeEntry {
    CString strExtension;  // the registry value's name, as the user typed it
    CString strMimeType;   // its data, e.g. "application/pdf"
};

typedef CArray<MimeEntry, const MimeEntry&> MimeEntryArray;

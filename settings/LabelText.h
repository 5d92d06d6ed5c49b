// How a typed sort-key label is compared with the labels the dialog lists: as the same
// words whatever letter case and Unicode form they come in. Include after stdafx.h.
#pragma once

#include <string>
#include <string_view>

// The form two labels compare equal in: composed (NFC, for the Latin-1 letters, where the
// labels' letters lie), then fully case-folded (ß as SS), as upper case. "GRÖSSE" and
// "Größe", and "Geändert" typed with a combining diaeresis, have the same key.
std::string LabelComparisonKey(std::string_view text);

bool IsSameLabel(std::string_view typed, std::string_view label);

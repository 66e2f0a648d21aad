// The mark before a pinned note's name in its row (its spoken form is the
// translated text PanelPinned).
#pragma once

#include <windows.h>

const wchar_t kPinnedMark[] = L"\x2605 ";

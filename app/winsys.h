// The window-system layer: the one place that pulls in the Win32 headers,
// with the settings every file of the program shares.
#pragma once

#ifndef STRICT
#define STRICT
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>

// Menu-item changes use the record in its first form, which ends before the
// item-bitmap field; every Windows accepts it, and only the state is set.
constexpr UINT MENU_ITEM_INFO_SIZE = offsetof(MENUITEMINFOA, hbmpItem);

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(WNDCLASSEXA) == 48, "the class record is 48 bytes on 32-bit Windows");
static_assert(MENU_ITEM_INFO_SIZE == 44, "the menu-item record is 44 bytes on 32-bit Windows");
#endif

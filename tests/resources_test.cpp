// The resources of the built program, read back from orv2000.exe through the
// platform: every identifier, text, state, flag, size and language.
#include "resources/resource.h"
#include "tests/support.h"

#include <gtest/gtest.h>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr WORD ITALIAN = 0x0410;

HMODULE program;

class ResourcesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        program = LoadLibraryExA("orv2000.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    void SetUp() override { ASSERT_NE(program, nullptr) << "orv2000.exe not found beside the tests"; }
};

// The bytes of one resource in Italian, or an empty vector when it is missing.
std::vector<BYTE> ResourceBytes(LPCSTR type, int id)
{
    HRSRC found = FindResourceExA(program, type, MAKEINTRESOURCEA(id), ITALIAN);
    if (found == nullptr)
        return {};
    const BYTE* data = (const BYTE*)LockResource(LoadResource(program, found));
    return std::vector<BYTE>(data, data + SizeofResource(program, found));
}

WORD Word(const std::vector<BYTE>& b, size_t at) { return (WORD)(b[at] | b[at + 1] << 8); }
DWORD Dword(const std::vector<BYTE>& b, size_t at) { return Word(b, at) | (DWORD)Word(b, at + 2) << 16; }

// Every (type, name, language) in the module; names and types as text, ordinals as "#n".
using Entry = std::tuple<std::string, std::string, WORD>;
std::string ResName(LPCSTR name)
{
    return IS_INTRESOURCE(name) ? "#" + std::to_string((ULONG_PTR)name) : std::string(name);
}
BOOL CALLBACK AddLanguage(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR all)
{
    ((std::set<Entry>*)all)->insert({ ResName(type), ResName(name), language });
    return TRUE;
}
BOOL CALLBACK AddName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR all)
{
    EnumResourceLanguagesA(module, type, name, AddLanguage, all);
    return TRUE;
}
BOOL CALLBACK AddType(HMODULE module, LPSTR type, LONG_PTR all)
{
    EnumResourceNamesA(module, type, AddName, all);
    return TRUE;
}
std::set<Entry> AllResources()
{
    std::set<Entry> all;
    EnumResourceTypesA(program, AddType, (LONG_PTR)&all);
    return all;
}

std::string MenuText(HMENU menu, int position)
{
    char text[64] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = text;
    info.cch = sizeof text;
    GetMenuItemInfoA(menu, position, TRUE, &info);
    return text;
}

// One menu item as the platform reads it: text, identifier, state, kind.
struct Item {
    std::string text;
    UINT id;
    UINT state;
    UINT type;
    HMENU submenu;
};
Item MenuItem(HMENU menu, int position)
{
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_SUBMENU;
    GetMenuItemInfoA(menu, position, TRUE, &info);
    return { MenuText(menu, position), info.wID, info.fState, info.fType, info.hSubMenu };
}

void ExpectCommand(HMENU menu, int position, const char* text, UINT id, UINT state)
{
    Item item = MenuItem(menu, position);
    SCOPED_TRACE(text);
    EXPECT_EQ(item.text, text);
    EXPECT_EQ(item.id, id);
    EXPECT_EQ(item.state, state);
    EXPECT_EQ(item.type, (UINT)MFT_STRING);
    EXPECT_EQ(item.submenu, nullptr);
}

void ExpectSeparator(HMENU menu, int position)
{
    EXPECT_EQ(MenuItem(menu, position).type, (UINT)MFT_SEPARATOR) << "position " << position;
}

HMENU ExpectSubmenu(HMENU menu, int position, const char* text, int count)
{
    Item item = MenuItem(menu, position);
    EXPECT_EQ(item.text, text);
    EXPECT_EQ(item.state, 0u) << text;
    EXPECT_EQ(item.type, (UINT)MFT_STRING) << text;
    EXPECT_NE(item.submenu, nullptr) << text;
    EXPECT_EQ(GetMenuItemCount(item.submenu), count) << text;
    return item.submenu;
}

// Reads a text or ordinal field of a dialog template, moving past it.
std::string TemplateField(const std::vector<BYTE>& b, size_t& at)
{
    if (Word(b, at) == 0xFFFF) {
        std::string ordinal = "#" + std::to_string(Word(b, at + 2));
        at += 4;
        return ordinal;
    }
    std::string text;
    for (; Word(b, at) != 0; at += 2)
        text += (char)Word(b, at);
    at += 2;
    return text;
}

} // namespace

TEST_F(ResourcesTest, TheSetHoldsExactlyTheProgramsResourcesAllInItalian)
{
    std::set<Entry> expected = {
        { "#6", "#7", ITALIAN },     // string block of 96..111: strings 103 and 109
        { "#14", "#107", ITALIAN },  // icon groups
        { "#14", "#108", ITALIAN },
        { "#3", "#1", ITALIAN },     // their three images
        { "#3", "#2", ITALIAN },
        { "#3", "#3", ITALIAN },
        { "#4", "#109", ITALIAN },   // menu
        { "#9", "#109", ITALIAN },   // accelerators
        { "#5", "#103", ITALIAN },   // About box
        { "#2", "#200", ITALIAN },   // card back
        { "WAVE", "#175", ITALIAN }, // move sound
    };
    for (int n = 1; n <= 40; n++)
        expected.insert({ "#2", "#" + std::to_string(n), ITALIAN });
    EXPECT_EQ(AllResources(), expected);
}

TEST_F(ResourcesTest, StringsAreTheTitleAndTheClassName)
{
    char text[100];
    ASSERT_GT(LoadStringA(program, STR_TITLE, text, sizeof text), 0);
    EXPECT_STREQ(text, "Brelliwick - Orvenna 2000");
    ASSERT_GT(LoadStringA(program, STR_CLASS, text, sizeof text), 0);
    EXPECT_STREQ(text, "ORVENNA 2000");

    // No other string in the block.
    std::vector<BYTE> block = ResourceBytes(RT_STRING, STR_TITLE / 16 + 1);
    size_t at = 0;
    for (int index = 0; index < 16; index++) {
        WORD length = Word(block, at);
        int id = 96 + index;
        if (id != STR_TITLE && id != STR_CLASS) {
            EXPECT_EQ(length, 0) << "string " << id;
        }
        at += 2 + 2 * length;
    }
}

TEST_F(ResourcesTest, IconGroupsHoldSixteenColourImagesOfTheStatedSizes)
{
    struct Image { int width; DWORD bytes; };
    const std::vector<Image> groups[] = { { { 32, 744 }, { 16, 296 } }, { { 16, 296 } } };
    const int ids[] = { ICON_LARGE, ICON_SMALL };
    for (int g = 0; g < 2; g++) {
        SCOPED_TRACE(ids[g]);
        std::vector<BYTE> dir = ResourceBytes(RT_GROUP_ICON, ids[g]);
        ASSERT_GE(dir.size(), 6u);
        EXPECT_EQ(Word(dir, 0), 0);
        EXPECT_EQ(Word(dir, 2), 1);
        ASSERT_EQ(Word(dir, 4), groups[g].size());
        ASSERT_EQ(dir.size(), 6 + 14 * groups[g].size());
        for (size_t i = 0; i < groups[g].size(); i++) {
            size_t e = 6 + 14 * i;
            EXPECT_EQ(dir[e], groups[g][i].width);
            EXPECT_EQ(dir[e + 1], groups[g][i].width);
            EXPECT_EQ(dir[e + 2], 16);
            EXPECT_EQ(Word(dir, e + 4), 1);
            EXPECT_EQ(Word(dir, e + 6), 4);
            EXPECT_EQ(Dword(dir, e + 8), groups[g][i].bytes);

            std::vector<BYTE> image = ResourceBytes(RT_ICON, Word(dir, e + 12));
            ASSERT_EQ(image.size(), groups[g][i].bytes);
            EXPECT_EQ(Dword(image, 0), 40u);
            EXPECT_EQ((int)Dword(image, 4), groups[g][i].width);
            EXPECT_EQ((int)Dword(image, 8), 2 * groups[g][i].width);
            EXPECT_EQ(Word(image, 12), 1);
            EXPECT_EQ(Word(image, 14), 4);
        }
    }
    EXPECT_NE(LoadIconA(program, MAKEINTRESOURCEA(ICON_LARGE)), nullptr);
}

TEST_F(ResourcesTest, MenuHasEveryItemWithItsIdentifierAndInitialState)
{
    HMENU bar = LoadMenuA(program, MAKEINTRESOURCEA(MENU_MAIN));
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    HMENU main = ExpectSubmenu(bar, 0, "&Menu di Orvenna 2000", 7);
    ExpectCommand(main, 0, "Nuova Partita", CMD_NEW_GAME, 0);
    ExpectSeparator(main, 1);
    HMENU options = ExpectSubmenu(main, 2, "&Opzioni", 3);
    ExpectSeparator(main, 3);
    HMENU help = ExpectSubmenu(main, 4, "&Aiuto", 3);
    ExpectSeparator(main, 5);
    ExpectCommand(main, 6, "E&sci", CMD_EXIT, 0);
    HMENU cells = ExpectSubmenu(options, 0, "Spazi liberi", 4);
    ExpectCommand(cells, 0, "1", CMD_FREE_CELLS_1, MFS_CHECKED);
    ExpectCommand(cells, 1, "2", CMD_FREE_CELLS_2, 0);
    ExpectCommand(cells, 2, "3", CMD_FREE_CELLS_3, 0);
    ExpectCommand(cells, 3, "4", CMD_FREE_CELLS_4, 0);
    ExpectSeparator(options, 1);
    ExpectCommand(options, 2, "Musica", CMD_MUSIC, MFS_CHECKED);
    ExpectCommand(help, 0, "&About ...", CMD_ABOUT, 0);
    ExpectSeparator(help, 1);
    ExpectCommand(help, 2, "Regole del gioco", CMD_RULES, 0);
    DestroyMenu(bar);
}

TEST_F(ResourcesTest, AcceleratorsAreAltSlashAltQuestionMarkAndF2)
{
    HACCEL table = LoadAcceleratorsA(program, MAKEINTRESOURCEA(ACCEL_MAIN));
    ASSERT_NE(table, nullptr);
    ACCEL keys[8];
    ASSERT_EQ(CopyAcceleratorTableA(table, keys, 8), 3);
    EXPECT_EQ(keys[0].fVirt, FALT | FNOINVERT);
    EXPECT_EQ(keys[0].key, '/');
    EXPECT_EQ(keys[0].cmd, CMD_ABOUT);
    EXPECT_EQ(keys[1].fVirt, FALT | FNOINVERT);
    EXPECT_EQ(keys[1].key, '?');
    EXPECT_EQ(keys[1].cmd, CMD_ABOUT);
    EXPECT_EQ(keys[2].fVirt, FVIRTKEY | FNOINVERT);
    EXPECT_EQ(keys[2].key, VK_F2);
    EXPECT_EQ(keys[2].cmd, CMD_NEW_GAME);
}

TEST_F(ResourcesTest, AboutBoxTemplateHasItsFiveControlsInOrder)
{
    std::vector<BYTE> t = ResourceBytes(RT_DIALOG, DLG_ABOUT);
    ASSERT_GT(t.size(), 18u);
    EXPECT_EQ(Dword(t, 0), (DWORD)(DS_MODALFRAME | DS_SETFONT | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(Dword(t, 4), 0u);
    ASSERT_EQ(Word(t, 8), 5);
    EXPECT_EQ((short)Word(t, 10), 22);
    EXPECT_EQ((short)Word(t, 12), 17);
    EXPECT_EQ((short)Word(t, 14), 230);
    EXPECT_EQ((short)Word(t, 16), 75);
    size_t at = 18;
    EXPECT_EQ(TemplateField(t, at), "");  // no menu
    EXPECT_EQ(TemplateField(t, at), "");  // the dialog class
    EXPECT_EQ(TemplateField(t, at), "About");
    EXPECT_EQ(Word(t, at), 8);
    at += 2;
    EXPECT_EQ(TemplateField(t, at), "System");

    struct Control { DWORD style; short x, y, cx, cy; WORD id; const char* cls; std::string text; };
    const DWORD base = WS_CHILD | WS_VISIBLE;
    const Control controls[] = {
        { base | SS_ICON, 14, 9, 20, 20, 2, "#130", "#107" },
        { base | WS_GROUP | SS_LEFT | SS_NOPREFIX, 49, 10, 119, 8, 65535, "#130", "Orvenna 2000" },
        { base | WS_GROUP | SS_LEFT, 48, 37, 119, 8, 65535, "#130", "" },
        { base | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 195, 6, 30, 11, IDOK, "#128", "OK" },
        { base | WS_GROUP | SS_LEFT, 49, 23, 70, 9, 65535, "#130", "ver. 2.00" },
    };
    for (const Control& c : controls) {
        at = (at + 3) & ~(size_t)3;
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Dword(t, at), c.style);
        EXPECT_EQ(Dword(t, at + 4), 0u);
        EXPECT_EQ((short)Word(t, at + 8), c.x);
        EXPECT_EQ((short)Word(t, at + 10), c.y);
        EXPECT_EQ((short)Word(t, at + 12), c.cx);
        EXPECT_EQ((short)Word(t, at + 14), c.cy);
        EXPECT_EQ(Word(t, at + 16), c.id);
        at += 18;
        EXPECT_EQ(TemplateField(t, at), c.cls);
        std::string text = TemplateField(t, at);
        if (!c.text.empty()) {
            EXPECT_EQ(text, c.text);
        } else {
            EXPECT_FALSE(text.empty());  // the third line has words of its own
        }
        EXPECT_EQ(Word(t, at), 0);  // no creation data
        at += 2;
    }
    EXPECT_GE(t.size(), at);
}

TEST_F(ResourcesTest, BitmapsShareOneStoredFormAndColourTable)
{
    std::vector<BYTE> first = ResourceBytes(RT_BITMAP, 1);
    ASSERT_EQ(first.size(), 7464u);
    std::vector<int> ids;
    for (int n = 1; n <= 40; n++)
        ids.push_back(n);
    ids.push_back(BMP_CARD_BACK);
    for (int id : ids) {
        SCOPED_TRACE(id);
        std::vector<BYTE> b = ResourceBytes(RT_BITMAP, id);
        ASSERT_EQ(b.size(), 7464u);
        EXPECT_EQ(Dword(b, 0), 40u);          // header size
        EXPECT_EQ((LONG)Dword(b, 4), 62);     // width
        EXPECT_EQ((LONG)Dword(b, 8), 100);    // height, bottom row first
        EXPECT_EQ(Word(b, 12), 1);            // planes
        EXPECT_EQ(Word(b, 14), 8);            // bits per pixel
        EXPECT_EQ(Dword(b, 16), (DWORD)BI_RGB);
        EXPECT_EQ(Dword(b, 20), 6400u);       // image size
        for (size_t field = 24; field < 40; field += 4)
            EXPECT_EQ(Dword(b, field), 0u);   // resolution and colour counts
        EXPECT_EQ(std::memcmp(b.data() + 40, first.data() + 40, 1024), 0) << "colour table";
        for (int entry = 0; entry < 256; entry++)
            EXPECT_EQ(b[40 + entry * 4 + 3], 0) << "colour " << entry;

        HBITMAP picture = LoadBitmapA(program, MAKEINTRESOURCEA(id));
        ASSERT_NE(picture, nullptr);
        BITMAP info;
        GetObjectA(picture, sizeof info, &info);
        EXPECT_EQ(info.bmWidth, 62);
        EXPECT_EQ(info.bmHeight, 100);
        DeleteObject(picture);
    }
}

TEST_F(ResourcesTest, MoveSoundIsShortMonoPcm)
{
    std::vector<BYTE> w = ResourceBytes("WAVE", WAVE_MOVE);
    ASSERT_EQ(w.size(), 44u + 6922u);
    EXPECT_EQ(std::memcmp(w.data(), "RIFF", 4), 0);
    EXPECT_EQ(Dword(w, 4), w.size() - 8);
    EXPECT_EQ(std::memcmp(w.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(Dword(w, 16), 16u);      // format chunk size
    EXPECT_EQ(Word(w, 20), 1);         // PCM
    EXPECT_EQ(Word(w, 22), 1);         // mono
    EXPECT_EQ(Dword(w, 24), 22050u);
    EXPECT_EQ(Dword(w, 28), 44100u);
    EXPECT_EQ(Word(w, 32), 2);
    EXPECT_EQ(Word(w, 34), 16);
    EXPECT_EQ(std::memcmp(w.data() + 36, "data", 4), 0);
    EXPECT_EQ(Dword(w, 40), 6922u);    // 3461 samples
}

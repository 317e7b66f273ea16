// The resources of the built desktop programs, read back out of the program files as data
// and checked exactly for English (US): what the resource compiler really wrote is what
// LoadStringW, LoadMenuW, DialogBoxW and LoadIconW of the programs will get.
#include "resource_ids.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr WORD ENGLISH_US = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// What differs between the desktop programs: one row each.
struct Program {
    const char* name;       // in test names
    const wchar_t* file;    // inside a build folder
    const wchar_t* title;   // string IDS_WINDOW_TITLE
    const wchar_t* window_class;
    const wchar_t* about_caption;
    const wchar_t* about_first_line;
    WORD about_icon;        // the icon the About box shows
};

const Program PROGRAMS[] = {
    {"KVButton", L"launcher\\KVButton.exe", L"KVButton", L"KVBUTTON", L"About KVButton",
     L"Nuvex Kelvaro", IDI_APP},
    {"kvnotify", L"notifier\\kvnotify.exe", L"NuvexKV", L"NuvexKV", L"About Trevane Notify",
     L"Trevane Notify, Version 1.0", IDI_APP_SMALL},
};

// Test cases show which program they read.
void PrintTo(const Program& program, std::ostream* out) { *out << program.name; }

using Bytes = std::vector<unsigned char>;

// ---- the program file, loaded as data -------------------------------------------------

// A file of this test's own build (from its folder, build/<arch>/tests), never the other's.
std::wstring path_in(const wchar_t* file)
{
    wchar_t own[MAX_PATH];
    std::wstring path(own, GetModuleFileNameW(nullptr, own, MAX_PATH));
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"..\\" + file;
    wchar_t full[MAX_PATH];
    return std::wstring(full, GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr));
}

BOOL CALLBACK add_type(HMODULE, LPWSTR type, LONG_PTR found)
{
    if (IS_INTRESOURCE(type))
        reinterpret_cast<std::vector<WORD>*>(found)->push_back(LOWORD(type));
    return TRUE;
}

BOOL CALLBACK add_name(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found)
{
    // A named resource shows as 0, which no numbered one can be.
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(
        IS_INTRESOURCE(name) ? LOWORD(name) : 0);
    return TRUE;
}

BOOL CALLBACK add_language(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<WORD>*>(found)->push_back(language);
    return TRUE;
}

// Nothing of the file runs: it is mapped for its resources only.
class ProgramFile {
public:
    explicit ProgramFile(const std::wstring& path)
        : module_(LoadLibraryExW(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~ProgramFile()
    {
        if (module_ != nullptr)
            FreeLibrary(module_);
    }
    ProgramFile(const ProgramFile&) = delete;
    ProgramFile& operator=(const ProgramFile&) = delete;

    bool loaded() const { return module_ != nullptr; }

    std::vector<WORD> types() const // numbered types, any language
    {
        std::vector<WORD> found;
        EnumResourceTypesW(module_, add_type, reinterpret_cast<LONG_PTR>(&found));
        return found;
    }

    std::vector<WORD> english_ids(LPCWSTR type) const
    {
        std::vector<WORD> names, english;
        EnumResourceNamesW(module_, type, add_name, reinterpret_cast<LONG_PTR>(&names));
        for (WORD id : names)
            if (id != 0 && has_english(type, id))
                english.push_back(id);
        return english;
    }

    // FindResourceExW alone falls back to other languages; this does not.
    std::optional<Bytes> english(LPCWSTR type, WORD id) const
    {
        if (!has_english(type, id))
            return std::nullopt;
        HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), ENGLISH_US);
        HGLOBAL data = found ? LoadResource(module_, found) : nullptr;
        const unsigned char* bytes = static_cast<const unsigned char*>(LockResource(data));
        if (bytes == nullptr)
            return std::nullopt;
        return Bytes(bytes, bytes + SizeofResource(module_, found));
    }

private:
    bool has_english(LPCWSTR type, WORD id) const
    {
        std::vector<WORD> languages;
        EnumResourceLanguagesW(module_, type, MAKEINTRESOURCEW(id), add_language,
                               reinterpret_cast<LONG_PTR>(&languages));
        return std::count(languages.begin(), languages.end(), ENGLISH_US) == 1;
    }

    HMODULE module_;
};

// ---- reading resource templates -------------------------------------------------------

// A name in a template: a number (0xFFFF, then the number) or text; "none" is empty text.
struct Name {
    bool is_number = false;
    WORD number = 0;
    std::wstring text;
};

Name numbered(WORD number) { return {true, number, {}}; }
Name named(const std::wstring& text) { return {false, 0, text}; }

bool operator==(const Name& a, const Name& b)
{
    return std::tie(a.is_number, a.number, a.text) == std::tie(b.is_number, b.number, b.text);
}

void PrintTo(const Name& name, std::ostream* out)
{
    if (name.is_number)
        *out << "#" << name.number;
    else
        *out << ::testing::PrintToString(name.text);
}

// Flags and styles compare as numbers and print in hex, as windows.h spells them.
struct Hex {
    DWORD value;
};

bool operator==(Hex a, Hex b) { return a.value == b.value; }

void PrintTo(Hex hex, std::ostream* out) { *out << "0x" << std::hex << hex.value << std::dec; }

// Reads front to back; reading past the end stops the reader instead of overrunning.
class Reader {
public:
    explicit Reader(const Bytes& bytes) : bytes_(bytes) {}

    template <typename T> T read()
    {
        T value{};
        if (ok_ && bytes_.size() - at_ >= sizeof(T))
            std::memcpy(&value, bytes_.data() + at_, sizeof(T));
        else
            ok_ = false;
        at_ += ok_ ? sizeof(T) : 0;
        return value;
    }

    std::wstring text() { return text_from(read<WORD>()); }

    Name name()
    {
        WORD first = read<WORD>();
        if (first == 0xFFFF)
            return numbered(read<WORD>());
        return named(text_from(first));
    }

    // Template parts start on DWORD boundaries, counted from the resource's start.
    void align()
    {
        while (ok_ && at_ % 4 != 0)
            read<BYTE>();
    }

    void skip(size_t count)
    {
        while (ok_ && count-- > 0)
            read<BYTE>();
    }

    bool ok() const { return ok_; }
    size_t left() const { return bytes_.size() - at_; }

private:
    std::wstring text_from(WORD first)
    {
        std::wstring text;
        for (WORD c = first; ok_ && c != 0; c = read<WORD>())
            text += static_cast<wchar_t>(c);
        return text;
    }

    const Bytes& bytes_;
    size_t at_ = 0;
    bool ok_ = true;
};

std::vector<std::wstring> read_string_block(Reader& in)
{
    std::vector<std::wstring> strings(16);
    for (std::wstring& text : strings)
        for (WORD length = in.read<WORD>(); in.ok() && length > 0; --length)
            text += static_cast<wchar_t>(in.read<WORD>());
    return strings;
}

struct MenuItem {
    int depth;
    WORD flags;
    WORD command; // 0 for a popup, which has none
    std::wstring text;
    auto fields() const { return std::make_tuple(depth, Hex{flags}, command, text); }
};

void read_menu_items(Reader& in, int depth, std::vector<MenuItem>& items)
{
    for (bool last = false; !last && in.ok();) {
        MenuItem item{depth, in.read<WORD>(), 0, {}};
        if ((item.flags & MF_POPUP) == 0)
            item.command = in.read<WORD>();
        item.text = in.text();
        last = (item.flags & MF_END) != 0;
        items.push_back(item);
        if ((item.flags & MF_POPUP) != 0)
            read_menu_items(in, depth + 1, items);
    }
}

struct Accelerator {
    WORD flags;
    WORD key;
    WORD command;
    auto fields() const { return std::make_tuple(Hex{flags}, key, command); }
};

std::vector<Accelerator> read_accelerators(Reader& in)
{
    std::vector<Accelerator> table;
    while (in.ok() && in.left() > 0) {
        Accelerator entry{in.read<WORD>(), in.read<WORD>(), in.read<WORD>()};
        in.read<WORD>(); // padding
        table.push_back(entry);
    }
    return table;
}

// The box itself, as DLGTEMPLATEEX stores it.
struct DialogFrame {
    WORD version, signature;
    DWORD help_id, ex_style, style;
    WORD control_count;
    short x, y, cx, cy;
    Name menu, window_class;
    std::wstring caption;
    WORD point_size, weight;
    BYTE italic, charset;
    std::wstring typeface;
    auto fields() const
    {
        return std::make_tuple(version, Hex{signature}, help_id, Hex{ex_style}, Hex{style},
                               control_count, x, y, cx, cy, menu, window_class, caption,
                               point_size, weight, int(italic), int(charset), typeface);
    }
};

DialogFrame read_dialog_frame(Reader& in)
{
    DialogFrame f{};
    f.version = in.read<WORD>();
    f.signature = in.read<WORD>();
    f.help_id = in.read<DWORD>();
    f.ex_style = in.read<DWORD>();
    f.style = in.read<DWORD>();
    f.control_count = in.read<WORD>();
    f.x = in.read<short>();
    f.y = in.read<short>();
    f.cx = in.read<short>();
    f.cy = in.read<short>();
    f.menu = in.name();
    f.window_class = in.name();
    f.caption = in.text();
    if ((f.style & DS_SETFONT) != 0) {
        f.point_size = in.read<WORD>();
        f.weight = in.read<WORD>();
        f.italic = in.read<BYTE>();
        f.charset = in.read<BYTE>();
        f.typeface = in.text();
    }
    return f;
}

// A control, as DLGITEMTEMPLATEEX stores it.
struct Control {
    DWORD help_id, ex_style, style;
    short x, y, cx, cy;
    DWORD id;
    Name window_class, text;
    auto layout() const
    {
        return std::make_tuple(help_id, Hex{ex_style}, Hex{style}, x, y, cx, cy, Hex{id},
                               window_class);
    }
};

Control read_control(Reader& in)
{
    in.align();
    Control c{};
    c.help_id = in.read<DWORD>();
    c.ex_style = in.read<DWORD>();
    c.style = in.read<DWORD>();
    c.x = in.read<short>();
    c.y = in.read<short>();
    c.cx = in.read<short>();
    c.cy = in.read<short>();
    c.id = in.read<DWORD>();
    c.window_class = in.name();
    c.text = in.name();
    in.skip(in.read<WORD>()); // creation data
    return c;
}

struct IconEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bit_count;
    DWORD bytes;
    WORD id;
};

// GRPICONDIR: reserved 0, type 1 (icons), then the entries.
std::vector<IconEntry> read_icon_group(Reader& in)
{
    WORD reserved = in.read<WORD>(), type = in.read<WORD>(), count = in.read<WORD>();
    std::vector<IconEntry> entries;
    for (WORD i = 0; in.ok() && reserved == 0 && type == 1 && i < count; ++i) {
        IconEntry e{in.read<BYTE>(), in.read<BYTE>(), in.read<BYTE>(), in.read<BYTE>(),
                    in.read<WORD>(), in.read<WORD>(), in.read<DWORD>(), in.read<WORD>()};
        entries.push_back(e);
    }
    return entries;
}

// Items compare as their field tuples, so a failure prints every field of every item.
template <typename Item> auto fields_of(const std::vector<Item>& items)
{
    std::vector<decltype(Item{}.fields())> all;
    for (const Item& item : items)
        all.push_back(item.fields());
    return all;
}

// ---- checks on single images and texts ------------------------------------------------

DWORD big_endian(const Bytes& bytes, size_t at)
{
    return DWORD(bytes[at]) << 24 | DWORD(bytes[at + 1]) << 16 | DWORD(bytes[at + 2]) << 8 |
           bytes[at + 3];
}

::testing::AssertionResult is_png_with_alpha(const Bytes& image, DWORD size)
{
    // Signature, then the IHDR chunk: length 13, width, height, depth 8, colour type 6.
    static const char IHDR[] = "\0\0\0\x0dIHDR";
    if (image.size() < 8 + 8 + 10 || std::memcmp(&image[8], IHDR, 8) != 0)
        return ::testing::AssertionFailure() << "PNG without IHDR";
    if (big_endian(image, 16) != size || big_endian(image, 20) != size)
        return ::testing::AssertionFailure() << "PNG of " << big_endian(image, 16) << "x"
                                             << big_endian(image, 20);
    if (image[24] != 8 || image[25] != 6)
        return ::testing::AssertionFailure() << "PNG depth " << int(image[24])
                                             << ", colour type " << int(image[25]);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult is_32_bit_bitmap(const Bytes& image, LONG size)
{
    BITMAPINFOHEADER header{};
    if (image.size() < sizeof(header))
        return ::testing::AssertionFailure() << "image of " << image.size() << " bytes";
    std::memcpy(&header, image.data(), sizeof(header));
    // Colour rows, then the AND mask of one bit a pixel in DWORD-padded rows.
    size_t pixels = size_t(size) * size * 4 + size_t((size + 31) / 32) * 4 * size;
    if (header.biSize != sizeof(header) || header.biWidth != size ||
        header.biHeight != 2 * size || header.biPlanes != 1 || header.biBitCount != 32 ||
        image.size() < sizeof(header) + pixels)
        return ::testing::AssertionFailure()
               << "bitmap " << header.biWidth << "x" << header.biHeight << ", "
               << header.biBitCount << " bits, " << image.size() << " bytes";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult is_32_bit_image(const Bytes& image, int size)
{
    static const unsigned char PNG[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (image.size() >= sizeof(PNG) && std::equal(PNG, PNG + sizeof(PNG), image.begin()))
        return is_png_with_alpha(image, DWORD(size));
    return is_32_bit_bitmap(image, size);
}

// True when the element carries name="value", the name standing as a word of its own.
bool has_attribute(const std::string& element, const std::string& name, const std::string& value)
{
    const std::string wanted = name + "=\"" + value + "\"";
    for (size_t at = element.find(wanted); at != std::string::npos;
         at = element.find(wanted, at + 1))
        if (at > 0 && std::isspace(static_cast<unsigned char>(element[at - 1])))
            return true;
    return false;
}

// ---- the checks, for every program -----------------------------------------------------

constexpr WORD STRING_BLOCK = IDS_WINDOW_TITLE / 16 + 1;
static_assert(IDS_WINDOW_CLASS / 16 + 1 == STRING_BLOCK, "both strings share one block");

constexpr WORD LAST_ACCELERATOR = 0x80;
constexpr WORD STATIC_CLASS = 0x0082, BUTTON_CLASS = 0x0080;
constexpr DWORD NO_ID = 0xFFFFFFFF; // -1 in the DWORD id of an extended template
constexpr WORD ICON_SIZES[] = {16, 32, 48, 64, 128, 256};

class Resources : public ::testing::TestWithParam<Program> {
protected:
    void SetUp() override
    {
        path_ = path_in(program().file);
        file_.emplace(path_);
        ASSERT_TRUE(file_->loaded()) << "cannot load " << ::testing::PrintToString(path_)
                                     << " as data (error " << GetLastError() << ")";
    }

    const Program& program() const { return GetParam(); }

    Bytes english(LPCWSTR type, WORD id)
    {
        std::optional<Bytes> bytes = file_->english(type, id);
        EXPECT_TRUE(bytes.has_value()) << "no English (US) resource " << id;
        return bytes.value_or(Bytes());
    }

    std::wstring path_;
    std::optional<ProgramFile> file_;
};

TEST_P(Resources, StringTableHoldsOnlyTitleAndClassName)
{
    EXPECT_EQ(std::vector<WORD>{STRING_BLOCK}, file_->english_ids(RT_STRING));

    Bytes block = english(RT_STRING, STRING_BLOCK);
    Reader in(block);
    std::vector<std::wstring> expected(16);
    expected[IDS_WINDOW_TITLE % 16] = program().title;
    expected[IDS_WINDOW_CLASS % 16] = program().window_class;
    EXPECT_EQ(expected, read_string_block(in));
    EXPECT_TRUE(in.ok() && in.left() == 0) << block.size() << " bytes";
}

TEST_P(Resources, MenuAndAcceleratorsOfferExitAndAbout)
{
    Bytes menu = english(RT_MENU, IDR_MAIN_MENU);
    Reader in(menu);
    EXPECT_EQ(0, in.read<WORD>()); // classic template: version 0,
    EXPECT_EQ(0, in.read<WORD>()); // items right after the header
    std::vector<MenuItem> items;
    read_menu_items(in, 0, items);
    const std::vector<MenuItem> expected = {
        {0, MF_POPUP, 0, L"&File"},
        {1, MF_END, IDM_EXIT_APP, L"E&xit"},
        {0, MF_POPUP | MF_END, 0, L"&Help"},
        {1, MF_END, IDM_SHOW_ABOUT, L"&About ..."},
    };
    EXPECT_EQ(fields_of(expected), fields_of(items));
    EXPECT_TRUE(in.ok() && in.left() == 0) << in.left() << " bytes after the menu";

    // Character accelerators (no FVIRTKEY): Alt with the character typed, '?' or '/'.
    Bytes table = english(RT_ACCELERATOR, IDR_MAIN_ACCEL);
    Reader keys(table);
    std::vector<Accelerator> accelerators = read_accelerators(keys);
    const std::vector<Accelerator> expected_keys = {
        {FALT, '?', IDM_SHOW_ABOUT},
        {FALT | LAST_ACCELERATOR, '/', IDM_SHOW_ABOUT},
    };
    EXPECT_EQ(fields_of(expected_keys), fields_of(accelerators));
    EXPECT_TRUE(keys.ok()) << table.size() << " bytes";
}

struct ExpectedControl {
    Control control;
    std::optional<Name> text; // none: any wording, but some
};

std::vector<ExpectedControl> about_controls(const Program& program)
{
    const DWORD shown = WS_CHILD | WS_VISIBLE;
    const Name icon = numbered(program.about_icon);
    return {
        {{0, 0, shown | SS_ICON, 14, 14, 20, 20, NO_ID, numbered(STATIC_CLASS), {}}, icon},
        {{0, 0, shown | WS_GROUP | SS_LEFT | SS_NOPREFIX, 42, 14, 114, 8, NO_ID,
          numbered(STATIC_CLASS), {}},
         named(program.about_first_line)},
        {{0, 0, shown | WS_GROUP | SS_LEFT, 42, 26, 114, 8, NO_ID, numbered(STATIC_CLASS), {}},
         std::nullopt},
        {{0, 0, shown | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 113, 41, 50, 14, IDOK,
          numbered(BUTTON_CLASS), {}},
         named(L"OK")},
    };
}

TEST_P(Resources, AboutBoxIsTheExactExtendedTemplate)
{
    Bytes dialog = english(RT_DIALOG, IDD_ABOUT);
    Reader in(dialog);
    const DialogFrame expected{
        1, 0xFFFF, 0, 0,
        WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
        4, 0, 0, 170, 62, named(L""), named(L""), program().about_caption, 8, 0, 0, 1,
        L"MS Shell Dlg"};
    DialogFrame frame = read_dialog_frame(in);
    ASSERT_EQ(expected.fields(), frame.fields());

    std::vector<ExpectedControl> controls = about_controls(program());
    for (size_t i = 0; i < controls.size(); ++i) {
        Control control = read_control(in);
        EXPECT_EQ(controls[i].control.layout(), control.layout()) << "control " << i;
        if (controls[i].text)
            EXPECT_EQ(*controls[i].text, control.text) << "control " << i;
        else
            EXPECT_TRUE(!control.text.is_number && !control.text.text.empty()) << "control " << i;
    }
    EXPECT_TRUE(in.ok() && in.left() == 0) << in.left() << " bytes after the controls";
}

// Each image of the group ID, checked against its directory entry; by size.
std::map<int, Bytes> icon_images(const ProgramFile& file, WORD id, const Bytes& group)
{
    Reader in(group);
    std::vector<IconEntry> entries = read_icon_group(in);
    EXPECT_TRUE(in.ok() && in.left() == 0)
        << "icon group " << id << ": " << group.size() << " bytes";
    EXPECT_EQ(std::size(ICON_SIZES), entries.size()) << "icon group " << id;
    std::map<int, Bytes> images;
    for (const IconEntry& entry : entries) {
        int size = entry.width == 0 ? 256 : entry.width; // a byte holds 256 as 0
        const std::string at =
            "icon group " + std::to_string(id) + ", size " + std::to_string(size);
        EXPECT_EQ(int(entry.width), int(entry.height)) << at;
        EXPECT_EQ(1, entry.planes) << at;
        EXPECT_EQ(32, entry.bit_count) << at;
        std::optional<Bytes> image = file.english(RT_ICON, entry.id);
        if (!image) {
            ADD_FAILURE() << at << ": no icon image " << entry.id;
            continue;
        }
        EXPECT_EQ(entry.bytes, image->size()) << at;
        EXPECT_TRUE(is_32_bit_image(*image, size)) << at;
        images[size] = *image;
    }
    return images;
}

TEST_P(Resources, BothIconGroupsShowTheSamePictureInSixSizes)
{
    std::map<int, Bytes> pictures[2];
    const WORD groups[] = {IDI_APP, IDI_APP_SMALL};
    for (int g = 0; g < 2; ++g) {
        pictures[g] = icon_images(*file_, groups[g], english(RT_GROUP_ICON, groups[g]));
        std::vector<int> sizes;
        for (const auto& image : pictures[g])
            sizes.push_back(image.first);
        EXPECT_EQ(std::vector<int>(std::begin(ICON_SIZES), std::end(ICON_SIZES)), sizes)
            << "icon group " << groups[g];
    }
    for (int size : ICON_SIZES)
        EXPECT_TRUE(pictures[0][size] == pictures[1][size]) << "different pictures at " << size;
}

// The whole element of the manifest that begins so, without its closing bracket.
std::string manifest_element(const std::string& text, const std::string& begins)
{
    const size_t start = text.find(begins);
    return start == std::string::npos ? "" : text.substr(start, text.find('>', start) - start);
}

// The manifest every program carries, and no version resource.
void expect_invoker_manifest(const ProgramFile& file)
{
    Bytes manifest = file.english(RT_MANIFEST, 1).value_or(Bytes());
    const std::string text(manifest.begin(), manifest.end());
    const std::string level = manifest_element(text, "<requestedExecutionLevel");
    EXPECT_TRUE(has_attribute(level, "level", "asInvoker")) << text;
    EXPECT_TRUE(has_attribute(level, "uiAccess", "false")) << text;
    const std::string controls = manifest_element(text, "<assemblyIdentity");
    EXPECT_TRUE(has_attribute(controls, "name", "Microsoft.Windows.Common-Controls") &&
                has_attribute(controls, "version", "6.0.0.0"))
        << text;
    EXPECT_NE(std::string::npos, text.find(">true</dpiAware>")) << text;
    for (const char* os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
        EXPECT_NE(std::string::npos, text.find(std::string("<supportedOS Id=\"{") + os + "}\"/>")) << os;

    // The manifest's type shows the enumeration sees the types there are.
    const std::vector<WORD> types = file.types();
    const WORD manifest_type = LOWORD(RT_MANIFEST), version_type = LOWORD(RT_VERSION);
    EXPECT_EQ(1, std::count(types.begin(), types.end(), manifest_type));
    EXPECT_EQ(0, std::count(types.begin(), types.end(), version_type));
}

// Built for the machine this test is built for, as its own build's files are; and an older
// Windows than Vista refuses it: its header asks for 6.0 (the machine and the versions stand
// at the same place in the 32- and 64-bit headers).
constexpr WORD OWN_MACHINE =
    sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386;
bool own_build_for_windows_6(const std::wstring& path)
{
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS32 nt = {};
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr)
        return false;
    bool read = fread(&dos, sizeof dos, 1, file) == 1 && fseek(file, dos.e_lfanew, SEEK_SET) == 0 &&
                fread(&nt, sizeof nt, 1, file) == 1;
    fclose(file);
    return read && nt.FileHeader.Machine == OWN_MACHINE &&
           nt.OptionalHeader.MajorOperatingSystemVersion == 6 &&
           nt.OptionalHeader.MajorSubsystemVersion == 6;
}

TEST_P(Resources, ManifestRunsAsInvokerForVistaTo11AndThereIsNoVersion)
{
    expect_invoker_manifest(*file_);
    EXPECT_TRUE(own_build_for_windows_6(path_));
}

// The service carries the same manifest; it and the package's setup DLL ask for 6.0 too.
TEST(Headers, TheServiceAndTheSetupDllAskForWindows6)
{
    const std::wstring service = path_in(L"service\\kelvaro.exe");
    ProgramFile file(service);
    ASSERT_TRUE(file.loaded());
    expect_invoker_manifest(file);
    EXPECT_TRUE(own_build_for_windows_6(service));
    EXPECT_TRUE(own_build_for_windows_6(path_in(L"setup\\kvsetup.dll")));
}

std::string case_name(const ::testing::TestParamInfo<Program>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Programs, Resources, ::testing::ValuesIn(PROGRAMS), case_name);

} // namespace

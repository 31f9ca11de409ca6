// The cross-built tavik.exe as a file: what it imports, what kind of program it is and how it may
// be loaded (from the cross objdump), and the resources it carries (the dialog template, its layout
// resource, the icons, the version and the manifest), as icoutils' wrestool lists and extracts
// them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <regex>
#include <set>
#include <string>

#include "pe_resources.h"

namespace {

// The executable's headers as the cross objdump prints them (-p).
std::string PrivateHeaders() {
    const std::string command =
        std::string("'") + TAVIK_MINGW_OBJDUMP + "' -p '" + TAVIK_WINDOWS_EXE + "'";
    bool ok = true;
    const std::string dump = CommandOutput(command, &ok);
    EXPECT_TRUE(ok) << "could not run " << command;
    return dump;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The first group of every match of `pattern` in `text`.
std::set<std::string> Matches(const std::string& text, const std::string& pattern) {
    std::set<std::string> found;
    const std::regex expression(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), expression);
         it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

class WindowsExecutable : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(ReadResources(TAVIK_WINDOWS_EXE, &resources_))
            << "wrestool cannot read the resources of " << TAVIK_WINDOWS_EXE;
    }

    // The one resource of that type and name; fails the test when there is not exactly one.
    static const Resource* Find(const std::string& type, const std::string& name) {
        const Resource* found = nullptr;
        for (const Resource& entry : resources_) {
            if (entry.type == type && entry.name == name) {
                EXPECT_EQ(found, nullptr) << "two resources of type " << type << " name " << name;
                found = &entry;
            }
        }
        EXPECT_NE(found, nullptr) << "no resource of type " << type << " name " << name;
        return found;
    }

    static std::vector<Resource> resources_;
};

std::vector<Resource> WindowsExecutable::resources_;

// A hexadecimal field of the headers that the cross objdump prints.
uint32_t HeaderField(const std::string& dump, const std::string& pattern) {
    std::smatch match;
    EXPECT_TRUE(std::regex_search(dump, match, std::regex(pattern))) << "no " << pattern;
    return match.empty() ? 0 : static_cast<uint32_t>(std::stoul(match[1], nullptr, 16));
}

constexpr int kLangPolishPoland = 0x0415;

TEST_F(WindowsExecutable, ImportsOnlyTheSystemsOwnLibraries) {
    const std::set<std::string> imports = Matches(Lower(PrivateHeaders()), "dll name: (\\S+)");
    // msvcrt.dll is the C runtime that MinGW-w64 programs are built on; every Windows has it.
    std::set<std::string> system = {"opengl32.dll", "glu32.dll",    "gdi32.dll",
                                    "user32.dll",   "kernel32.dll", "msvcrt.dll"};
    for (const std::string& name : imports) {
        EXPECT_TRUE(system.count(name)) << "imports " << name;
    }
    for (const char* needed : {"opengl32.dll", "glu32.dll", "gdi32.dll", "user32.dll"}) {
        EXPECT_TRUE(imports.count(needed)) << "does not import " << needed;
    }
}

TEST_F(WindowsExecutable, IsAGraphicalX86_64Program) {
    std::string dump = PrivateHeaders();
    EXPECT_NE(dump.find("file format pei-x86-64"), std::string::npos);
    EXPECT_NE(dump.find("(Windows GUI)"), std::string::npos);
}

// Windows loads the program at a random 64-bit address and keeps its data from running as code
// only when the headers ask for it and the relocations that moving it needs are there.
TEST_F(WindowsExecutable, AsksForHighEntropyAddressRandomisationAndNoExecuteData) {
    std::string dump = PrivateHeaders();
    ASSERT_NE(dump.find("Magic\t\t\t020b\t(PE32+)"), std::string::npos) << "not a PE32+ image";
    uint32_t dllCharacteristics = HeaderField(dump, "DllCharacteristics\\s+([0-9a-fA-F]+)");
    EXPECT_TRUE(dllCharacteristics & 0x0040) << "no DYNAMIC_BASE";
    EXPECT_TRUE(dllCharacteristics & 0x0020) << "no HIGH_ENTROPY_VA";
    EXPECT_TRUE(dllCharacteristics & 0x0100) << "no NX_COMPAT";
    EXPECT_FALSE(HeaderField(dump, "\nCharacteristics 0x([0-9a-fA-F]+)") & 0x0001)
        << "RELOCS_STRIPPED";
    EXPECT_GT(HeaderField(dump, "Entry 5 [0-9a-fA-F]+ ([0-9a-fA-F]+) Base Relocation Directory"),
              0u)
        << "no base relocations";
}

TEST_F(WindowsExecutable, CarriesTheDialogTemplateOfTheViewerWindow) {
    const Resource* entry = Find("5", "101");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->language, kLangPolishPoland);
    DialogTemplateEx dialog;
    ASSERT_TRUE(ParseDialogTemplateEx(entry->data, &dialog)) << "not an extended template";
    EXPECT_EQ(dialog.helpId, 0u);
    EXPECT_EQ(dialog.extendedStyle, 0u);
    // WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT | DS_FIXEDSYS: hidden until shown,
    // not a pop-up, no minimise or maximise box.
    EXPECT_EQ(dialog.style, 0x00CC0048u);
    EXPECT_EQ(dialog.controls, 0);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.width, 310);
    EXPECT_EQ(dialog.height, 177);
    EXPECT_TRUE(dialog.menu.Is(0)) << "has a menu";
    EXPECT_TRUE(dialog.windowClass.Is(0)) << "not the default dialog class";
    EXPECT_TRUE(dialog.caption == Utf16("Tavik"));
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.weight, 400);
    EXPECT_EQ(dialog.italic, 0);
    EXPECT_EQ(dialog.charset, 1);
    EXPECT_TRUE(dialog.typeface == Utf16("MS Shell Dlg"));
}

TEST_F(WindowsExecutable, CarriesTheDialogLayoutResourceOfTwoZeroBytes) {
    const Resource* found = Find("'AFX_DIALOG_LAYOUT'", "101");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->data, (std::vector<uint8_t>{0, 0}));
}

// The icon group: GRPICONDIR, then per image its size (0: 256) and the icon resource it names,
// which must hold that many bytes: a bitmap (BITMAPINFOHEADER, twice the height for the mask)
// or, at 256, a PNG. As "SIZE:bmp|png ...".
TEST_F(WindowsExecutable, CarriesTheIconGroupAtFiveSizesFirst) {
    const Resource* group = Find("14", "1");
    ASSERT_NE(group, nullptr);
    const std::vector<uint8_t>& dir = group->data;
    ASSERT_EQ(Le(dir, 2, 2), 1u) << "not an icon directory";
    std::string images;
    for (uint32_t i = 0, count = Le(dir, 4, 2); i < count; ++i) {
        std::size_t at = 6 + 14 * i;
        uint32_t size = dir.at(at) == 0 ? 256 : dir[at];
        const Resource* icon = Find("3", std::to_string(Le(dir, at + 12, 2)));
        ASSERT_NE(icon, nullptr);
        ASSERT_EQ(icon->data.size(), Le(dir, at + 8, 4));
        bool png = Le(icon->data, 0, 4) == 0x474e5089u;
        bool bitmap = Le(icon->data, 0, 4) == 40 && Le(icon->data, 4, 4) == size &&
                      Le(icon->data, 8, 4) == 2 * size;
        images += (images.empty() ? "" : " ") + std::to_string(size) +
                  (png      ? ":png"
                   : bitmap ? ":bmp"
                            : ":neither");
    }
    EXPECT_EQ(images, "16:bmp 24:bmp 32:bmp 48:bmp 256:png");
}

// VS_VERSIONINFO: the fixed file and product versions (after its signature), the strings of
// StringFileInfo, each a UTF-16 key and value, NULs and padding between, read as ASCII, and the
// language and code page of VarFileInfo's Translation, under which Explorer looks for them.
TEST_F(WindowsExecutable, CarriesTheProjectsVersionAndNames) {
    const Resource* version = Find("16", "1");
    ASSERT_NE(version, nullptr);
    const std::vector<uint8_t>& data = version->data;
    std::size_t fixed = 0;
    while (fixed + 16 < data.size() && Le(data, fixed, 4) != 0xFEEF04BDu) {
        fixed += 4;
    }
    auto fixedVersion = [&](std::size_t at) {
        return std::to_string(Le(data, at + 2, 2)) + "." + std::to_string(Le(data, at, 2)) + "." +
               std::to_string(Le(data, at + 6, 2));
    };
    EXPECT_EQ(fixedVersion(fixed + 8), TAVIK_PROJECT_VERSION) << "FILEVERSION";
    EXPECT_EQ(fixedVersion(fixed + 16), TAVIK_PROJECT_VERSION) << "PRODUCTVERSION";
    std::string text;
    for (std::size_t at = 0; at + 1 < data.size(); at += 2) {
        text += static_cast<char>(Le(data, at, 2) < 0x80 ? Le(data, at, 2) : '?');
    }
    auto value = [&](const std::string& key) {
        std::smatch match;
        std::regex pattern(key + std::string(1, '\0') + "+([^" + std::string(1, '\0') + "]*)");
        return std::regex_search(text, match, pattern) ? match[1].str() : "(none)";
    };
    EXPECT_EQ(value("FileVersion"), TAVIK_PROJECT_VERSION);
    EXPECT_EQ(value("ProductVersion"), TAVIK_PROJECT_VERSION);
    EXPECT_EQ(value("ProductName"), "Tavik");
    EXPECT_EQ(value("OriginalFilename"), "tavik.exe");
    EXPECT_EQ(value("LegalCopyright"), "Copyright (c) 2026 the Tavik developers");
    // The pair follows the key, its NUL and the padding to 32 bits; it names the strings' block.
    std::size_t key = text.find("Translation");
    ASSERT_NE(key, std::string::npos) << "no VarFileInfo Translation";
    std::size_t pair = (2 * (key + 12) + 3) / 4 * 4;
    char block[9];
    std::snprintf(block, sizeof block, "%04X%04X", Le(data, pair, 2), Le(data, pair + 2, 2));
    EXPECT_NE(text.find(std::string(block) + '\0'), std::string::npos)
        << "no strings for the translation " << block;
}

TEST_F(WindowsExecutable, ManifestAsksOnlyToRunAsInvokerWithoutUiAccess) {
    const Resource* entry = Find("24", "1");
    ASSERT_NE(entry, nullptr);
    std::string manifest(entry->data.begin(), entry->data.end());
    std::regex level("<requestedExecutionLevel\\s+level=\"([^\"]*)\"\\s+uiAccess=\"([^\"]*)\"");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(manifest, match, level)) << manifest;
    EXPECT_EQ(match[1], "asInvoker");
    EXPECT_EQ(match[2], "false");
    // Nothing else: no dependencies (common controls), no compatibility or DPI settings.
    EXPECT_EQ(Matches(manifest, "<([A-Za-z][A-Za-z0-9:]*)"),
              (std::set<std::string>{"assembly", "trustInfo", "security", "requestedPrivileges",
                                     "requestedExecutionLevel"}));
}

} // namespace

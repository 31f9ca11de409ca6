// A Windows executable's resources, read with wrestool, and the extended dialog template layout of
// its dialog resource, read back from the resource's bytes. Every field is checked against the
// data's end before it is read. And the readers of commands and numbers the tests share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A resource of a Windows executable as icoutils' wrestool lists it ("--type=5 --name=101
// --language=1045 [...]"; a type or name that is a string in quotes) and extracts it.
struct Resource {
    std::string type, name;
    int language = 0;
    std::vector<uint8_t> data;
};

// Every resource of the executable at `path`, read with wrestool; false when it cannot list or
// extract them, or there are none.
bool ReadResources(const std::string& path, std::vector<Resource>* resources);

// A dialog's menu or class: a number, or a string when `text` is not empty.
struct ResourceId {
    uint16_t number = 0;
    std::u16string text;

    bool Is(uint16_t id) const { return text.empty() && number == id; }
};

// DLGTEMPLATEEX and the font fields that follow it when the style has DS_SETFONT.
struct DialogTemplateEx {
    uint16_t version = 0;
    uint16_t signature = 0;
    uint32_t helpId = 0;
    uint32_t extendedStyle = 0;
    uint32_t style = 0;
    uint16_t controls = 0;
    int16_t x = 0, y = 0, width = 0, height = 0;
    ResourceId menu;        // number 0 and no text: none
    ResourceId windowClass; // number 0 and no text: the default dialog class
    std::u16string caption;
    uint16_t pointSize = 0;
    uint16_t weight = 0;
    uint8_t italic = 0;
    uint8_t charset = 0;
    std::u16string typeface;
};

// False if `data` is not an extended template or ends early.
bool ParseDialogTemplateEx(const std::vector<uint8_t>& data, DialogTemplateEx* dialog);

std::u16string Utf16(const char* ascii);

// A command's standard output; *ok becomes false when it cannot run or ends with an error.
std::string CommandOutput(const std::string& command, bool* ok);
// The little-endian number of `bytes` bytes at `at`; bytes beyond the data's end read as 0.
uint32_t Le(const std::vector<uint8_t>& data, std::size_t at, int bytes);

// Reading back what the compiler, linker and resource compiler put into the Windows executable:
// header fields, the resource tree of a PE file's resource directory (type, name, language, data)
// and the extended dialog template layout. Every offset and size is checked against the file
// before it is used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A resource's type or name: a number, or a string when `text` is not empty.
struct ResourceId {
    uint16_t number = 0;
    std::u16string text;

    bool Is(uint16_t id) const { return text.empty() && number == id; }
    bool IsNamed(const char* name) const;
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    std::vector<uint8_t> data;
};

// Header fields of a PE32+ image that say how Windows may load it.
struct PeHeaders {
    uint16_t characteristics = 0;    // of the file header (IMAGE_FILE_*)
    uint16_t dllCharacteristics = 0; // of the optional header (IMAGE_DLLCHARACTERISTICS_*)
    uint32_t relocationsSize = 0;    // of the base relocation directory
};

// False if `image` is not a PE32+ image or its headers end early.
bool ReadPeHeaders(const std::vector<uint8_t>& image, PeHeaders* headers);

// Every resource of a PE32+ image; false if the image or its resource directory is malformed.
bool ReadPeResources(const std::vector<uint8_t>& image, std::vector<ResourceEntry>* entries);

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

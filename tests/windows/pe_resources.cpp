#include "pe_resources.h"

namespace {

constexpr uint32_t kDsSetFont = 0x40;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kBaseRelocationDirectoryIndex = 5;
constexpr uint32_t kHighBit = 0x80000000u;

// Little-endian reads that fail, rather than read past the end, when the data is short.
class Reader {
  public:
    Reader(const std::vector<uint8_t>& bytes, size_t begin, size_t end)
        : bytes_(bytes), at_(begin), end_(end <= bytes.size() ? end : bytes.size()) {}

    bool Seek(size_t at) {
        at_ = at;
        return at_ <= end_;
    }
    bool U8(uint8_t* value) {
        if (at_ >= end_) {
            return false;
        }
        *value = bytes_[at_++];
        return true;
    }
    bool U16(uint16_t* value) {
        if (at_ > end_ || end_ - at_ < 2) {
            return false;
        }
        *value = static_cast<uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
        at_ += 2;
        return true;
    }
    bool U32(uint32_t* value) {
        uint16_t low, high;
        if (!U16(&low) || !U16(&high)) {
            return false;
        }
        *value = low | static_cast<uint32_t>(high) << 16;
        return true;
    }
    // A zero-terminated UTF-16 string whose first unit has been read already.
    bool Text(std::u16string* text, uint16_t first) {
        for (uint16_t c = first; c != 0;) {
            text->push_back(static_cast<char16_t>(c));
            if (!U16(&c)) {
                return false;
            }
        }
        return true;
    }
    // A dialog's menu or class: nothing (0), an ordinal (0xFFFF then a number) or a string.
    bool SzOrOrd(ResourceId* id) {
        uint16_t first;
        if (!U16(&first)) {
            return false;
        }
        if (first == 0xFFFF) {
            return U16(&id->number);
        }
        return first == 0 || Text(&id->text, first);
    }

  private:
    const std::vector<uint8_t>& bytes_;
    size_t at_;
    size_t end_;
};

// The resource section: where it starts in the file and the address it is loaded at.
struct ResourceSection {
    size_t fileOffset = 0;
    size_t size = 0;
    uint32_t virtualAddress = 0;
};

struct DirectoryEntry {
    ResourceId id;
    uint32_t offset = 0; // from the section's start
    bool isDirectory = false;
};

bool ReadDirectory(const std::vector<uint8_t>& image, const ResourceSection& section,
                   uint32_t offset, std::vector<DirectoryEntry>* entries) {
    Reader in(image, section.fileOffset, section.fileOffset + section.size);
    uint16_t named, numbered;
    if (!in.Seek(section.fileOffset + offset + 12) || !in.U16(&named) || !in.U16(&numbered)) {
        return false;
    }
    for (int i = 0; i < named + numbered; ++i) {
        uint32_t name, target;
        if (!in.U32(&name) || !in.U32(&target)) {
            return false;
        }
        DirectoryEntry entry;
        if (name & kHighBit) {
            // A counted UTF-16 string elsewhere in the section.
            Reader text(image, section.fileOffset, section.fileOffset + section.size);
            uint16_t length, unit;
            if (!text.Seek(section.fileOffset + (name & ~kHighBit)) || !text.U16(&length)) {
                return false;
            }
            for (int c = 0; c < length; ++c) {
                if (!text.U16(&unit)) {
                    return false;
                }
                entry.id.text.push_back(static_cast<char16_t>(unit));
            }
        } else {
            entry.id.number = static_cast<uint16_t>(name);
        }
        entry.isDirectory = (target & kHighBit) != 0;
        entry.offset = target & ~kHighBit;
        entries->push_back(entry);
    }
    return true;
}

bool FindResourceSection(const std::vector<uint8_t>& image, ResourceSection* section) {
    Reader in(image, 0, image.size());
    uint32_t peOffset, signature, resourceRva, resourceSize;
    uint16_t sections, optionalSize, magic;
    if (!in.Seek(0x3C) || !in.U32(&peOffset) || !in.Seek(peOffset) || !in.U32(&signature) ||
        signature != 0x00004550 || !in.Seek(peOffset + 6) || !in.U16(&sections) ||
        !in.Seek(peOffset + 20) || !in.U16(&optionalSize) || !in.Seek(peOffset + 24) ||
        !in.U16(&magic) || magic != kPe32PlusMagic) {
        return false;
    }
    // PE32+: the data directories start 112 bytes into the optional header, 8 bytes each.
    size_t optional = peOffset + 24;
    if (!in.Seek(optional + 112 + 8 * kResourceDirectoryIndex) || !in.U32(&resourceRva) ||
        !in.U32(&resourceSize) || resourceRva == 0) {
        return false;
    }
    size_t table = optional + optionalSize;
    for (uint16_t i = 0; i < sections; ++i) {
        uint32_t virtualSize, virtualAddress, rawSize, rawOffset;
        if (!in.Seek(table + 40 * i + 8) || !in.U32(&virtualSize) || !in.U32(&virtualAddress) ||
            !in.U32(&rawSize) || !in.U32(&rawOffset)) {
            return false;
        }
        if (resourceRva >= virtualAddress && resourceRva - virtualAddress < rawSize) {
            if (rawOffset > image.size() || rawSize > image.size() - rawOffset) {
                return false;
            }
            section->fileOffset = rawOffset + (resourceRva - virtualAddress);
            section->size = rawSize - (resourceRva - virtualAddress);
            section->virtualAddress = resourceRva;
            return true;
        }
    }
    return false;
}

} // namespace

bool ResourceId::IsNamed(const char* name) const {
    return text == Utf16(name);
}

std::u16string Utf16(const char* ascii) {
    std::u16string text;
    for (; *ascii != '\0'; ++ascii) {
        text.push_back(static_cast<char16_t>(*ascii));
    }
    return text;
}

bool ReadPeHeaders(const std::vector<uint8_t>& image, PeHeaders* headers) {
    Reader in(image, 0, image.size());
    uint32_t peOffset, signature;
    uint16_t magic;
    if (!in.Seek(0x3C) || !in.U32(&peOffset) || !in.Seek(peOffset) || !in.U32(&signature) ||
        signature != 0x00004550 || !in.Seek(peOffset + 22) || !in.U16(&headers->characteristics) ||
        !in.Seek(peOffset + 24) || !in.U16(&magic) || magic != kPe32PlusMagic) {
        return false;
    }
    size_t optional = peOffset + 24;
    return in.Seek(optional + 70) && in.U16(&headers->dllCharacteristics) &&
           in.Seek(optional + 112 + 8 * kBaseRelocationDirectoryIndex + 4) &&
           in.U32(&headers->relocationsSize);
}

bool ReadPeResources(const std::vector<uint8_t>& image, std::vector<ResourceEntry>* entries) {
    ResourceSection section;
    if (!FindResourceSection(image, &section)) {
        return false;
    }
    // Three levels: type, name, language; the language entries point at data descriptions.
    std::vector<DirectoryEntry> types;
    if (!ReadDirectory(image, section, 0, &types)) {
        return false;
    }
    for (const DirectoryEntry& type : types) {
        std::vector<DirectoryEntry> names;
        if (!type.isDirectory || !ReadDirectory(image, section, type.offset, &names)) {
            return false;
        }
        for (const DirectoryEntry& name : names) {
            std::vector<DirectoryEntry> languages;
            if (!name.isDirectory || !ReadDirectory(image, section, name.offset, &languages)) {
                return false;
            }
            for (const DirectoryEntry& language : languages) {
                Reader in(image, section.fileOffset, section.fileOffset + section.size);
                uint32_t dataRva, dataSize;
                if (language.isDirectory || !in.Seek(section.fileOffset + language.offset) ||
                    !in.U32(&dataRva) || !in.U32(&dataSize) || dataRva < section.virtualAddress ||
                    dataRva - section.virtualAddress > section.size ||
                    dataSize > section.size - (dataRva - section.virtualAddress)) {
                    return false;
                }
                size_t begin = section.fileOffset + (dataRva - section.virtualAddress);
                ResourceEntry entry;
                entry.type = type.id;
                entry.name = name.id;
                entry.language = language.id.number;
                entry.data.assign(image.begin() + static_cast<long>(begin),
                                  image.begin() + static_cast<long>(begin + dataSize));
                entries->push_back(std::move(entry));
            }
        }
    }
    return true;
}

bool ParseDialogTemplateEx(const std::vector<uint8_t>& data, DialogTemplateEx* dialog) {
    Reader in(data, 0, data.size());
    uint16_t x, y, width, height;
    if (!in.U16(&dialog->version) || !in.U16(&dialog->signature) || dialog->version != 1 ||
        dialog->signature != 0xFFFF || !in.U32(&dialog->helpId) ||
        !in.U32(&dialog->extendedStyle) || !in.U32(&dialog->style) || !in.U16(&dialog->controls) ||
        !in.U16(&x) || !in.U16(&y) || !in.U16(&width) || !in.U16(&height) ||
        !in.SzOrOrd(&dialog->menu) || !in.SzOrOrd(&dialog->windowClass)) {
        return false;
    }
    dialog->x = static_cast<int16_t>(x);
    dialog->y = static_cast<int16_t>(y);
    dialog->width = static_cast<int16_t>(width);
    dialog->height = static_cast<int16_t>(height);
    uint16_t first;
    if (!in.U16(&first) || !in.Text(&dialog->caption, first)) {
        return false;
    }
    if ((dialog->style & kDsSetFont) == 0) {
        return true;
    }
    return in.U16(&dialog->pointSize) && in.U16(&dialog->weight) && in.U8(&dialog->italic) &&
           in.U8(&dialog->charset) && in.U16(&first) && in.Text(&dialog->typeface, first);
}

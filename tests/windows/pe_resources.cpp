#include "pe_resources.h"

#include <cstdio>
#include <regex>

namespace {

// A command's standard output; *ok becomes false when it cannot run or ends with an error.
std::string Output(const std::string& command, bool* ok) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    *ok = pipe != nullptr && pclose(pipe) == 0 && *ok;
    return output;
}

// wrestool takes a numeric id as "-5" and a string one as "+NAME".
std::string WrestoolId(const std::string& listed) {
    return listed[0] == '\'' ? "+" + listed.substr(1, listed.size() - 2) : "-" + listed;
}

constexpr uint32_t kDsSetFont = 0x40;

// Little-endian reads that fail, rather than read past the end, when the data is short.
class Reader {
  public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes), end_(bytes.size()) {}

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
    size_t at_ = 0;
    size_t end_;
};

} // namespace

bool ReadResources(const std::string& path, std::vector<Resource>* resources) {
    bool ok = true;
    const std::string exe = " '" + path + "'";
    std::string list = Output("wrestool -l" + exe, &ok);
    std::regex listed("--type=(\\S+) --name=(\\S+) --language=(\\d+)");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), listed);
         it != std::sregex_iterator(); ++it) {
        Resource resource{(*it)[1], (*it)[2], std::stoi((*it)[3]), {}};
        std::string data = Output("wrestool -x --raw --type=" + WrestoolId(resource.type) +
                                      " --name=" + WrestoolId(resource.name) +
                                      " --language=" + (*it)[3].str() + exe,
                                  &ok);
        resource.data.assign(data.begin(), data.end());
        resources->push_back(std::move(resource));
    }
    return ok && !resources->empty();
}

std::u16string Utf16(const char* ascii) {
    std::u16string text;
    for (; *ascii != '\0'; ++ascii) {
        text.push_back(static_cast<char16_t>(*ascii));
    }
    return text;
}

bool ParseDialogTemplateEx(const std::vector<uint8_t>& data, DialogTemplateEx* dialog) {
    Reader in(data);
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

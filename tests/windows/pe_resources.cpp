#include "pe_resources.h"

#include <cstdio>
#include <regex>

std::string CommandOutput(const std::string& command, bool* ok) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe != nullptr && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    *ok = pipe != nullptr && pclose(pipe) == 0 && *ok;
    return output;
}

uint32_t Le(const std::vector<uint8_t>& data, std::size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | (at + i < data.size() ? data[at + i] : 0);
    }
    return value;
}

namespace {

// wrestool takes a numeric id as "-5" and a string one as "+NAME".
std::string WrestoolId(const std::string& listed) {
    return listed[0] == '\'' ? "+" + listed.substr(1, listed.size() - 2) : "-" + listed;
}

constexpr uint32_t kDsSetFont = 0x40;

// Little-endian reads that fail, rather than read past the end, when the data is short.
class Reader {
  public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    // A value of T's size; false, reading nothing, when fewer bytes are left.
    template <typename T> bool Read(T* value) {
        if (bytes_.size() - at_ < sizeof(T)) {
            return false;
        }
        *value = static_cast<T>(Le(bytes_, at_, sizeof(T)));
        at_ += sizeof(T);
        return true;
    }
    // A zero-terminated UTF-16 string whose first unit has been read already.
    bool Text(std::u16string* text, uint16_t first) {
        for (uint16_t c = first; c != 0;) {
            text->push_back(static_cast<char16_t>(c));
            if (!Read(&c)) {
                return false;
            }
        }
        return true;
    }
    // A dialog's menu or class: nothing (0), an ordinal (0xFFFF then a number) or a string.
    bool SzOrOrd(ResourceId* id) {
        uint16_t first;
        if (!Read(&first)) {
            return false;
        }
        if (first == 0xFFFF) {
            return Read(&id->number);
        }
        return first == 0 || Text(&id->text, first);
    }

  private:
    const std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

} // namespace

bool ReadResources(const std::string& path, std::vector<Resource>* resources) {
    bool ok = true;
    const std::string exe = " '" + path + "'";
    std::string list = CommandOutput("wrestool -l" + exe, &ok);
    std::regex listed("--type=(\\S+) --name=(\\S+) --language=(\\d+)");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), listed);
         it != std::sregex_iterator(); ++it) {
        Resource resource{(*it)[1], (*it)[2], std::stoi((*it)[3]), {}};
        std::string data = CommandOutput("wrestool -x --raw --type=" + WrestoolId(resource.type) +
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
    if (!in.Read(&dialog->version) || !in.Read(&dialog->signature) || dialog->version != 1 ||
        dialog->signature != 0xFFFF || !in.Read(&dialog->helpId) ||
        !in.Read(&dialog->extendedStyle) || !in.Read(&dialog->style) ||
        !in.Read(&dialog->controls) || !in.Read(&dialog->x) || !in.Read(&dialog->y) ||
        !in.Read(&dialog->width) || !in.Read(&dialog->height) || !in.SzOrOrd(&dialog->menu) ||
        !in.SzOrOrd(&dialog->windowClass)) {
        return false;
    }
    uint16_t first;
    if (!in.Read(&first) || !in.Text(&dialog->caption, first)) {
        return false;
    }
    if ((dialog->style & kDsSetFont) == 0) {
        return true;
    }
    return in.Read(&dialog->pointSize) && in.Read(&dialog->weight) && in.Read(&dialog->italic) &&
           in.Read(&dialog->charset) && in.Read(&first) && in.Text(&dialog->typeface, first);
}

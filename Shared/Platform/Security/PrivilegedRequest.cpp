#include "PrivilegedRequest.h"

namespace vt::privileged {

namespace {

bool isPlain(unsigned char byte)
{
    return byte > ' ' && byte <= '~' && byte != '%';
}

int hexValue(char digit)
{
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    return -1;
}

} // namespace

std::optional<std::string> encodeRequest(const std::vector<std::string>& fields)
{
    static const char digits[] = "0123456789ABCDEF";
    if (fields.empty())
        return std::nullopt;
    std::string line;
    for (const std::string& field : fields) {
        if (field.empty())
            return std::nullopt;
        if (!line.empty())
            line += ' ';
        for (unsigned char byte : field) {
            if (isPlain(byte)) {
                line += static_cast<char>(byte);
            } else {
                line += '%';
                line += digits[byte >> 4];
                line += digits[byte & 0x0f];
            }
        }
    }
    line += '\n';
    if (line.size() > kMaxRequestLine)
        return std::nullopt;
    return line;
}

std::optional<std::vector<std::string>> decodeRequest(std::string_view line)
{
    std::vector<std::string> fields(1);
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == ' ') {
            if (fields.back().empty())
                return std::nullopt;
            fields.emplace_back();
        } else if (c == '%') {
            int high = i + 2 < line.size() ? hexValue(line[i + 1]) : -1;
            int low = high >= 0 ? hexValue(line[i + 2]) : -1;
            if (low < 0 || (high == 0 && low == 0))
                return std::nullopt;
            fields.back() += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (isPlain(static_cast<unsigned char>(c))) {
            fields.back() += c;
        } else {
            return std::nullopt;
        }
    }
    if (fields.back().empty())
        return std::nullopt;
    return fields;
}

} // namespace vt::privileged

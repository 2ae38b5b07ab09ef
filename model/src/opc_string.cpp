#include "model/opc_string.hpp"

namespace tagsink {

namespace {

constexpr char kDelimiter = '/';
constexpr char kQuote = '"';

bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

} // namespace

std::string FormatOPCString(std::string_view host, std::string_view prog_id, std::string_view class_id) {
    std::string text;
    text.reserve(host.size() + prog_id.size() + class_id.size() + 2);
    text.append(host).append(1, kDelimiter).append(prog_id).append(1, kDelimiter).append(class_id);
    return text;
}

std::vector<std::string> SplitOPCString(std::string_view text) {
    // The text ends at the first NUL, as a C string would.
    if (const auto nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);

    std::vector<std::string> fields;
    std::size_t p = 0;
    const std::size_t end = text.size();
    while (p < end && IsBlank(text[p]))
        ++p;
    while (p < end) {
        std::string field;
        if (text[p] == kQuote) {
            ++p;
            while (p < end) {
                if (text[p] == kQuote) {
                    if (p + 1 < end && text[p + 1] == kQuote) {
                        field += kQuote;
                        p += 2;
                        continue;
                    }
                    ++p; // the closing quote
                    break;
                }
                field += text[p++];
            }
        } else {
            const std::size_t start = p;
            while (p<end&& static_cast<unsigned char>(text[p])> 32 && text[p] != kDelimiter)
                ++p;
            field.assign(text.substr(start, p - start));
        }
        fields.push_back(std::move(field));
        while (p < end && IsBlank(text[p]))
            ++p;
        if (p < end && text[p] == kDelimiter) {
            if (p + 1 == end)
                fields.emplace_back();
            do
                ++p;
            while (p < end && IsBlank(text[p]));
        }
    }
    return fields;
}

void ParseOPCString(std::string_view text, std::string& host, std::string& prog_id, std::string& class_id) {
    const auto fields = SplitOPCString(text);
    if (fields.size() > 0)
        host = fields[0];
    if (fields.size() > 1)
        prog_id = fields[1];
    if (fields.size() > 2)
        class_id = fields[2];
}

} // namespace tagsink

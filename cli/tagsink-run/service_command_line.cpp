#include "service_command_line.hpp"

namespace tagsink {

std::wstring QuoteArgument(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos)
        return std::wstring(argument);
    std::wstring quoted = L"\"";
    for (std::size_t at = 0;; ++at) {
        std::size_t backslashes = 0;
        while (at < argument.size() && argument[at] == L'\\') {
            ++at;
            ++backslashes;
        }
        if (at == argument.size()) {
            quoted.append(backslashes * 2, L'\\'); // before the closing quote
            break;
        }
        if (argument[at] == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        quoted.push_back(argument[at]);
    }
    quoted.push_back(L'"');
    return quoted;
}

std::vector<std::wstring> SplitCommandLine(std::wstring_view line) {
    std::vector<std::wstring> words;
    std::size_t at = 0;
    while (true) {
        while (at < line.size() && (line[at] == L' ' || line[at] == L'\t'))
            ++at;
        if (at == line.size())
            break;
        std::wstring word;
        bool quoted = false;
        while (at < line.size() && (quoted || (line[at] != L' ' && line[at] != L'\t'))) {
            std::size_t backslashes = 0;
            while (at < line.size() && line[at] == L'\\') {
                ++at;
                ++backslashes;
            }
            if (at < line.size() && line[at] == L'"') {
                word.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    word.push_back(L'"');
                    ++at;
                } else if (quoted && at + 1 < line.size() && line[at + 1] == L'"') {
                    word.push_back(L'"'); // "" inside quotes: a literal quote
                    at += 2;
                } else {
                    quoted = !quoted;
                    ++at;
                }
                continue;
            }
            word.append(backslashes, L'\\');
            if (at < line.size() && (quoted || (line[at] != L' ' && line[at] != L'\t')))
                word.push_back(line[at++]);
        }
        words.push_back(std::move(word));
    }
    return words;
}

std::wstring ServiceCommandLine(std::wstring_view exe, std::wstring_view name, std::wstring_view project,
                                const std::vector<std::wstring>& options) {
    std::wstring line = QuoteArgument(exe);
    line += L' ';
    line += kServiceNameOption;
    line += L' ' + QuoteArgument(name) + L' ' + QuoteArgument(project);
    for (const auto& option : options)
        line += L' ' + QuoteArgument(option);
    return line;
}

std::wstring ServiceNameOf(std::wstring_view command_line) {
    const auto words = SplitCommandLine(command_line);
    for (std::size_t i = 1; i + 1 < words.size(); ++i)
        if (words[i] == kServiceNameOption)
            return words[i + 1];
    return {};
}

bool SameServiceName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z')
            x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z')
            y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y)
            return false;
    }
    return true;
}

} // namespace tagsink

#include "engine/runtime/statement_list.hpp"

namespace tagsink {

bool CanJoinStatementList(std::string_view statement) {
    bool content = false;
    char quote = 0; // the quote that opened the text or name being read; 0 outside
    for (std::size_t i = 0; i < statement.size(); ++i) {
        const char c = statement[i];
        if (c == '\0' || c == '\\')
            return false;
        if (quote != 0) {
            if (c == quote) {
                if (i + 1 < statement.size() && statement[i + 1] == quote)
                    ++i; // a doubled quote stays inside
                else
                    quote = 0;
            }
            continue;
        }
        switch (c) {
        case '\'':
        case '"':
        case '`':
            quote = c;
            content = true;
            break;
        case ';':
        case '$':
        case '#':
            return false;
        case '-':
        case '/':
            if (i + 1 < statement.size() && statement[i + 1] == (c == '-' ? '-' : '*'))
                return false;
            content = true;
            break;
        case ' ':
        case '\t':
        case '\r':
        case '\n':
            break;
        default:
            content = true;
            break;
        }
    }
    return content && quote == 0;
}

} // namespace tagsink

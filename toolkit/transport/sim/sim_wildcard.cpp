#include "sim_wildcard.hpp"

namespace tagclient::transport::sim {

namespace {

// Matches one character against the set starting after '[' at filter[i]; sets *next to the index after
// the closing ']'. An unclosed '[' is a literal '['.
bool MatchSet(char16_t c, std::u16string_view filter, size_t i, size_t* next, bool* is_set) {
    size_t close = filter.find(u']', i + 1 < filter.size() && filter[i] == u'!' ? i + 1 : i);
    if (close == std::u16string_view::npos) {
        *is_set = false;
        return false;
    }
    *is_set = true;
    bool negate = false;
    size_t k = i;
    if (k < close && filter[k] == u'!') {
        negate = true;
        ++k;
    }
    bool found = false;
    while (k < close) {
        char16_t lo = filter[k];
        if (k + 2 < close && filter[k + 1] == u'-') {
            char16_t hi = filter[k + 2];
            if (c >= lo && c <= hi)
                found = true;
            k += 3;
        } else {
            if (c == lo)
                found = true;
            ++k;
        }
    }
    *next = close + 1;
    return found != negate;
}

bool Match(std::u16string_view name, size_t n, std::u16string_view filter, size_t f) {
    while (f < filter.size()) {
        char16_t p = filter[f];
        if (p == u'*') {
            while (f < filter.size() && filter[f] == u'*')
                ++f;
            if (f == filter.size())
                return true;
            for (size_t k = n; k <= name.size(); ++k)
                if (Match(name, k, filter, f))
                    return true;
            return false;
        }
        if (n == name.size())
            return false;
        char16_t c = name[n];
        if (p == u'?') {
            ++f;
        } else if (p == u'#') {
            if (c < u'0' || c > u'9')
                return false;
            ++f;
        } else if (p == u'[') {
            size_t next = 0;
            bool is_set = false;
            bool ok = MatchSet(c, filter, f + 1, &next, &is_set);
            if (!is_set) {
                if (c != u'[')
                    return false;
                ++f;
            } else {
                if (!ok)
                    return false;
                f = next;
            }
        } else {
            if (c != p)
                return false;
            ++f;
        }
        ++n;
    }
    return n == name.size();
}

} // namespace

bool MatchesFilter(std::u16string_view name, std::u16string_view filter) {
    if (filter.empty())
        return true;
    return Match(name, 0, filter, 0);
}

} // namespace tagclient::transport::sim

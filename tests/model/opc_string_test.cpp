#include "model/opc_string.hpp"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace tagsink {
namespace {

using Fields = std::vector<std::string>;

TEST(OPCString, FormatJoinsUnchanged) {
    EXPECT_EQ(FormatOPCString("", "Sim.Server.1", "{A-B}"), "/Sim.Server.1/{A-B}");
    EXPECT_EQ(FormatOPCString("host", "a b", "c/d"), "host/a b/c/d");
}

struct SplitCase {
    std::string text;
    Fields fields;
};

// Shows the text with control and non-ASCII bytes escaped, so test names stay readable.
void PrintTo(const SplitCase& c, std::ostream* os) {
    for (unsigned char ch : c.text) {
        if (ch >= 0x20 && ch < 0x7F) {
            *os << ch;
        } else {
            static const char* digits = "0123456789ABCDEF";
            *os << "\\x" << digits[ch >> 4] << digits[ch & 15];
        }
    }
}

class OPCStringSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(OPCStringSplit, Fields) {
    EXPECT_EQ(SplitOPCString(GetParam().text), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, OPCStringSplit,
    ::testing::Values(SplitCase{"host/Prog.1/{X}", {"host", "Prog.1", "{X}"}},
                      SplitCase{"/Prog.1/{X}", {"", "Prog.1", "{X}"}},        // leading "/"
                      SplitCase{"a//c", {"a", "", "c"}},                      // two "/" in a row
                      SplitCase{"a/b/", {"a", "b", ""}},                      // trailing "/"
                      SplitCase{"onlyhost", {"onlyhost"}},                    // no "/"
                      SplitCase{"", {}},                                      //
                      SplitCase{"   ", {}},                                   // blanks only
                      SplitCase{"  a / b /c", {"a", "b", "c"}},               // blanks around "/"
                      SplitCase{"a b/c", {"a", "b", "c"}},                    // a space separates
                      SplitCase{"\"x/y\"/p", {"x/y", "p"}},                   // quoted field
                      SplitCase{"\"say \"\"hi\"\"\"/p", {"say \"hi\"", "p"}}, // doubled quotes
                      SplitCase{"\"open", {"open"}},                          // unterminated quote
                      SplitCase{"a/b/c/d", {"a", "b", "c", "d"}},             //
                      SplitCase{std::string("a/b\0/c", 6), {"a", "b"}},       // NUL ends the text
                      SplitCase{"h\xC3\xA9/\xE6\xB8\xA9", {"h\xC3\xA9", "\xE6\xB8\xA9"}})); // non-ASCII

TEST(OPCString, ParseLeavesMissingFieldsAlone) {
    std::string host = "h0", prog = "p0", cls = "c0";
    ParseOPCString("onlyhost", host, prog, cls);
    EXPECT_EQ(host, "onlyhost");
    EXPECT_EQ(prog, "p0");
    EXPECT_EQ(cls, "c0");
    ParseOPCString("a/b/c/d", host, prog, cls);
    EXPECT_EQ(host + "|" + prog + "|" + cls, "a|b|c");
}

TEST(OPCString, JoinedNamesWithSpacesDoNotSurvive) {
    std::string host, prog, cls;
    ParseOPCString(FormatOPCString("", "My Server", "{X}"), host, prog, cls);
    EXPECT_EQ(prog, "My");
    EXPECT_EQ(cls, "Server");
}

} // namespace
} // namespace tagsink

// The service's command line: quoting that survives the Windows splitting rules, and finding the service
// name in a configured command line.
#include "service_command_line.hpp"

#include <gtest/gtest.h>

namespace {

using namespace tagsink;

TEST(ServiceCommandLine, SplitsByTheWindowsRules) {
    struct Case {
        std::wstring line;
        std::vector<std::wstring> words;
    };
    const Case cases[] = {
        {L"a b  c", {L"a", L"b", L"c"}},
        {L"\"C:\\Program Files\\t.exe\" x", {L"C:\\Program Files\\t.exe", L"x"}},
        {L"a\\\\b \\\"q\\\"", {L"a\\\\b", L"\"q\""}}, // backslashes are literal unless before a quote
        {L"\"a\\\\\" b", {L"a\\", L"b"}},             // an even run before a quote: halved, quote ends
        {L"\"say \"\"hi\"\"\"", {L"say \"hi\""}},     // "" inside quotes
        {L"x\"y z\"w", {L"xy zw"}},                   // quotes inside a word
        {L"\"\" e", {L"", L"e"}},                     // an empty argument
        {L"  ", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitCommandLine(c.line), c.words) << std::string(c.line.begin(), c.line.end());
}

TEST(ServiceCommandLine, QuotedArgumentsComeBackUnchanged) {
    const std::vector<std::wstring> arguments = {
        L"plain",         L"with space",     L"C:\\Tagsink Data\\", L"C:\\a\\b",
        L"quote\"inside", L"\\\\server\\sh", L"trailing\\\\",       L"",
        L"tab\there",     L"\\\"",           L"--log-size",         L"10\u00b5 \u4e2d\u6587"};
    std::wstring line = L"prog.exe";
    for (const auto& argument : arguments)
        line += L" " + QuoteArgument(argument);
    std::vector<std::wstring> expected = {L"prog.exe"};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(SplitCommandLine(line), expected);
    EXPECT_EQ(QuoteArgument(L"plain"), L"plain"); // nothing added where nothing is needed
    EXPECT_EQ(QuoteArgument(L"a b\\"), L"\"a b\\\\\"");
}

TEST(ServiceCommandLine, NamesTheServiceAndTheProject) {
    const std::wstring line =
        ServiceCommandLine(L"C:\\Program Files\\Tagsink\\tagsink-run.exe", L"Plant 1",
                           L"D:\\plant data\\plant.DAT", {L"--log", L"--log-size", L"1000000"});
    EXPECT_EQ(line, L"\"C:\\Program Files\\Tagsink\\tagsink-run.exe\" --service-name \"Plant 1\" "
                    L"\"D:\\plant data\\plant.DAT\" --log --log-size 1000000");
    EXPECT_EQ(ServiceNameOf(line), L"Plant 1");
    EXPECT_EQ(ServiceNameOf(L"C:\\Windows\\system32\\svchost.exe -k netsvcs"), L"");
    EXPECT_EQ(ServiceNameOf(L"other.exe --service-name"), L""); // no name after it
    EXPECT_TRUE(SameServiceName(L"TagSink-Plant", L"tagsink-plant"));
    EXPECT_FALSE(SameServiceName(L"tagsink-plant", L"tagsink-plant2"));
}

} // namespace

// A small check harness for the Windows layers' test executable: plain C++, so it builds with
// mingw-w64 and runs under Wine or on Windows, where neither Qt Test nor another framework is
// at hand. TEST_CASE registers a function; CHECK and CHECK_EQ record failures and go on.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace check {

void report(bool passed, const char *expression, const char *file, int line, const std::string &detail = {});

template <typename A, typename B>
void equal(const A &actual, const B &expected, const char *actualText, const char *expectedText,
           const char *file, int line)
{
    if (actual == expected) {
        report(true, actualText, file, line);
        return;
    }
    std::ostringstream detail;
    detail << actualText << " is " << actual << ", expected " << expectedText << " (" << expected << ")";
    report(false, actualText, file, line, detail.str());
}

struct Case
{
    const char *name;
    void (*run)();
};

std::vector<Case> &cases();

struct Registration
{
    Registration(const char *name, void (*run)()) { cases().push_back({name, run}); }
};

} // namespace check

#define CHECK(condition) ::check::report(bool(condition), #condition, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected) ::check::equal((actual), (expected), #actual, #expected, __FILE__, __LINE__)
#define TEST_CASE(name)                                                   \
    static void name();                                                   \
    static const ::check::Registration name##Registration(#name, name);   \
    static void name()

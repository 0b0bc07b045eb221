// Runs every registered case and prints one line per case; the exit code is the number of
// failed checks (capped), so ctest sees a failure.
#include "Check.h"

#include <cstdio>

namespace {

int g_failures = 0;
int g_checks = 0;
int g_caseFailures = 0;

} // namespace

namespace check {

std::vector<Case> &cases()
{
    static std::vector<Case> all;
    return all;
}

void report(bool passed, const char *expression, const char *file, int line, const std::string &detail)
{
    ++g_checks;
    if (passed)
        return;
    ++g_failures;
    ++g_caseFailures;
    std::printf("    FAILED %s:%d: %s\n", file, line, detail.empty() ? expression : detail.c_str());
}

} // namespace check

int main()
{
    for (const check::Case &testCase : check::cases()) {
        g_caseFailures = 0;
        std::printf("%s\n", testCase.name);
        std::fflush(stdout);
        testCase.run();
        std::printf("  %s\n", g_caseFailures == 0 ? "ok" : "FAILED");
        std::fflush(stdout);
    }
    std::printf("%d cases, %d checks, %d failed\n", int(check::cases().size()), g_checks, g_failures);
    return g_failures > 100 ? 100 : g_failures;
}

// The contract of TMessageLoop (support/MessageLoopContract.h) against the Win32 loop,
// cross-built and run under Wine by the suite. Each failed check is named on standard
// error after "FAILED:"; exit status 0 when every case holds.
#include <windows.h>

#include <cstdio>

#include "platform/win32/Win32MessageLoop.h"
#include "support/MessageLoopContract.h"

namespace {

class TPrintingCheck : public loopcontract::TCheck {
public:
    explicit TPrintingCheck(const char* contractCase) : case_(contractCase) {}
    void Fail(const char* what, const char* file, int line) override {
        std::fprintf(stderr, "FAILED: %s: %s (%s:%d)\n", case_, what, file, line);
        ++Failures;
    }
    int Failures = 0;

private:
    const char* case_;
};

}  // namespace

int main() {
    int failures = 0;
#define LOOP_CONTRACT_RUN(name)                                                   \
    {                                                                             \
        TWin32MessageLoop loop;                                                   \
        TPrintingCheck check(#name);                                              \
        loopcontract::name(loop, check);                                          \
        failures += check.Failures;                                               \
        std::printf("%s %s\n", check.Failures == 0 ? "ok    " : "FAILED", #name); \
    }
    LOOP_CONTRACT_CASES(LOOP_CONTRACT_RUN)
    std::printf("%s\n",
                failures == 0 ? "the Win32 loop keeps the contract" : "the Win32 loop breaks the contract");
    return failures == 0 ? 0 : 1;
}

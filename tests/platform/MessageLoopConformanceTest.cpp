// The contract of TMessageLoop, run against the virtual-clock loop and the Qt loop. The Win32
// loop runs the same cases under Wine (tests/wine/Win32LoopConformance.cpp).
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "platform/qt/QtMessageLoop.h"
#include "support/MessageLoopContract.h"
#include "support/VirtualMessageLoop.h"

namespace {

// One application object per process, made before the first Qt loop.
void EnsureApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "platform_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

class TGoogleTestCheck : public loopcontract::TCheck {
public:
    void Fail(const char* what, const char* file, int line) override {
        ADD_FAILURE_AT(file, line) << "does not hold: " << what;
    }
};

template <typename TLoop>
class MessageLoopConformance : public ::testing::Test {
protected:
    void Run(void (*contractCase)(TMessageLoop&, loopcontract::TCheck&)) {
        if constexpr (std::is_same_v<TLoop, TQtMessageLoop>) EnsureApplication();
        TLoop loop;
        TGoogleTestCheck check;
        contractCase(loop, check);
    }
};

using TLoops = ::testing::Types<TVirtualMessageLoop, TQtMessageLoop>;
TYPED_TEST_SUITE(MessageLoopConformance, TLoops);

#define LOOP_CONTRACT_TEST(name)               \
    TYPED_TEST(MessageLoopConformance, name) { \
        this->Run(loopcontract::name);         \
    }
LOOP_CONTRACT_CASES(LOOP_CONTRACT_TEST)

}  // namespace

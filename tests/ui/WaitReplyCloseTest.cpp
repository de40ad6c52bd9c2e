#include <gtest/gtest.h>

#include <QDialog>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <memory>

#include "link/LumoComms.h"
#include "platform/qt/QtMessageLoop.h"
#include "support/MemoryPortFactory.h"
#include "tests/ui/UiTestSupport.h"

namespace {

// A request waiting on the real Qt loop ends with -2 right after a Close and a new Open of
// the link, whatever the Close runs in: one of the loop's tasks, a toolkit timer, a nested
// event loop, or the handler of a dialog that was just accepted (the port dialog).
TEST(WaitReplyOnTheQtLoop, EndsWithMinusTwoRightAfterACloseFromAnySource) {
    EnsureApplication();
    TQtMessageLoop loop;
    auto ports = std::make_shared<TMemoryPortFactory>(loop);
    ports->AddPort("COM1");

    struct Case {
        const char* name;
        // Arranges for reopen() to run from the source, once the request waits.
        std::function<void(TMessageLoop&, std::function<void()>)> from;
    } const cases[] = {
        {"loop task", [](TMessageLoop& l, std::function<void()> reopen) { l.Post(reopen); }},
        {"toolkit timer", [](TMessageLoop&, std::function<void()> reopen) { QTimer::singleShot(0, reopen); }},
        {"nested event loop",
         [](TMessageLoop&, std::function<void()> reopen) {
             QTimer::singleShot(0, [reopen] {
                 QEventLoop nested;
                 QTimer::singleShot(0, &nested, [&nested, reopen] {
                     reopen();
                     nested.quit();
                 });
                 nested.exec();
             });
         }},
        {"accepted dialog",
         [](TMessageLoop&, std::function<void()> reopen) {
             QTimer::singleShot(0, [reopen] {
                 QDialog dialog;
                 QTimer::singleShot(0, &dialog, &QDialog::accept);
                 if (dialog.exec() == QDialog::Accepted) reopen();
             });
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TLumoComms link(loop, ports);
        ASSERT_TRUE(link.Open());
        const std::uint8_t request[] = {1, 3, 0, 19, 0, 2};
        ASSERT_TRUE(link.Send(request, sizeof request, 0xFFFF));  // no timeout of its own
        c.from(loop, [&link] {
            link.Close();
            link.Open();
        });
        // Only keeps a broken wait from hanging the suite: the posted task wakes it.
        bool rescued = false;
        QTimer rescue;
        rescue.setSingleShot(true);
        QObject::connect(&rescue, &QTimer::timeout, [&] {
            rescued = true;
            loop.Post([] {});
        });
        rescue.start(30000);
        EXPECT_EQ(link.WaitReply(), -2);
        EXPECT_FALSE(rescued);
        EXPECT_TRUE(link.IsOpen());
    }
}

}  // namespace

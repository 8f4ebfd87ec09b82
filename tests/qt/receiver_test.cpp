#include <gtest/gtest.h>

#include <QObject>
#include <QTest>
#include <QThread>
#include <memory>
#include <thread>

#include "platform/fs/core/background.h"

namespace kv::test {
namespace {

TEST(Receiver, RunsAPostOnTheUiThreadLater) {
    QObject object;
    const Receiver receiver(&object);
    const Qt::HANDLE ui = QThread::currentThreadId();
    Qt::HANDLE ranOn = nullptr;
    std::thread([&] { EXPECT_TRUE(receiver.post([&] { ranOn = QThread::currentThreadId(); })); }).join();
    EXPECT_EQ(ranOn, nullptr) << "queued, not run on the posting thread";
    ASSERT_TRUE(QTest::qWaitFor([&] { return ranOn != nullptr; }, 15000));
    EXPECT_EQ(ranOn, ui);
}

TEST(Receiver, DropsWhatIsPostedToAnObjectThatIsGone) {
    auto object = std::make_unique<QObject>();
    const Receiver receiver(object.get());
    bool ran = false;
    int dropped = 0;
    receiver.post([&] { ran = true; }, [&] { ++dropped; });  // the object goes before this runs
    object.reset();
    EXPECT_FALSE(receiver.alive());
    std::thread([&] { receiver.post([&] { ran = true; }, [&] { ++dropped; }); }).join();  // and after
    receiver.post([&] { ran = true; });  // nothing to say when dropped
    // Posts run in order: once a later one to an object that stays has run, the others were dropped.
    QObject stays;
    bool later = false;
    Receiver(&stays).post([&] { later = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return dropped == 2 && later; }, 15000));
    EXPECT_FALSE(ran);
    EXPECT_EQ(dropped, 2);
}

TEST(Receiver, RunInBackgroundDeliversOnlyToAReceiverThatExists) {
    QObject stays;
    auto goes = std::make_unique<QObject>();
    int delivered = 0;
    bool wrong = false;
    // Held by what would deliver to the receiver that goes, until it has been run or dropped.
    const auto pending = std::make_shared<int>();
    for (const bool mayBlock : {true, false}) {
        runInBackground(
            &stays, [] { return 21; }, [&](int v) { delivered += v; }, mayBlock);
        runInBackground(
            goes.get(), [] { return 1; }, [&, pending](int) { wrong = true; }, mayBlock);
    }
    goes.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered == 42 && pending.use_count() == 1; }, 15000));
    EXPECT_FALSE(wrong);
}

}  // namespace
}  // namespace kv::test

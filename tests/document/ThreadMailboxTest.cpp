// Work handed from a worker thread to the GUI thread runs there, in order, and a call waits for
// its result. A piece of work that runs a nested event loop (a modal dialog) must not hold up
// the work posted while that loop runs, even with other work queued behind it from before.
#include "DocumentTestSupport.h"

#include "document/ThreadMailbox.h"

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

TEST(ThreadMailbox, WorkFromAWorkerRunsOnTheMainThreadInOrderAndCallsReturn) {
    EnsureCoreApplication();
    const std::thread::id mainThread = std::this_thread::get_id();
    std::string order;
    std::atomic<bool> nestedRunning{false}, done{false};
    int answer = 0;
    std::thread worker([&] {
        ThreadMailbox& mailbox = ThreadMailbox::Main();
        // 'a' runs a nested loop that ends once 'c' has run; 'b' is queued before the loop
        // starts, 'c' while it runs.
        mailbox.Post([&] {
            order += 'a';
            nestedRunning = true;
            QEventLoop nested;
            QTimer::singleShot(5000, &nested, &QEventLoop::quit);
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (order.find('c') != std::string::npos)
                    nested.quit();
            });
            poll.start(5);
            nested.exec();
            order += 'A';
        });
        mailbox.Post([&] { order += 'b'; });
        while (!nestedRunning)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        mailbox.Post([&] { order += 'c'; });
        answer = mailbox.Call([&] { return std::this_thread::get_id() == mainThread ? 42 : -1; });
        done = true;
    });
    // The main thread runs its event loop, as the program does.
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    worker.join();
    EXPECT_EQ(order, "abcA");
    EXPECT_EQ(answer, 42);
    // On its own thread a call runs at once.
    EXPECT_EQ(ThreadMailbox::Main().Call([] { return 7; }), 7);
}

// Array locks taken from several threads at once.
#include "platform/oleauto.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(SafeArrayThreads, LockCountSurvivesConcurrentReaders) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_I4, 0, 4);
    ASSERT_NE(sa, nullptr);
    void* expected = nullptr;
    ASSERT_EQ(SafeArrayAccessData(sa, &expected), S_OK);
    ASSERT_EQ(SafeArrayUnaccessData(sa), S_OK);
    std::atomic<int> failures{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([sa, expected, &failures] {
            for (int i = 0; i < 20000; ++i) {
                void* data = nullptr;
                // Every access must succeed and see the same data; a lost or doubled lock count would
                // show as a failed access, a failed unaccess or a count left over below.
                if (SafeArrayAccessData(sa, &data) != S_OK || data != expected) {
                    ++failures;
                    continue;
                }
                if (SafeArrayUnaccessData(sa) != S_OK)
                    ++failures;
            }
        });
    }
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(sa->cLocks, 0u);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
}

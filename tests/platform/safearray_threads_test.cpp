// Array locks taken from several threads at once.
#include "platform/oleauto.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(SafeArrayThreads, LockCountSurvivesConcurrentReaders) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_I4, 0, 4);
    ASSERT_NE(sa, nullptr);
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([sa] {
            for (int i = 0; i < 20000; ++i) {
                void* data = nullptr;
                if (SUCCEEDED(SafeArrayAccessData(sa, &data)))
                    SafeArrayUnaccessData(sa);
            }
        });
    }
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(sa->cLocks, 0u);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
}

#include "platform/thread_name.hpp"

#include <gtest/gtest.h>

#include <pthread.h>

#include <string>
#include <thread>

namespace {

std::string NameOf(pthread_t thread) {
    char name[64] = {};
    return pthread_getname_np(thread, name, sizeof name) == 0 ? name : "?";
}

TEST(ThreadName, TheThreadCarriesItsNameAndALongNameIsShortenedNotRefused) {
    std::string named, shortened;
    std::thread([&] {
        qz::NameThisThread("tagsink-record");
        named = NameOf(pthread_self());
        qz::NameThisThread("tagsink-a-name-far-too-long");
        shortened = NameOf(pthread_self());
    }).join();
    EXPECT_EQ(named, "tagsink-record");
    EXPECT_EQ(shortened, "tagsink-a-name-") << "the first 15 characters";
}

} // namespace

// A small recording process for the crash tests: queues "Insert Into TABLE (n) values(i)" for i = FIRST,
// FIRST+1, ... at a steady rate and runs the record thread with "sql.dat" in DIR, until it is killed or
// gets SIGTERM (then it stops like the program does).
//
//     crash_driver CONNECTION DIR TABLE FIRST PER_SECOND [single]
//
// DIR/taken always holds the first number the record thread has not taken yet, so a test knows which
// statements were past PendingList when the process was killed. Exit status: 0 after a clean stop, 3 when
// statements were lost.
#include "engine/db/odbc_connection.hpp"
#include "engine/runtime/record_lock.hpp"
#include "engine/runtime/record_thread.hpp"
#include "model/server.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void OnTerm(int) {
    stopRequested.store(true);
}

// Log lines go to standard error when TAGSINK_CRASH_LOG is set (for looking into a failed test).
class Reporter final : public tagsink::EngineReporter {
public:
    void WriteLog(std::string_view, std::string_view operation, std::string_view text) noexcept override {
        if (verbose_)
            std::fprintf(stderr, "%.*s--%.*s\n", static_cast<int>(operation.size()), operation.data(),
                         static_cast<int>(text.size()), text.data());
    }
    void SetOpcLinkText(std::string_view) noexcept override {}
    void SetDbLinkText(std::string_view) noexcept override {}

private:
    bool verbose_ = std::getenv("TAGSINK_CRASH_LOG") != nullptr;
};

void WriteTaken(int fd, long long taken) {
    char text[32];
    int length = std::snprintf(text, sizeof text, "%020lld\n", taken);
    [[maybe_unused]] ssize_t ignored = pwrite(fd, text, static_cast<size_t>(length), 0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: crash_driver CONNECTION DIR TABLE FIRST PER_SECOND [single]\n");
        return 1;
    }
    const std::string connection = argv[1];
    const std::string table = argv[3];
    const long long first = std::atoll(argv[4]);
    const long long per_second = std::max(1LL, std::atoll(argv[5]));
    const bool single = argc > 6 && std::string(argv[6]) == "single";
    if (chdir(argv[2]) != 0) {
        std::perror("crash_driver: chdir");
        return 1;
    }
    std::signal(SIGTERM, OnTerm);
    int taken_fd = open("taken", O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    using namespace tagsink;
    TServer server(std::make_unique<db::OdbcConnection>(db::OdbcOptions{std::chrono::seconds(3)}));
    server.SetDBString(connection);
    Reporter reporter;
    RecorderStats stats;
    RecorderOptions options;
    options.single_statements = single;
    options.longest_reconnect_delay = std::chrono::milliseconds(200);
    options.first_retry_delay = std::chrono::milliseconds(100);
    options.longest_retry_delay = std::chrono::milliseconds(400);
    options.command_timeout = std::chrono::seconds(2);
    long long next = first;
    {
        TRecordThread thread(server, SystemClock::Instance(), reporter, stats, options);
        const auto start = std::chrono::steady_clock::now();
        while (!stopRequested.load()) {
            const auto elapsed = std::chrono::steady_clock::now() - start;
            const long long due =
                first +
                per_second * std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() / 1000000;
            long long pending = 0;
            {
                std::lock_guard lock(RecordLock());
                for (; next <= due; ++next)
                    server.PendingList.push_back("Insert Into " + table + " (n) values(" +
                                                 std::to_string(next) + ")");
                pending = static_cast<long long>(server.PendingList.size());
            }
            WriteTaken(taken_fd, next - pending);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        thread.RequestStop();
        thread.Join();
    }
    WriteTaken(taken_fd, next);
    close(taken_fd);
    return stats.lost.load() > 0 ? 3 : 0;
}

// recorder-outcome KEPT_JOURNAL JOURNAL DATABASE TABLE LOG
// Checks the replay of a kept statement journal (see outcome.hpp); prints what it found and exits 1 with
// one line per fault.
#include "outcome.hpp"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: recorder-outcome KEPT_JOURNAL JOURNAL DATABASE TABLE LOG\n");
        return 2;
    }
    using namespace tagsink::testing;
    try {
        const auto queued = QueuedFromLog(argv[5]);
        if (!queued) {
            std::fprintf(stderr, "recorder-outcome: %s holds no progress line (\"queued N ...\")\n", argv[5]);
            return 1;
        }
        const ReplayOutcome outcome = CheckReplay({argv[1], argv[2], argv[3], argv[4], *queued});
        std::printf(
            "replay: %zu kept statements, %zu queued by the replaying run, %zu rows, %zu left in sql.dat\n",
            outcome.kept, *queued, outcome.rows, outcome.left);
        for (const auto& fault : outcome.faults)
            std::fprintf(stderr, "recorder-outcome: %s\n", fault.c_str());
        return outcome.faults.empty() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "recorder-outcome: %s\n", error.what());
        return 1;
    }
}

// One tagsink-run process recording the sample project, for the tests that run the recorder as a
// program: a folder of its own with the project ("sample.DAT"), its SQLite tables ("sample.db") and the
// simulated servers' control file ("control", TAGCLIENT_SIM_CONTROL, docs/simulated-servers.md); the
// recorder's standard error goes to "stderr.txt" there.
//
// The test target defines TAGSINK_RUN_PATH, TAGSINK_MAKE_SAMPLE_PATH and TAGSINK_SAMPLE_SQL.
#pragma once

#include "test_db.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tagsink::testing {

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

/// How often `what` occurs in `text` (not overlapping).
inline std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

class Recorder {
public:
    Recorder() {
        const std::string make =
            std::string(TAGSINK_MAKE_SAMPLE_PATH) + " '" + (dir_ / "sample.DAT").string() + "'";
        EXPECT_EQ(std::system(make.c_str()), 0) << make;
        std::vector<std::string> statements;
        std::string current;
        std::istringstream lines(ReadWholeFile(TAGSINK_SAMPLE_SQL));
        for (std::string line; std::getline(lines, line);) {
            if (auto comment = line.find("--"); comment != std::string::npos)
                line.erase(comment);
            current += line + "\n";
            if (line.find(';') != std::string::npos) {
                statements.push_back(current.substr(0, current.rfind(';')));
                current.clear();
            }
        }
        db::testing::Exec(Connection(), statements);
        SetServers("up");
    }
    ~Recorder() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    /// The sample project's SQLite database, as the test reads it.
    std::string Connection() const {
        return db::testing::SqliteConnectionString(dir_ / "sample.db") + "JournalMode=WAL;";
    }

    /// What the simulated servers do, as written by an outside process (sim_control.hpp).
    void SetServers(const std::string& text) {
        const std::filesystem::path next = dir_ / "control.new";
        {
            std::ofstream out(next, std::ios::binary | std::ios::trunc);
            out << text << "\n";
        }
        std::filesystem::rename(next, dir_ / "control");
    }

    /// Starts "tagsink-run sample.DAT --log --seconds SECONDS EXTRA..." in the folder.
    void Start(int seconds, const std::vector<std::string>& extra = {}) {
        std::filesystem::remove(dir_ / "stderr.txt"); // no log of an earlier run is read as this one's
        pid_ = ::fork();
        ASSERT_GE(pid_, 0);
        if (pid_ == 0) {
            if (::chdir(dir_.path().c_str()) != 0)
                ::_exit(100);
            ::setenv("TAGCLIENT_SIM_CONTROL", (dir_ / "control").c_str(), 1);
            int err = ::open((dir_ / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err < 0)
                ::_exit(101);
            ::dup2(err, STDERR_FILENO);
            const std::string limit = std::to_string(seconds);
            std::vector<const char*> argv = {"tagsink-run", "sample.DAT", "--log", "--seconds",
                                             limit.c_str()};
            for (const auto& arg : extra)
                argv.push_back(arg.c_str());
            argv.push_back(nullptr);
            ::execv(TAGSINK_RUN_PATH, const_cast<char* const*>(argv.data()));
            ::_exit(102);
        }
    }

    /// Ends the recorder as an operator would (SIGTERM: a clean stop) and returns its exit status.
    int Finish() {
        if (pid_ > 0)
            ::kill(pid_, SIGTERM);
        return Wait();
    }

    /// The exit status of a recorder that ends by itself (-1 after a signal, or when none runs).
    int Wait() {
        if (pid_ <= 0)
            return -1;
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Log() const { return ReadWholeFile(dir_ / "stderr.txt"); }
    const std::filesystem::path& Dir() const { return dir_.path(); }

    /// The number after `label` in the last progress line of the log; -1 when there is none.
    long long LastProgress(const std::string& label) const {
        const std::string log = Log();
        const std::size_t line = log.rfind("queued ");
        if (line == std::string::npos)
            return -1;
        const std::size_t at = log.find("  " + label + " ", line);
        if (at == std::string::npos)
            return -1;
        return std::stoll(log.substr(at + label.size() + 3));
    }

    /// Rows in the sample's Readings table.
    std::size_t Rows() const {
        auto rows = db::testing::Query(Connection(), "select count(*) from Readings");
        return rows.empty() ? 0 : std::stoul(rows[0][0]);
    }

    /// Polls `predicate` every 100 ms until it holds (true) or `limit` has passed (false).
    template <class Predicate> bool WaitFor(Predicate predicate, std::chrono::seconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!predicate()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return true;
    }

    /// How often the recorder's log says it connected to the OPC server.
    std::size_t Connections() const { return CountOf(Log(), "--Run--OPCServer.Connected=true"); }

private:
    db::testing::TempDir dir_;
    pid_t pid_ = 0;
};

} // namespace tagsink::testing

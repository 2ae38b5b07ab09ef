// tagsink-run --http against a real recorder over real HTTP on loopback: the simulated OPC server recorded
// into SQLite (or a PostgreSQL server of the test's own that is stopped and started again), asked as a
// monitoring system, a browser and a hostile client would.
//
// Ports: TAGSINK_HTTP_TEST_PORT (the first of ten) when set, else free ones.
#include "model/server.hpp"
#include "prometheus_text.hpp"
#include "recorder_process.hpp"
#include "scripted_server.hpp"
#include "test_db.hpp"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using tagsink::testing::Recorder;
using tagsink::testing::WaitFor;

int TestPort(int n) {
    if (const char* base = std::getenv("TAGSINK_HTTP_TEST_PORT"))
        return std::atoi(base) + n;
    return tagsink::testing::FreePort();
}

httplib::Client Client(int port) {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(2, 0);
    client.set_read_timeout(5, 0);
    return client;
}

// Waits until the endpoint answers /health at all.
bool Answers(int port) {
    return WaitFor(
        [&] {
            auto client = Client(port);
            return static_cast<bool>(client.Get("/health"));
        },
        20s);
}

tagsink::testing::PrometheusText Metrics(int port, const httplib::Headers& headers = {}) {
    auto client = Client(port);
    auto res = client.Get("/metrics", headers);
    if (!res || res->status != 200)
        throw std::runtime_error("/metrics did not answer 200");
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    return tagsink::testing::PrometheusText::Parse(res->body);
}

// Sends raw bytes and returns the status code of the answer (0: none).
int RawStatus(int port, const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return 0;
    }
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break; // the server may close early on an oversized request
        sent += static_cast<std::size_t>(n);
    }
    char buffer[256] = {};
    const ssize_t got = ::recv(fd, buffer, sizeof buffer - 1, 0);
    ::close(fd);
    if (got < 12 || std::string(buffer, 9) != "HTTP/1.1 ")
        return 0;
    return std::atoi(buffer + 9);
}

TEST(TagsinkRunHttp, MetricsGrowWhileRecordingAndParseAsPrometheusText) {
    Recorder r;
    const int port = TestPort(0);
    r.Start(120, {"--http", "127.0.0.1:" + std::to_string(port)});
    ASSERT_TRUE(Answers(port)) << r.Log();
    ASSERT_TRUE(WaitFor([&] { return Metrics(port).Value("tagsink_statements_executed_total") >= 2; }, 20s))
        << r.Log();
    const auto first = Metrics(port);
    ASSERT_TRUE(WaitFor(
        [&] {
            return Metrics(port).Value("tagsink_statements_executed_total") >=
                   first.Value("tagsink_statements_executed_total") + 3;
        },
        20s));
    const auto later = Metrics(port);
    EXPECT_GT(later.Value("tagsink_statements_queued_total"), first.Value("tagsink_statements_queued_total"));
    EXPECT_GT(later.Value("tagsink_group_records_total{group=\"Snapshot\"}"),
              first.Value("tagsink_group_records_total{group=\"Snapshot\"}"));
    EXPECT_EQ(later.Value("tagsink_link_up{link=\"opc\"}"), 1);
    EXPECT_EQ(later.Value("tagsink_link_up{link=\"db\"}"), 1);
    EXPECT_EQ(later.types.at("tagsink_statements_executed_total"), "counter");
    EXPECT_TRUE(later.samples.count(
        "tagsink_item_bad_quality_updates_total{group=\"Changes\",item=\"Manager.Changes.Random\"}"));
    EXPECT_EQ(r.Finish(), 0) << r.Log();
    EXPECT_NE(r.Log().find("serving status at http://127.0.0.1:" + std::to_string(port) + "/"),
              std::string::npos);
}

TEST(TagsinkRunHttp, ItemsShowTheSimulatedValuesChanging) {
    Recorder r;
    const int port = TestPort(1);
    r.Start(120, {"--http", "127.0.0.1:" + std::to_string(port)});
    ASSERT_TRUE(Answers(port)) << r.Log();
    std::string problem;
    auto sine = [&] {
        auto client = Client(port);
        auto res = client.Get("/api/items");
        if (!res || res->status != 200) {
            problem = "no answer: " +
                      (res ? std::to_string(res->status) + " " + res->body : httplib::to_string(res.error()));
            return std::string();
        }
        const auto body = nlohmann::json::parse(res->body);
        for (const auto& item : body.at("items"))
            if (item.at("item_id").get<std::string>() == "Sine.Real8")
                return item.at("value").get<std::string>() + "@" + item.at("changed").get<std::string>();
        problem = "no Sine.Real8 in " + res->body.substr(0, 300);
        return std::string();
    };
    std::string first;
    ASSERT_TRUE(WaitFor([&] { return !(first = sine()).empty() && first[0] != '@'; }, 20s))
        << "Sine: " << first << " " << problem << "\n"
        << r.Log();
    ASSERT_TRUE(WaitFor([&] { return sine() != first; }, 10s)) << "the value stays " << first;

    auto client = Client(port);
    auto res = client.Get("/api/items?group=Changes");
    ASSERT_TRUE(res);
    const auto items = nlohmann::json::parse(res->body).at("items");
    ASSERT_EQ(items.size(), 2u);
    for (const auto& item : items) {
        EXPECT_EQ(item.at("group").get<std::string>(), "Changes");
        EXPECT_EQ(item.at("quality"), 192);
        EXPECT_EQ(item.at("quality_text").get<std::string>(), "Good");
        const std::string stamp = item.at("time_stamp");
        EXPECT_EQ(stamp.size(), 24u) << stamp; // 2026-12-10T06:09:27.718Z
        EXPECT_EQ(stamp.back(), 'Z');
    }
    res = client.Get("/");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("id=\"db-link\""), std::string::npos);
    EXPECT_EQ(r.Finish(), 0) << r.Log();
}

TEST(TagsinkRunHttp, ANonLoopbackAddressNeedsATokenAndEveryRequestCarriesIt) {
    Recorder r;
    const int port = TestPort(2);
    r.Start(120, {"--http", "0.0.0.0:" + std::to_string(port)});
    EXPECT_EQ(r.Wait(), 2) << r.Log();
    EXPECT_NE(r.Log().find("not a loopback address; give --http-token-file"), std::string::npos) << r.Log();

    const std::string token = "a-token-of-thirty-two-characters";
    std::ofstream(r.Dir() / "token.txt") << token << "\n";
    r.Start(120, {"--http", "0.0.0.0:" + std::to_string(port), "--http-token-file", "token.txt"});
    ASSERT_TRUE(Answers(port)) << r.Log();
    auto client = Client(port);
    for (const char* path : {"/health", "/metrics", "/api/status", "/api/items", "/api/events"}) {
        auto res = client.Get(path);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 401) << path;
        EXPECT_EQ(res->get_header_value("WWW-Authenticate"), "Bearer realm=\"tagsink-run\"");
        res = client.Get(path, {{"Authorization", "Bearer " + token.substr(0, 31) + "X"}});
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 401) << path << " with a wrong token";
    }
    ASSERT_TRUE(WaitFor(
        [&] {
            auto res = client.Get("/health", {{"Authorization", "Bearer " + token}});
            return res && res->status == 200;
        },
        20s));
    EXPECT_GE(Metrics(port, {{"Authorization", "Bearer " + token}}).Value("tagsink_statements_queued_total"),
              0);
    auto page = client.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200) << "the page holds no data and asks for the token itself";
    EXPECT_EQ(r.Finish(), 0) << r.Log();
}

TEST(TagsinkRunHttp, BadAndOversizedRequestsGet4xxWhileRecordingGoesOn) {
    Recorder r;
    const int port = TestPort(3);
    r.Start(120, {"--http", "127.0.0.1:" + std::to_string(port)});
    ASSERT_TRUE(Answers(port)) << r.Log();
    ASSERT_TRUE(WaitFor([&] { return Metrics(port).Value("tagsink_statements_executed_total") >= 1; }, 20s));

    // Clients that connect and say nothing, or half a request, hold no recorder thread.
    std::vector<int> idle;
    for (int i = 0; i < 6; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        if (i % 2 == 0)
            ::send(fd, "GET /metrics HTTP/1.1\r\nHost: x\r\n", 32, MSG_NOSIGNAL);
        idle.push_back(fd);
    }
    const double before = Metrics(port).Value("tagsink_statements_executed_total");

    EXPECT_EQ(RawStatus(port, "GARBAGE\r\n\r\n"), 400);
    EXPECT_EQ(RawStatus(port, "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n"), 414);
    std::string many = "GET /health HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 100; ++i)
        many += "X-Filler-" + std::to_string(i) + ": y\r\n";
    EXPECT_EQ(RawStatus(port, many + "\r\n"), 431);
    std::string big = "GET /health HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 4; ++i)
        big += "X-Big-" + std::to_string(i) + ": " + std::string(6000, 'b') + "\r\n";
    EXPECT_EQ(RawStatus(port, big + "\r\n"), 431);
    EXPECT_EQ(
        RawStatus(port, "GET /health HTTP/1.1\r\nHost: x\r\nX-Long: " + std::string(10000, 'c') + "\r\n\r\n"),
        400);
    EXPECT_EQ(RawStatus(port, "POST /api/items HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\n{}"), 405);
    EXPECT_EQ(RawStatus(port, "DELETE /api/items HTTP/1.1\r\nHost: x\r\n\r\n"), 405);
    // A body is never read: a read-only endpoint refuses the methods that carry one before reading it.
    EXPECT_EQ(RawStatus(port, "PUT /api/items HTTP/1.1\r\nHost: x\r\nContent-Length: 10000000\r\n\r\n" +
                                  std::string(100000, 'd')),
              405);
    EXPECT_EQ(RawStatus(port, "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n"), 404);

    EXPECT_TRUE(
        WaitFor([&] { return Metrics(port).Value("tagsink_statements_executed_total") >= before + 3; }, 20s))
        << "recording goes on";
    auto client = Client(port);
    auto health = client.Get("/health");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200) << health->body;
    for (int fd : idle)
        ::close(fd);
    EXPECT_EQ(r.Finish(), 0) << r.Log();
}

TEST(TagsinkRunHttp, ATakenPortIsAClearMessageAndExitStatus2) {
    Recorder r;
    const int port = TestPort(4);
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A connection of an earlier test still in TIME_WAIT on the port must not keep this test from taking
    // it (a listening socket still refuses the recorder's bind with SO_REUSEADDR).
    const int reuse = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
    ASSERT_EQ(::listen(fd, 1), 0);
    r.Start(120, {"--http", "127.0.0.1:" + std::to_string(port)});
    EXPECT_EQ(r.Wait(), 2) << r.Log();
    EXPECT_NE(r.Log().find("the HTTP endpoint cannot start: --http 127.0.0.1:" + std::to_string(port) +
                           ": cannot listen there"),
              std::string::npos)
        << r.Log();
    ::close(fd);
    r.Start(120, {"--http", "127.0.0.1:http"});
    EXPECT_EQ(r.Wait(), 2) << r.Log();
    EXPECT_NE(r.Log().find("the port must be a number"), std::string::npos) << r.Log();
}

TEST(TagsinkRunHttp, HealthIs503WhileThePostgresServerIsStoppedAnd200WhenItIsBack) {
    const char* script = std::getenv("TAGSINK_PG_SCRIPT");
    if (script == nullptr || tagsink::db::testing::PostgresConnectionString() == std::nullopt) {
        if (tagsink::db::testing::RunningInCi())
            FAIL() << "TAGSINK_PG_SCRIPT and TAGSINK_PG_CONN are needed in CI";
        GTEST_SKIP() << "no PostgreSQL set-up (TAGSINK_PG_CONN, TAGSINK_PG_SCRIPT)";
    }
    Recorder r;
    const int pg_port = TestPort(5);
    const std::string pg_dir = (r.Dir() / "pg").string();
    std::filesystem::permissions(r.Dir(), std::filesystem::perms::all);
    auto pg = [&](const std::string& command) {
        return std::system(("bash '" + std::string(script) + "' " + command + " '" + pg_dir + "' " +
                            std::to_string(pg_port) + " >/dev/null 2>&1")
                               .c_str());
    };
    ASSERT_EQ(pg("start"), 0);
    const std::string conn = "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(pg_port) +
                             ";Database=postgres;Uid=postgres;Pwd=;";
    tagsink::db::testing::Exec(
        conn, {"create table Readings (Id serial primary key, DT text, Sine real, Ramp integer, "
               "Word text, Flag text)",
               "create table Events (Id serial primary key, Tag text, DT text, Value real)"});
    // The sample project pointed at this server.
    {
        tagsink::TServer root;
        root.LoadFromFile(r.Dir() / "sample.DAT");
        root.SetDBString(conn);
        root.SaveToFile(r.Dir() / "sample.DAT");
    }

    const int port = TestPort(6);
    r.Start(120, {"--http", "127.0.0.1:" + std::to_string(port)});
    ASSERT_TRUE(Answers(port)) << r.Log();
    auto client = Client(port);
    auto status = [&] {
        auto res = client.Get("/health");
        return res ? res->status : 0;
    };
    ASSERT_TRUE(WaitFor([&] { return status() == 200; }, 20s)) << r.Log();

    pg("stop");
    ASSERT_TRUE(WaitFor([&] { return status() == 503; }, 30s)) << r.Log();
    auto res = client.Get("/health");
    ASSERT_TRUE(res);
    const auto body = nlohmann::json::parse(res->body);
    EXPECT_EQ(body.at("status").get<std::string>(), "failing");
    EXPECT_EQ(body.at("db").at("up"), false);
    EXPECT_EQ(body.at("opc").at("up"), true);
    EXPECT_NE(body.at("last_error").get<std::string>(), "");
    EXPECT_EQ(Metrics(port).Value("tagsink_link_up{link=\"db\"}"), 0);

    ASSERT_EQ(pg("start"), 0);
    EXPECT_TRUE(WaitFor([&] { return status() == 200; }, 30s)) << r.Log();
    EXPECT_EQ(Metrics(port).Value("tagsink_statements_lost_total"), 0);
    // Rows go on arriving once the server is back (the outage may have been shorter than one snapshot).
    const auto rows = [&] {
        return std::stoi(tagsink::db::testing::Query(conn, "select count(*) from Readings").at(0).at(0));
    };
    EXPECT_TRUE(WaitFor([&] { return rows() >= 2; }, 30s)) << r.Log();
    EXPECT_EQ(r.Finish(), 0) << r.Log();
    pg("stop");
}

} // namespace

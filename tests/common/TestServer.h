#pragma once
// The PostgreSQL/PostGIS server of the database tests: the one the test
// command started (DM_TEST_DB), else one started here the same way
// (scripts/db.sh in a temporary folder), stopped when the tests end.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace dm::test {

inline std::string shell(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[4096];
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int st = p ? ::pclose(p) : -1;
    if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

class TestServer : public ::testing::Environment {
public:
    static std::string& base() {  // the URL of its database "darvent"
        static std::string url;
        return url;
    }
    void SetUp() override {
        if (const char* u = std::getenv("DM_TEST_DB"); u && *u) {
            base() = u;
            return;
        }
        dir_ = std::filesystem::temp_directory_path() / ("dm_test_db_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        std::filesystem::permissions(dir_, std::filesystem::perms::all, std::filesystem::perm_options::replace);
        int st = 0;
        base() = shell("DM_DB_FAST=1 " SOURCE_DIR "/scripts/db.sh start " + dir_.string(), &st);
        while (!base().empty() && base().back() == '\n') base().pop_back();
        ASSERT_EQ(st, 0) << base();
    }
    void TearDown() override {
        if (dir_.empty()) return;
        shell(SOURCE_DIR "/scripts/db.sh stop " + dir_.string());
        std::filesystem::remove_all(dir_);
    }

private:
    std::filesystem::path dir_;
};

// The URL of database `db` on it (as `user` with `password` when given).
inline std::string dbUrl(const std::string& db, const std::string& user = {}, const std::string& password = {}) {
    std::string u = TestServer::base();
    u.replace(u.find("/darvent?"), 9, "/" + db + "?");
    if (!user.empty()) u.replace(u.find("user=postgres"), 13, "user=" + user + "&password=" + password);
    return u;
}

}  // namespace dm::test

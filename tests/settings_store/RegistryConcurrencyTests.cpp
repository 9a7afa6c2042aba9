#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "settings_store/RegistryStore.h"
#include "tests/support/TempFolder.h"

namespace tolvan {
namespace {

constexpr const char* kKey = "SYSTEM\\CurrentControlSet\\Services\\TolvanServer\\Settings";

// Runs writes in a child process; the child exits 0 when every write succeeded.
pid_t StartWriter(const std::string& path, const std::string& prefix, int count) {
    pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    RegistryStore store(path);
    bool ok = true;
    for (int i = 0; i < count || count < 0; ++i) {
        int n = count < 0 ? i % 50 : i;
        ok = store.RegWriteValue(kKey, prefix + std::to_string(n), REG_SZ, std::to_string(i)) && ok;
    }
    _exit(ok ? 0 : 1);
}

bool WaitExit(pid_t pid, int& status) {
    for (int i = 0; i < 6000; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return false;
}

TEST(RegistryConcurrencyTest, TwoProcessesWritingAtOnceLoseNothing) {
    TempFolder folder;
    std::string path = folder.File("registry.reg");
    constexpr int kWrites = 60;
    pid_t a = StartWriter(path, "A", kWrites);
    pid_t b = StartWriter(path, "B", kWrites);
    int statusA = 0;
    int statusB = 0;
    ASSERT_TRUE(WaitExit(a, statusA));
    ASSERT_TRUE(WaitExit(b, statusB));
    EXPECT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0);
    EXPECT_TRUE(WIFEXITED(statusB) && WEXITSTATUS(statusB) == 0);
    RegistryStore store(path);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(store.RegReadValue(kKey, "A" + std::to_string(i)), std::to_string(i));
        EXPECT_EQ(store.RegReadValue(kKey, "B" + std::to_string(i)), std::to_string(i));
    }
}

TEST(RegistryConcurrencyTest, WriterKilledMidWriteLeavesAWholeFile) {
    TempFolder folder;
    std::string path = folder.File("registry.reg");
    RegistryStore store(path, [](const std::string& text) { ADD_FAILURE() << text; });
    ASSERT_TRUE(store.RegWriteValue(kKey, "Keep", REG_SZ, "kept"));
    for (int round = 0; round < 15; ++round) {
        pid_t writer = StartWriter(path, "K", -1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + round * 3));
        kill(writer, SIGKILL);
        int status = 0;
        waitpid(writer, &status, 0);
        ASSERT_EQ(store.RegReadValue(kKey, "Keep"), "kept") << "round " << round;
    }
    // The lock dies with its holder, so a later write goes through.
    EXPECT_TRUE(store.RegWriteValue(kKey, "After", REG_SZ, "yes"));
    EXPECT_EQ(store.RegReadValue(kKey, "After"), "yes");
    // ... and clears what the killed writers left behind.
    int files = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
        ++files;
    }
    EXPECT_EQ(files, 2);  // the store and its lock file
}

}  // namespace
}  // namespace tolvan

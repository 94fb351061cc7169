// An in-place job killed outright (SIGKILL, no chance to clean up) at moments spread over a
// whole run of two 5,000-page files: afterwards the first file holds either its old bytes or
// the complete result, never nothing and never a part.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/JobFixtures.h"
#include "tests/support/RunProgram.h"

namespace {

constexpr int kKills = 20;
constexpr uint32_t kPages = 5000;

// Starts the program in folder with its output discarded; returns the child's id.
pid_t StartProgram(const std::string& folder, std::vector<std::string> words)
{
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int sink = open("/dev/null", O_WRONLY);
        if (chdir(folder.c_str()) == 0 && sink >= 0 && dup2(sink, 1) >= 0)
            execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

} // namespace

TEST(JobKill, FirstFileIsOldOrComplete)
{
    CScratchFolder folder;
    const std::string original = PagesPdf(kPages, "first");
    const std::string first = folder.WriteFile("a.pdf", original);
    folder.WriteFile("b.pdf", PagesPdf(kPages, "second"));

    // The complete result, and how long a whole run takes, to spread the kills over it.
    const auto start = std::chrono::steady_clock::now();
    const ProgramResult named = RunProgram(FOLIOBIND_EXE, {"a.pdf", "b.pdf", "-oresult.pdf", "-quiet"}, folder.path());
    const auto runTime = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(named.exitStatus, 0) << named.out;
    const std::string result = FileBytes(folder.path() + "/result.pdf");
    const int resultPages = QpdfPages(folder.path() + "/result.pdf");
    if (resultPages >= 0) {
        EXPECT_EQ(resultPages, static_cast<int>(2 * kPages));
    }

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    for (int round = 0; round < kKills; ++round) {
        folder.WriteFile("a.pdf", original);
        // One moment in each twentieth of the run (and a little past its end).
        const auto delay =
            std::chrono::duration_cast<std::chrono::microseconds>(runTime * 1.25 * (round + within(random)) / kKills);
        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us");
        const pid_t child = StartProgram(folder.path(), {FOLIOBIND_EXE, "a.pdf", "b.pdf", "-nobookmarks", "-quiet"});
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(delay);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);

        bool exists = false;
        const std::string bytes = FileBytes(first, &exists);
        ASSERT_TRUE(exists) << "the first file is missing";
        const bool isKept = bytes == original;
        ASSERT_TRUE(isKept || bytes == result) << "the first file holds " << bytes.size() << " other bytes";
        const int pages = QpdfPages(first);
        if (pages >= 0) {
            EXPECT_EQ(pages, static_cast<int>(isKept ? kPages : 2 * kPages));
        }
        for (const std::string& name : TemporaryFiles(folder.path()))
            std::remove((folder.path() + "/" + name).c_str()); // a killed run leaves its temporary output
    }
}

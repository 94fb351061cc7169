// Runs killed outright (SIGKILL, no chance to clean up) at moments spread over a whole run, runs
// stopped by SIGINT, SIGTERM or SIGHUP, and runs started together onto one file: afterwards
// every destination holds either its old bytes or a complete result, never nothing, never a
// part, and no run's pages are lost.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/Foliobind.h"
#include "pdf/Exception.h"
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

// Runs the program in folder and kills it outright (SIGKILL) at a moment within round's
// twentieth of runTime (and a little past the run's end); returns the moment, for the trace.
std::chrono::microseconds KillDuringRun(const std::string& folder, std::vector<std::string> words,
                                        std::chrono::steady_clock::duration runTime, int round, double within)
{
    const auto delay = std::chrono::duration_cast<std::chrono::microseconds>(runTime * 1.25 * (round + within) / kKills);
    const pid_t child = StartProgram(folder, std::move(words));
    if (child <= 0)
        return std::chrono::microseconds(-1);
    std::this_thread::sleep_for(delay);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    return delay;
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

    // A fixed seed: the same kill moments (relative to the run's length) on every run.
    std::mt19937 random(20);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    for (int round = 0; round < kKills; ++round) {
        folder.WriteFile("a.pdf", original);
        const auto delay = KillDuringRun(folder.path(), {FOLIOBIND_EXE, "a.pdf", "b.pdf", "-nobookmarks", "-quiet"},
                                         runTime, round, within(random));
        ASSERT_GE(delay.count(), 0);
        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us");

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

namespace {

// A PDF of `pages` pages, cached: the same bytes for every test that asks again.
const std::string& Pages(uint32_t pages, const std::string& label)
{
    static std::map<std::string, std::string> made;
    const std::string key = label + std::to_string(pages);
    if (made.count(key) == 0)
        made[key] = PagesPdf(pages, label);
    return made[key];
}

// Page count of a file as the program reads it; -1 when it is missing or no PDF.
int PageCount(const std::string& path)
{
    try {
        CAppendEngine counter;
        return static_cast<int>(counter.CountPages(path.c_str()));
    } catch (const CPdfException&) {
        return -1;
    }
}

// Files a run may leave behind: temporary files and lock files.
std::vector<std::string> Leftovers(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, 5, "temp_") == 0 || name.compare(0, 11, ".foliobind-") == 0)
            names.push_back(name);
    }
    return names;
}

std::vector<std::string> Words(const std::vector<std::string>& args)
{
    std::vector<std::string> words = {FOLIOBIND_EXE};
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

} // namespace

// Runs started together onto one destination take turns: every page arrives. A run that has
// to wait says so in one line on standard error.
TEST(JobKill, ConcurrentRunsKeepEveryPage)
{
    const std::regex waits("(foliobind: (list line [0-9]+: )?'a\\.pdf': waiting for another run to finish with it\n)*");
    const struct {
        const char* name;
        std::vector<std::vector<std::string>> runs;
        int expectedPages;
    } rows[] = {
        {"two in-place appends", {{"a.pdf", "b1.pdf", "-nobookmarks", "-quiet"}, {"a.pdf", "b2.pdf", "-g0", "-quiet"}},
            100 + 1000 + 2000},
        {"four in-place appends",
            {{"a.pdf", "b1.pdf", "-nobookmarks", "-quiet"}, {"a.pdf", "b2.pdf", "-nobookmarks", "-quiet"},
                {"a.pdf", "b3.pdf", "-nobookmarks", "-quiet"}, {"a.pdf", "b1.pdf", "-nobookmarks", "-quiet"}},
            100 + 1000 + 2000 + 3000 + 1000},
        {"a list beside an append", {{"list.txt", "-oa.pdf", "-g0", "-quiet"}, {"a.pdf", "b3.pdf", "-nobookmarks", "-quiet"}},
            100 + 1000 + 2000 + 1000 + 3000},
    };
    for (const auto& row : rows) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(std::string(row.name) + ", round " + std::to_string(round));
            CScratchFolder folder;
            folder.WriteFile("a.pdf", Pages(100, "a"));
            for (uint32_t k = 1; k <= 3; ++k)
                folder.WriteFile("b" + std::to_string(k) + ".pdf", Pages(1000 * k, "b"));
            folder.WriteFile("list.txt", "b1.pdf\nb2.pdf\nb1.pdf\n");
            std::vector<ProgramResult> results(row.runs.size());
            std::vector<std::thread> threads;
            for (size_t i = 0; i < row.runs.size(); ++i) {
                threads.emplace_back([&results, &row, &folder, i] {
                    results[i] = RunProgram(FOLIOBIND_EXE, row.runs[i], folder.path());
                });
            }
            for (std::thread& thread : threads)
                thread.join();
            for (const ProgramResult& result : results) {
                EXPECT_EQ(result.exitStatus, 0) << result.out;
                EXPECT_TRUE(std::regex_match(result.err, waits)) << result.err;
            }
            EXPECT_EQ(PageCount(folder.path() + "/a.pdf"), row.expectedPages);
            EXPECT_EQ(Leftovers(folder.path()), std::vector<std::string>{});
        }
    }
}

// SIGINT, SIGTERM and SIGHUP in the middle of an in-place run remove its temporary file and
// lock and end it with 128 + the signal; the first file is as it was. A closed standard output
// (SIGPIPE) does not stop a run at all.
TEST(JobKill, SignalsLeaveNothingBehind)
{
    CScratchFolder folder;
    const std::string original = Pages(5000, "first");
    folder.WriteFile("b.pdf", Pages(5000, "second"));
    folder.WriteFile("a.pdf", original);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunProgram(FOLIOBIND_EXE, {"a.pdf", "b.pdf", "-oref.pdf", "-quiet"}, folder.path()).exitStatus, 0);
    const auto runTime = std::chrono::steady_clock::now() - start;
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        // On a busy machine the signal may come before the handler is set up or after the run
        // has ended; the delay moves until one signal lands during the run.
        auto delay = runTime / 2;
        bool isCaught = false;
        for (int attempt = 0; attempt < 8 && !isCaught; ++attempt) {
            folder.WriteFile("a.pdf", original);
            const pid_t child = StartProgram(folder.path(), Words({"a.pdf", "b.pdf", "-nobookmarks", "-quiet"}));
            ASSERT_GT(child, 0);
            std::this_thread::sleep_for(delay);
            kill(child, signalNumber);
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_EQ(Leftovers(folder.path()), std::vector<std::string>{});
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
                delay /= 2; // the run was over
                continue;
            }
            EXPECT_TRUE(FileBytes(folder.path() + "/a.pdf") == original);
            isCaught = WIFEXITED(status) && WEXITSTATUS(status) == 128 + signalNumber;
            if (!isCaught) {
                EXPECT_TRUE(WIFSIGNALED(status)) << status; // ended before its handler was set
                delay *= 2;
            }
        }
        EXPECT_TRUE(isCaught);
    }

    // "foliobind list.txt -oall.pdf -g0 | head -1": the reader is gone before the first line.
    folder.WriteFile("list.txt", "a.pdf\nb.pdf\na.pdf\n");
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    std::vector<std::string> words = Words({"list.txt", "-oall.pdf", "-g0"});
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.path().c_str()) == 0 && dup2(pipeEnds[1], 1) >= 0)
            execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(PageCount(folder.path() + "/all.pdf"), 15000);
    EXPECT_EQ(Leftovers(folder.path()), std::vector<std::string>{});
}

// SIGKILL at 20 moments of a named-output job, a column-mode list and a plain list, each onto
// outputs that exist in the folder "d": every output is as it was or complete (for the plain
// list: complete after some number of its lines). A temporary file a kill leaves lies in "d",
// is private to its user and is named temp_<unique>.tmp; the current folder stays clean.
TEST(JobKill, OutputsAreOldOrComplete)
{
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> outputs;               // under the folder
        std::vector<std::vector<std::string>> refArgs;  // runs whose results are the complete states
        unsigned seed;                                  // of the kill moments within each twentieth
    } rows[] = {
        {"named output", {"a.pdf", "b.pdf", "-od/out.pdf", "-quiet"}, {"d/out.pdf"},
            {{"a.pdf", "b.pdf", "-od/out.pdf", "-quiet"}}, 1},
        {"column-mode list", {"list.csv", "-listdelim", ",", "-listusecol", "0,1,2", "-listout", "d", "-quiet"},
            {"d/x.pdf", "d/y.pdf"}, {{"list.csv", "-listdelim", ",", "-listusecol", "0,1,2", "-listout", "d", "-quiet"}},
            2},
        {"plain list", {"list.txt", "-od/out.pdf", "-g0", "-quiet"}, {"d/out.pdf"},
            {{"one.txt", "-od/out.pdf", "-g0", "-quiet"}, {"two.txt", "-od/out.pdf", "-g0", "-quiet"},
                {"list.txt", "-od/out.pdf", "-g0", "-quiet"}}, 3},
    };
    const auto prepare = [](const CScratchFolder& folder) {
        folder.WriteFile("a.pdf", Pages(3000, "a"));
        folder.WriteFile("b.pdf", Pages(3000, "b"));
        folder.WriteFile("list.csv", "a,b,x\nb,a,y\n");
        folder.WriteFile("one.txt", "b.pdf\n");
        folder.WriteFile("two.txt", "b.pdf\na.pdf\n");
        folder.WriteFile("list.txt", "b.pdf\na.pdf\nb.pdf\n");
        mkdir((folder.path() + "/d").c_str(), 0755);
        for (const char* name : {"d/out.pdf", "d/x.pdf", "d/y.pdf"})
            folder.WriteFile(name, Pages(10, "old"));
    };
    std::uniform_real_distribution<double> within(0.0, 1.0);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::mt19937 random(row.seed); // fixed per row, so a failing row repeats its kill moments
        std::map<std::string, std::set<std::string>> states; // output, bytes it may hold
        std::chrono::steady_clock::duration runTime{};
        for (const auto& args : row.refArgs) {
            CScratchFolder reference;
            prepare(reference);
            for (const std::string& output : row.outputs)
                states[output].insert(FileBytes(reference.path() + "/" + output));
            const auto start = std::chrono::steady_clock::now();
            ASSERT_EQ(RunProgram(FOLIOBIND_EXE, args, reference.path()).exitStatus, 0);
            runTime = std::max(runTime, std::chrono::steady_clock::now() - start);
            for (const std::string& output : row.outputs)
                states[output].insert(FileBytes(reference.path() + "/" + output));
        }
        for (int round = 0; round < kKills; ++round) {
            CScratchFolder folder;
            prepare(folder);
            const auto delay = KillDuringRun(folder.path(), Words(row.args), runTime, round, within(random));
            ASSERT_GE(delay.count(), 0);
            SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us");
            for (const std::string& output : row.outputs)
                EXPECT_EQ(states[output].count(FileBytes(folder.path() + "/" + output)), 1u) << output;
            EXPECT_TRUE(TemporaryFiles(folder.path()).empty());
            for (const std::string& name : TemporaryFiles(folder.path() + "/d")) {
                struct stat info {};
                ASSERT_EQ(stat((folder.path() + "/d/" + name).c_str(), &info), 0);
                EXPECT_TRUE(OutputMatches(name, "{temp}")) << name;
                // Private, unless killed in the moment between taking the destination's mode
                // and the rename, when it is complete.
                const std::string bytes = FileBytes(folder.path() + "/d/" + name);
                const bool isComplete = std::any_of(states.begin(), states.end(),
                    [&bytes](const auto& output) { return output.second.count(bytes) > 0; });
                EXPECT_TRUE((info.st_mode & 0777) == 0600 || isComplete) << name;
            }
        }
    }
}

// SIGKILL at 20 moments of an 800-line plain list, whose output the list keeps and writes only
// now and then: every time the output is missing or exactly what the list's first k lines make,
// for some k.
TEST(JobKill, LongPlainListKeepsWholeLines)
{
    constexpr uint32_t kLines = 800;
    const auto prepare = [](const CScratchFolder& folder, uint32_t lines) {
        for (uint32_t pages = 1; pages <= 3; ++pages)
            folder.WriteFile("p" + std::to_string(pages) + ".pdf", PagesPdf(pages, "file" + std::to_string(pages)));
        std::string list;
        for (uint32_t line = 0; line < lines; ++line)
            list += "p" + std::to_string(1 + line % 3) + ".pdf\n";
        folder.WriteFile("list.txt", list);
    };
    // Pages of the first k lines, one to three a line: each count names one k.
    auto linesOf = [](int pages) {
        for (uint32_t k = 1, total = 0; k <= kLines; ++k) {
            total += 1 + (k - 1) % 3;
            if (static_cast<int>(total) == pages)
                return k;
        }
        return 0u;
    };
    CScratchFolder reference;
    prepare(reference, kLines);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunProgram(FOLIOBIND_EXE, {"list.txt", "-oout.pdf"}, reference.path()).exitStatus, 0);
    const auto runTime = std::chrono::steady_clock::now() - start;
    std::mt19937 random(4);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    for (int round = 0; round < kKills; ++round) {
        CScratchFolder folder;
        prepare(folder, kLines);
        const auto delay =
            KillDuringRun(folder.path(), {FOLIOBIND_EXE, "list.txt", "-oout.pdf"}, runTime, round, within(random));
        ASSERT_GE(delay.count(), 0);
        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us");
        bool exists = false;
        const std::string bytes = FileBytes(folder.path() + "/out.pdf", &exists);
        if (!exists)
            continue; // killed before the first line made the output
        const uint32_t lines = linesOf(QpdfPages(folder.path() + "/out.pdf"));
        ASSERT_GT(lines, 0u);
        CScratchFolder prefix;
        prepare(prefix, lines);
        ASSERT_EQ(RunProgram(FOLIOBIND_EXE, {"list.txt", "-oout.pdf"}, prefix.path()).exitStatus, 0);
        EXPECT_EQ(bytes, FileBytes(prefix.path() + "/out.pdf")) << lines << " lines";
    }
}

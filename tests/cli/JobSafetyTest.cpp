// No input is ever lost or damaged: in-place jobs whose output cannot be written, cannot be
// renamed or cannot be created, run in this process with failures injected through the
// platform layer or through the program as an ordinary user. The first file stays
// byte-identical and no temporary file is left behind.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/Foliobind.h"
#include "cli/Globals.h"
#include "platform/Replace.h"
#include "platform/Safety.h"
#include "platform/Write.h"
#include "tests/cli/JobFixtures.h"
#include "tests/support/PdfBuilder.h"
#include "tests/support/RunProgram.h"

namespace {

// What one job run in this process printed, returned and raised.
struct JobRun {
    bool result = false;
    std::string out;
    std::string failure; // the CPdfException message, "" when none was raised
};

// An in-place job (no output argument) on file1 and file2 with "-quiet", as main would run it.
JobRun RunInPlaceJob(const std::string& file1, const std::string& file2)
{
    std::vector<std::string> words = {"foliobind", file1, file2, "-nobookmarks", "-quiet"};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    JobRun run;
    testing::internal::CaptureStdout();
    try {
        CFoliobind job;
        run.result = job.Append(file1.c_str(), file2.c_str(), nullptr, static_cast<int>(argv.size()), argv.data());
    } catch (const CPdfException& failure) {
        run.failure = failure.what();
    }
    run.out = testing::internal::GetCapturedStdout();
    return run;
}

// Two files a.pdf and b.pdf in a scratch folder, with the "-temp" folder "t" inside it; the
// injected failures and "-temp" are cleared when it goes.
struct CJobFolder {
    CScratchFolder folder;
    std::string file1;
    std::string file2;
    std::string tempFolder;
    std::string original;

    CJobFolder(const std::string& bytes1, const std::string& bytes2)
        : file1(folder.WriteFile("a.pdf", bytes1)), file2(folder.WriteFile("b.pdf", bytes2)),
          tempFolder(folder.path() + "/t"), original(bytes1)
    {
        mkdir(tempFolder.c_str(), 0755);
        g_tempPath = tempFolder;
    }
    ~CJobFolder()
    {
        g_tempPath.clear();
        PlatformClearWriteFailure();
        PlatformSetReplaceFailure(0);
    }
    CJobFolder(const CJobFolder&) = delete;
    CJobFolder& operator=(const CJobFolder&) = delete;

    void ExpectFirstFileKept() const
    {
        bool exists = false;
        EXPECT_TRUE(FileBytes(file1, &exists) == original) << "the first file changed";
        EXPECT_TRUE(exists);
        EXPECT_TRUE(TemporaryFiles(folder.path()).empty()) << "a temporary file was left";
        EXPECT_TRUE(TemporaryFiles(tempFolder).empty()) << "a temporary file was left in -temp";
    }
};

// Two files large enough that the output is written in more than one block.
const std::string& BigFirst()
{
    static const std::string bytes = PagesPdf(3000, "first");
    return bytes;
}

const std::string& BigSecond()
{
    static const std::string bytes = PagesPdf(3000, "second");
    return bytes;
}

// Their in-place result.
const std::string& BigResult()
{
    static const std::string bytes = [] {
        CJobFolder files(BigFirst(), BigSecond());
        RunInPlaceJob(files.file1, files.file2);
        return FileBytes(files.file1);
    }();
    return bytes;
}

} // namespace

// Failures injected into an in-place job: the output fails part-way through, as on a full disk
// (large files), or the rename that puts the result in place fails with its errno text (small
// files). The first file is untouched and the temporary output removed. A write limit at the
// output's size is not reached and changes nothing.
// A helper thread starts with every signal blocked, so that the cleanup handler runs on the main
// thread, which keeps it out while it changes what it removes; the main thread's mask stays.
TEST(JobSafety, HelperThreadsLeaveSignalsToTheMainThread)
{
    sigset_t before;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &before), 0);
    std::vector<int> blocked;
    std::thread helper = PlatformStartHelperThread([&blocked] {
        sigset_t mask;
        pthread_sigmask(SIG_BLOCK, nullptr, &mask);
        for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP})
            blocked.push_back(sigismember(&mask, signalNumber));
    });
    helper.join();
    EXPECT_EQ(blocked, (std::vector<int>{1, 1, 1}));
    sigset_t after;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &after), 0);
    EXPECT_EQ(sigismember(&after, SIGTERM), sigismember(&before, SIGTERM));
}

// Within late-release scopes (which nest) each replacement takes effect at once, and the replaced
// files held open for the releasing thread are all closed when the last scope ends.
TEST(JobSafety, ReplacedFilesLetGoLater)
{
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    CTestDir dir;
    const std::string target = dir.Write("out.pdf", "v0");
    const auto before = openDescriptors();
    {
        const CLateReleaseScope outer;
        {
            const CLateReleaseScope inner;
            for (const std::string version : {"v1", "v2", "v3", "v4"}) {
                ASSERT_EQ(PlatformReplace(dir.Write(version, version), target), 0);
                EXPECT_EQ(CTestDir::Read(target), version);
            }
        }
        ASSERT_EQ(PlatformReplace(dir.Write("v5", "v5"), target), 0);
        ASSERT_EQ(PlatformReplace(dir.Write("v6", "v6"), dir.PathOf("new.pdf")), 0); // replaces nothing
        EXPECT_EQ(CTestDir::Read(target), "v5");
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST(JobSafety, InjectedFailuresKeepFirstFile)
{
    const uint64_t size = BigResult().size();
    ASSERT_GT(size, uint64_t{1} << 20) << "the output should span more than one write";
    constexpr uint64_t kNoLimit = UINT64_MAX;
    const struct {
        uint64_t writeLimit; // bytes written before the disk is full
        int renameError;
        std::string renameText;
    } rows[] = {
        {0, 0, ""}, {5, 0, ""}, {4096, 0, ""}, {uint64_t{1} << 20, 0, ""}, {size / 2, 0, ""}, {size - 1, 0, ""},
        {size, 0, ""},
        {kNoLimit, EACCES, " - File or directory specified by newname already exists or could not be created "
            "(invalid path); or oldname is a directory and newname specifies a different path."},
        {kNoLimit, ENOENT, " - File or path specified by oldname not found."},
        {kNoLimit, EINVAL, " - Name contains invalid characters."},
        {kNoLimit, EBUSY, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE("write limit " + std::to_string(row.writeLimit) + ", rename error " +
            std::to_string(row.renameError));
        const bool isBig = row.writeLimit != kNoLimit;
        CJobFolder files(isBig ? BigFirst() : PagesPdf(2, "first"), isBig ? BigSecond() : PagesPdf(1, "second"));
        if (isBig)
            PlatformSetWriteFailureAfter(row.writeLimit);
        PlatformSetReplaceFailure(row.renameError);
        const JobRun run = RunInPlaceJob(files.file1, files.file2);
        const std::string temp = "'" + files.tempFolder + "/{temp}'";
        EXPECT_TRUE(OutputMatches(run.failure, row.writeLimit < size ? "File output error: " + temp + ", err no: 28"
            : "")) << run.failure;
        EXPECT_TRUE(OutputMatches(run.out, row.renameError == 0 ? "" : "Unable to rename file: " + temp + " to '" +
            files.file1 + "', code: -1" + row.renameText + "\nrename error: '" + files.file1 + "', " +
            std::to_string(row.renameError) + "\r\n")) << run.out;
        EXPECT_EQ(run.result, row.writeLimit == size);
        if (row.writeLimit == size) {
            EXPECT_TRUE(FileBytes(files.file1) == BigResult());
        } else {
            files.ExpectFirstFileKept();
        }
    }
}

// The copy that stands in for a missing first file fails part-way: no partial file appears
// under the first file's name.
TEST(JobSafety, CopyOfMissingFirstFileFailsWithoutLeavingAPart)
{
    CJobFolder files(PagesPdf(1, "first"), BigSecond());
    const std::string missing = files.folder.path() + "/m.pdf";
    PlatformSetWriteFailureAfter(100000);
    const JobRun run = RunInPlaceJob(missing, files.file2);
    EXPECT_FALSE(run.result);
    EXPECT_EQ(run.out, "File doesn't exist: '" + missing + "'\r\nError writing output file: '" + missing +
        "', err no: 28\n");
    bool exists = true;
    FileBytes(missing, &exists);
    EXPECT_FALSE(exists) << "a partial copy was left under the first file's name";
    files.ExpectFirstFileKept();
}

// The result takes the first file's place with the first file's permissions, and its owner
// and group where the process may set them (root appending onto a user's file).
TEST(JobSafety, FirstFileKeepsItsPermissions)
{
    const uid_t owner = geteuid() == 0 ? 65534 : geteuid();
    const gid_t group = geteuid() == 0 ? 65534 : getegid();
    for (const mode_t mode : {0600u, 0640u, 0664u, 0755u, 02755u}) {
        SCOPED_TRACE(mode);
        CJobFolder files(PagesPdf(1, "first"), PagesPdf(1, "second"));
        ASSERT_EQ(chown(files.file1.c_str(), owner, group), 0);
        chmod(files.file1.c_str(), mode);
        ASSERT_TRUE(RunInPlaceJob(files.file1, files.file2).result);
        struct stat status {};
        ASSERT_EQ(stat(files.file1.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, mode);
        EXPECT_EQ(status.st_uid, owner);
        EXPECT_EQ(status.st_gid, group);
        EXPECT_NE(FileBytes(files.file1), files.original);
    }
}

// Outputs that did not exist get the permissions a plain creation gives (not the private ones
// of the temporary file); outputs that existed keep theirs.
TEST(JobSafety, NewOutputsGetUmaskPermissions)
{
    const mode_t mask = umask(022);
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* output;
        mode_t before; // 0: no such file before
        mode_t after;
    } rows[] = {
        {"new named output", {"a.pdf", "b.pdf", "-oout.pdf", "-quiet"}, "out.pdf", 0, 0644},
        {"existing named output", {"a.pdf", "b.pdf", "-oout.pdf", "-quiet"}, "out.pdf", 0600, 0600},
        {"copy of a missing first file", {"new.pdf", "b.pdf", "-nobookmarks", "-quiet"}, "new.pdf", 0, 0644},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CJobFolder files(PagesPdf(1, "first"), PagesPdf(1, "second"));
        g_tempPath.clear();
        const std::string output = files.folder.path() + "/" + row.output;
        if (row.before != 0) {
            files.folder.WriteFile(row.output, PagesPdf(2, "old"));
            chmod(output.c_str(), row.before);
        }
        const ProgramResult result = RunProgram(FOLIOBIND_EXE, row.args, files.folder.path());
        EXPECT_EQ(result.exitStatus, 0) << result.out;
        struct stat status {};
        ASSERT_EQ(stat(output.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, row.after);
    }
    umask(mask);
}

// A "-temp" folder on another file system: the result is copied next to the first file and
// renamed there; the first file keeps its permissions; nothing is left in either folder. When
// that copy fails part-way (the run itself writes all its bytes) the first file is kept.
TEST(JobSafety, TemporaryFolderOnAnotherFileSystem)
{
    const std::string shm = "/dev/shm";
    struct stat status1 {};
    struct stat status2 {};
    CJobFolder files(PagesPdf(2, "first"), PagesPdf(3, "second"));
    if (stat(shm.c_str(), &status1) != 0 || stat(files.folder.path().c_str(), &status2) != 0 ||
        status1.st_dev == status2.st_dev)
        GTEST_SKIP() << "no second file system at " << shm;
    const std::string tempFolder = shm + "/foliobind-job-" + std::to_string(getpid());
    ASSERT_EQ(mkdir(tempFolder.c_str(), 0700), 0);
    chmod(files.file1.c_str(), 0640);

    const std::string reference = files.folder.path() + "/reference.pdf";
    const ProgramResult named = RunProgram(FOLIOBIND_EXE, {"a.pdf", "b.pdf", "-oreference.pdf", "-quiet"},
        files.folder.path());
    ASSERT_EQ(named.exitStatus, 0);
    const ProgramResult result = RunProgram(FOLIOBIND_EXE, {"a.pdf", "b.pdf", "-temp", tempFolder, "-quiet"},
        files.folder.path());
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_TRUE(FileBytes(files.file1) == FileBytes(reference));
    struct stat after {};
    ASSERT_EQ(stat(files.file1.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_TRUE(TemporaryFiles(tempFolder).empty());
    EXPECT_TRUE(TemporaryFiles(files.folder.path()).empty());

    files.folder.WriteFile("a.pdf", files.original);
    g_tempPath = tempFolder;
    PlatformSetWriteFailureAfter(FileBytes(reference).size() + 100);
    const JobRun run = RunInPlaceJob(files.file1, files.file2);
    EXPECT_FALSE(run.result);
    EXPECT_TRUE(OutputMatches(run.out, "Unable to rename file: '" + tempFolder + "/{temp}' to '" + files.file1 +
        "', code: -1\nrename error: '" + files.file1 + "', 28\r\n")) << run.out;
    files.ExpectFirstFileKept();
    EXPECT_TRUE(TemporaryFiles(tempFolder).empty());
    rmdir(tempFolder.c_str());
}

// Permissions the system enforces on an ordinary user (as root, the program runs as uid 65534):
// a job that cannot create its output, replace the first file or read it changes nothing. The
// scratch folder holds "ro" (read-only) and "w" (writable by anyone), each with a.pdf and b.pdf.
TEST(JobSafety, ReadOnlyFoldersAndFiles)
{
    const auto cannotRemove = [](const std::string& file) {
        return "Unable to remove file: '" + file + "', code: -1 - The path specifies a read-only file.\n";
    };
    const struct {
        const char* name;
        std::string workFolder; // under the scratch folder
        std::vector<std::string> args;
        const char* firstFile; // under the scratch folder
        mode_t firstMode;
        std::string expectedOut;
        int expectedStatus;
        bool isAppended = false;
    } rows[] = {
        {"read-only folder: no temporary output", "ro", {"a.pdf", "b.pdf", "-nobookmarks", "-quiet"},
            "ro/a.pdf", 0644, "File output error: '{temp}', err no: 13\r\n", -2},
        {"read-only -temp folder", "w", {"a.pdf", "b.pdf", "-temp", "../ro", "-quiet"}, "w/a.pdf", 0644,
            "File output error: '../ro/{temp}', err no: 13\r\n", -2},
        {"the first file's folder is read-only", ".", {"ro/a.pdf", "ro/b.pdf", "-temp", "w", "-quiet"}, "ro/a.pdf",
            0644, cannotRemove("ro/a.pdf"), 0},
        {"the first file belongs to another user and is not writable for this one", "w",
            {"a.pdf", "b.pdf", "-nobookmarks", "-quiet"}, "w/a.pdf", 0644, cannotRemove("a.pdf"), 0},
        {"the first file cannot be read", "w", {"a.pdf", "b.pdf", "-nobookmarks", "-quiet"}, "w/a.pdf", 0200,
            "Unable to open file: 'a.pdf', err no: 13, nothing written\r\n", 0},
        {"the copy of a missing first file cannot be created", ".", {"ro/m.pdf", "ro/b.pdf", "-temp", "w", "-quiet"},
            "ro/a.pdf", 0644,
            "File doesn't exist: 'ro/m.pdf'\r\nError opening output file: 'ro/m.pdf', err no: 13\n", 0},
        {"a writable named output in a read-only folder cannot be replaced whole: kept", ".",
            {"w/a.pdf", "w/b.pdf", "-oro/a.pdf", "-quiet"}, "ro/a.pdf", 0666, "File output error: 'ro/a.pdf', err no: 13\r\n",
            -2},
        {"run from a folder the user cannot write (cron at /): the temporary file goes beside the first", "ro",
            {"../w/a.pdf", "../w/b.pdf", "-nobookmarks", "-quiet"}, "w/a.pdf", 0666, "", 0, true},
    };
    const std::string first = PagesPdf(2, "first");
    std::string notRun; // a row that needs files of another user, which only root can set up
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (std::string(row.name).find("another user") != std::string::npos && geteuid() != 0) {
            notRun = row.name;
            continue;
        }
        CScratchFolder folder;
        chmod(folder.path().c_str(), 0755);
        for (const char* sub : {"ro", "w"}) {
            mkdir((folder.path() + "/" + sub).c_str(), 0777);
            chmod((folder.path() + "/" + sub).c_str(), 0777);
            folder.WriteFile(std::string(sub) + "/a.pdf", first);
            folder.WriteFile(std::string(sub) + "/b.pdf", PagesPdf(1, "second"));
        }
        chmod((folder.path() + "/ro").c_str(), 0555);
        const std::string firstPath = folder.path() + "/" + row.firstFile;
        chmod(firstPath.c_str(), row.firstMode);
        ProgramResult result;
        const bool isRun = RunUnprivileged(row.args, folder.path() + "/" + row.workFolder, result);
        chmod(firstPath.c_str(), 0644);
        chmod((folder.path() + "/ro").c_str(), 0755); // so that the scratch folder can be removed
        if (!isRun)
            GTEST_SKIP() << "running as root without setpriv to run as an ordinary user";
        EXPECT_TRUE(OutputMatches(result.out, row.expectedOut)) << result.out;
        EXPECT_EQ(result.exitStatus, ShellStatus(row.expectedStatus));
        EXPECT_EQ(FileBytes(firstPath) != first, row.isAppended) << "the first file changed or not";
        for (const char* sub : {"", "/ro", "/w"})
            EXPECT_TRUE(TemporaryFiles(folder.path() + sub).empty()) << "a temporary file was left";
    }
    if (!notRun.empty())
        GTEST_SKIP() << "not run without root (the other rows were checked): " << notRun;
}

namespace {

// A 3 MiB tmpfs mounted on path for one test: a disk that fills up. Mounting needs root (CI
// runs as root); isMounted is false where it is not permitted.
class CSmallDisk {
public:
    explicit CSmallDisk(const std::string& path) : m_path(path)
    {
        mkdir(path.c_str(), 0755);
        m_isMounted = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=3m") == 0;
    }
    ~CSmallDisk()
    {
        if (m_isMounted)
            umount2(m_path.c_str(), MNT_DETACH);
    }
    CSmallDisk(const CSmallDisk&) = delete;
    CSmallDisk& operator=(const CSmallDisk&) = delete;

    bool isMounted() const { return m_isMounted; }
    // Fills the disk until only `left` bytes are free.
    void FillUpTo(uint64_t left) const
    {
        struct statvfs info {};
        ASSERT_EQ(statvfs(m_path.c_str(), &info), 0);
        const uint64_t free = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
        ASSERT_GT(free, left);
        std::ofstream(m_path + "/filler", std::ios::binary) << std::string(free - left, 'f');
    }

private:
    std::string m_path;
    bool m_isMounted = false;
};

// One batch run in a folder holding L1.pdf, L2.pdf, L3.pdf (of 1, 2, 3 pages), X.pdf (4,000
// pages, about 750 KB), damaged.pdf, photo.png and a folder dir; "disk" is a full 3 MiB disk
// when the row needs one (400 KB left after the preparation).
struct BatchRow {
    const char* name;
    std::string listName, list; // list file written when list is not empty
    std::vector<std::string> args;
    std::string expectedOut, expectedErr; // "{temp}" as in OutputMatches
    int expectedStatus;
    std::vector<std::pair<std::string, int>> pages; // page counts afterwards; -1 no such file, -2 no PDF
    std::vector<std::pair<std::string, std::string>> sameAs = {}; // files that must equal a fixture
    std::function<void(const std::string& folder)> prepare = nullptr;
    bool needsDisk = false;
};

int PageCount(const std::string& path)
{
    bool exists = false;
    FileBytes(path, &exists);
    if (!exists)
        return -1;
    try {
        CAppendEngine counter;
        return static_cast<int>(counter.CountPages(path.c_str()));
    } catch (const CPdfException&) {
        return -2; // there, but no PDF document
    }
}

void WriteBatchFixtures(const CScratchFolder& folder)
{
    static const std::string x = PagesPdf(4000, "X");
    for (int pages = 1; pages <= 3; ++pages)
        folder.WriteFile("L" + std::to_string(pages) + ".pdf", PagesPdf(static_cast<uint32_t>(pages), "L"));
    folder.WriteFile("X.pdf", x);
    folder.WriteFile("damaged.pdf", "%PDF-1.4\nstartxref\n0\n%%EOF\n");
    folder.WriteFile("photo.png", "\x89PNG\r\n\x1a\n" + std::string(2000, 'p'));
    mkdir((folder.path() + "/dir").c_str(), 0755);
    mkdir((folder.path() + "/t").c_str(), 0755);
}

// Leftovers of a run: temporary files and lock files.
std::vector<std::string> Leftovers(const std::string& folder)
{
    std::vector<std::string> names = TemporaryFiles(folder);
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
        if (entry.path().filename().string().compare(0, 11, ".foliobind-") == 0)
            names.push_back(entry.path().filename().string());
    }
    return names;
}

void CheckBatchRow(const BatchRow& row)
{
    CScratchFolder folder;
    WriteBatchFixtures(folder);
    std::optional<CSmallDisk> disk;
    if (row.needsDisk) {
        disk.emplace(folder.path() + "/disk");
        ASSERT_TRUE(disk->isMounted()) << "cannot mount a tmpfs";
    }
    if (row.prepare)
        row.prepare(folder.path());
    if (disk)
        disk->FillUpTo(400 * 1024);
    if (!row.list.empty())
        folder.WriteFile(row.listName, row.list);
    const ProgramResult result = RunProgram(FOLIOBIND_EXE, row.args, folder.path());
    EXPECT_TRUE(OutputMatches(result.out, row.expectedOut)) << result.out;
    EXPECT_TRUE(OutputMatches(result.err, row.expectedErr)) << result.err;
    EXPECT_EQ(result.exitStatus, ShellStatus(row.expectedStatus));
    for (const auto& [file, pages] : row.pages)
        EXPECT_EQ(PageCount(folder.path() + "/" + file), pages) << file;
    for (const auto& [file, fixture] : row.sameAs)
        EXPECT_TRUE(FileBytes(folder.path() + "/" + file) == FileBytes(folder.path() + "/" + fixture)) << file;
    for (const char* sub : {"", "/disk", "/t"})
        EXPECT_EQ(Leftovers(folder.path() + sub), std::vector<std::string>{}) << sub;
    if (!row.list.empty()) {
        EXPECT_EQ(FileBytes(folder.path() + "/" + row.listName), row.list) << "the list changed";
    }
}

bool CanMount()
{
    CScratchFolder folder;
    const CSmallDisk disk(folder.path() + "/disk");
    return disk.isMounted();
}

std::string ListLine(int line, const std::string& file, const std::string& what)
{
    return "foliobind: list line " + std::to_string(line) + ": '" + file + "': " + what + "\n";
}

const std::string kNoSuchFile = "cannot open: No such file or directory (ENOENT)";

} // namespace

// Plain lists never drop a file silently, no input but a PDF document becomes an output, and
// a named output stays as it was when its run fails. Each row names the case it reproduces.
TEST(JobSafety, BatchRunsLoseNothing)
{
    const std::vector<std::string> plain = {"list.txt", "-oall.pdf", "-g0", "-quiet"};
    const std::string noAll = "File doesn't exist: 'all.pdf'\r\n";
    const auto copyOf = [](const char* source, const char* target) {
        return [source, target](const std::string& folder) {
            std::filesystem::copy_file(folder + "/" + source, folder + "/" + target);
        };
    };
    const std::vector<BatchRow> rows = {
        {"2: a missing first entry is counted", "list.txt", "missing.pdf\nL1.pdf\nL2.pdf\n", plain,
            noAll + "Error opening input file: 'missing.pdf', err no: 2\n" + noAll +
                "1 of 3 listed files not appended to 'all.pdf'\r\n",
            ListLine(1, "missing.pdf", kNoSuchFile), -2, {{"all.pdf", 3}}},
        {"2: a trailing blank is counted", "list.txt", "L1.pdf \nL2.pdf\n", plain,
            noAll + "Error opening input file: 'L1.pdf ', err no: 2\n" + noAll +
                "1 of 2 listed files not appended to 'all.pdf'\r\n",
            ListLine(1, "L1.pdf ", kNoSuchFile), -2, {{"all.pdf", 2}}},
        {"2: a byte-order mark before the first name", "list.txt", "\xEF\xBB\xBFL1.pdf\r\nL2.pdf\r\n", plain, noAll,
            "", 0, {{"all.pdf", 3}}},
        {"2, 8: a directory as first entry ends the run", "list.txt", "dir\nL1.pdf\n", plain,
            "Input is not a regular file but a directory: 'dir'\r\n",
            ListLine(1, "dir", "not a regular file but a directory"), -2, {{"all.pdf", -1}}},
        {"2, 8: a directory after appended lines ends the run; the output keeps them", "list.txt",
            "L1.pdf\nL2.pdf\ndir\nL3.pdf\n", plain, noAll + "Input is not a regular file but a directory: 'dir'\r\n",
            ListLine(3, "dir", "not a regular file but a directory"), -2, {{"all.pdf", 3}}},
        {"2: a PNG as first entry is no PDF", "list.txt", "photo.png\nL1.pdf\n", plain,
            noAll + "PDF file was damaged\r\n", ListLine(1, "photo.png", "PDF file was damaged"), -4,
            {{"all.pdf", -1}}},
        {"2: the copy case copies no PNG", "", "", {"new.pdf", "photo.png", "-g0", "-quiet"},
            "File doesn't exist: 'new.pdf'\r\nPDF file was damaged\r\n",
            "foliobind: 'photo.png': PDF file was damaged\n", -4, {{"new.pdf", -1}}},
        {"2: the copy case copies no device", "", "", {"new.pdf", "/dev/zero", "-g0", "-quiet"},
            "Input is not a regular file but a device: '/dev/zero'\r\n",
            "foliobind: '/dev/zero': not a regular file but a device\n", -2, {{"new.pdf", -1}}},
        {"5: a named output stays when an input is damaged", "", "", {"L1.pdf", "damaged.pdf", "-oout.pdf", "-quiet"},
            "PDF file was damaged\r\n", "foliobind: 'damaged.pdf': PDF file was damaged\n", -4, {{"out.pdf", 3}},
            {{"out.pdf", "L3.pdf"}}, copyOf("L3.pdf", "out.pdf")},
        {"5: a named output is replaced whole", "", "", {"L1.pdf", "L2.pdf", "-oout.pdf", "-quiet"}, "", "", 0,
            {{"out.pdf", 3}}, {}, copyOf("L3.pdf", "out.pdf")},
        {"6: a list line naming the output is refused", "list.txt", "L2.pdf\nall.pdf\n./all.pdf\nL3.pdf\n", plain,
            "Output file is one of the input files, nothing written: 'all.pdf'\r\n"
            "Output file is one of the input files, nothing written: 'all.pdf'\r\n"
            "2 of 4 listed files not appended to 'all.pdf'\r\n",
            ListLine(2, "all.pdf", "is the output of this list") + ListLine(3, "./all.pdf", "is the output of this list"),
            -2, {{"all.pdf", 6}}, {}, copyOf("L1.pdf", "all.pdf")},
        {"8: a directory as first input", "", "", {"dir", "L1.pdf", "-oout.pdf", "-quiet"},
            "Input is not a regular file but a directory: 'dir'\r\n",
            "foliobind: 'dir': not a regular file but a directory\n", -2, {{"out.pdf", -1}}},
        {"8: a FIFO as input does not block", "", "", {"L1.pdf", "fifo", "-oout.pdf", "-quiet"},
            "Input is not a regular file but a FIFO: 'fifo'\r\n", "foliobind: 'fifo': not a regular file but a FIFO\n",
            -2, {{"out.pdf", -1}}, {}, [](const std::string& folder) { mkfifo((folder + "/fifo").c_str(), 0644); }},
        {"8: a damaged file in a list is named with its line", "list.txt", "L1.pdf\nL2.pdf\ndamaged.pdf\nL3.pdf\n",
            plain, noAll + "PDF file was damaged\r\n", ListLine(3, "damaged.pdf", "PDF file was damaged"), -4,
            {{"all.pdf", 3}}},
        {"8: a list that cannot be opened is named", "", "", {"none.txt", "-oall.pdf", "-g0", "-quiet"},
            "Unable to open file list: 'none.txt'\r\n",
            "foliobind: 'none.txt': cannot open the list: No such file or directory (ENOENT)\n", 0, {{"all.pdf", -1}}},
        {"column mode: an output that would overwrite the list", "jobs.pdf.csv", "L1,L2,jobs.pdf.csv\nL1,L2,ok\n",
            {"jobs.pdf.csv", "-listdelim", ",", "-listusecol", "0,1,2", "-listout", ".", "-quiet"},
            "Output file is the list file in list line 1, line skipped: './jobs.pdf.csv'\r\n",
            ListLine(1, "./jobs.pdf.csv", "output is the list file"), 0, {{"ok.pdf", 3}}},
    };
    for (const BatchRow& row : rows) {
        SCOPED_TRACE(row.name);
        CheckBatchRow(row);
    }
}

// The same on a full disk (a 3 MiB tmpfs): a list stops at the line whose output cannot be
// written, with the output as it was before that line; a named output is kept whole.
TEST(JobSafety, FullDiskStopsTheRun)
{
    if (!CanMount())
        GTEST_SKIP() << "mounting a tmpfs is not permitted here (CI runs as root)";
    const std::vector<std::string> plain = {"list.txt", "-odisk/all.pdf", "-g0", "-quiet"};
    const std::string noAll = "File doesn't exist: 'disk/all.pdf'\r\n";
    const std::string list = "L1.pdf\nL2.pdf\nX.pdf\nL3.pdf\n";
    const std::vector<BatchRow> rows = {
        {"1: the failed line ends the list", "list.txt", list, plain,
            noAll + "File output error: 'disk/{temp}', err no: 28\r\n",
            ListLine(3, "disk/{temp}", "cannot write: No space left on device (ENOSPC)"), -2, {{"disk/all.pdf", 3}}},
        {"1: a failed copy beside the output ends the list", "list.txt", list,
            {"list.txt", "-odisk/all.pdf", "-g0", "-quiet", "-temp", "t"},
            noAll + "Unable to rename file: 't/{temp}' to 'disk/all.pdf', code: -1\n"
                "rename error: 'disk/all.pdf', 28\r\n2 of 4 listed files not appended to 'disk/all.pdf'\r\n",
            ListLine(3, "disk/all.pdf", "cannot write the result beside it: No space left on device (ENOSPC)"), -2,
            {{"disk/all.pdf", 3}}},
        {"2: a copy onto a full disk ends the list", "list.txt", "X.pdf\nL1.pdf\n", plain,
            noAll + "Error writing output file: 'disk/all.pdf', err no: 28\n"
                "2 of 2 listed files not appended to 'disk/all.pdf'\r\n",
            ListLine(1, "disk/all.pdf", "cannot write: No space left on device (ENOSPC)"), -2, {{"disk/all.pdf", -1}}},
        {"5: a named output on a full disk is kept", "", "", {"X.pdf", "L1.pdf", "-odisk/out.pdf", "-quiet"},
            "File output error: 'disk/out.pdf', err no: 28\r\n",
            "foliobind: 'disk/out.pdf': cannot write: No space left on device (ENOSPC)\n", -2, {{"disk/out.pdf", 3}},
            {{"disk/out.pdf", "L3.pdf"}},
            [](const std::string& folder) {
                std::filesystem::copy_file(folder + "/L3.pdf", folder + "/disk/out.pdf");
            }},
    };
    for (BatchRow row : rows) {
        SCOPED_TRACE(row.name);
        row.needsDisk = true;
        CheckBatchRow(row);
    }
}

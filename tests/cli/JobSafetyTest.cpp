// No input is ever lost or damaged: in-place jobs whose output cannot be written, cannot be
// renamed or cannot be created, run in this process with failures injected through the
// platform layer or through the program as an ordinary user. The first file stays
// byte-identical and no temporary file is left behind.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/Foliobind.h"
#include "cli/Globals.h"
#include "platform/Replace.h"
#include "platform/Write.h"
#include "tests/cli/JobFixtures.h"
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
        g_fileIn1.Close();
        g_fileIn2.Close();
        g_fileOut.Close();
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

// The result takes the first file's place with the first file's permissions.
TEST(JobSafety, FirstFileKeepsItsPermissions)
{
    for (const mode_t mode : {0600u, 0640u, 0664u, 0755u}) {
        SCOPED_TRACE(mode);
        CJobFolder files(PagesPdf(1, "first"), PagesPdf(1, "second"));
        chmod(files.file1.c_str(), mode);
        ASSERT_TRUE(RunInPlaceJob(files.file1, files.file2).result);
        struct stat status {};
        ASSERT_EQ(stat(files.file1.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, mode);
        EXPECT_NE(FileBytes(files.file1), files.original);
    }
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
    };
    const std::string first = PagesPdf(2, "first");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (std::string(row.name).find("another user") != std::string::npos && geteuid() != 0)
            continue; // the files belong to whoever runs the tests
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
        EXPECT_TRUE(FileBytes(firstPath) == first) << "the first file changed";
        for (const char* sub : {"", "/ro", "/w"})
            EXPECT_TRUE(TemporaryFiles(folder.path() + sub).empty()) << "a temporary file was left";
    }
}

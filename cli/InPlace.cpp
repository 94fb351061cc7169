#include "cli/InPlace.h"

#include <cerrno>
#include <cstdio>

#include "cli/Globals.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "platform/Replace.h"
#include "platform/Write.h"

namespace {

constexpr int kFailedCallResult = -1; // what remove and rename return when they fail

void PrintRemoveFailure(const std::string& file1, int error)
{
    std::printf("Unable to remove file: '%s', code: %d", file1.c_str(), kFailedCallResult);
    if (error == EACCES)
        std::printf(" - The path specifies a read-only file.");
    if (error == ENOENT)
        std::printf(" - The filename or path was not found or that the path specifies a directory.");
    std::printf("\n");
}

void PrintRenameFailure(const std::string& temporaryPath, const std::string& file1, int error)
{
    std::printf("Unable to rename file: '%s' to '%s', code: %d", temporaryPath.c_str(), file1.c_str(),
        kFailedCallResult);
    if (error == EACCES)
        std::printf(" - File or directory specified by newname already exists or could not be created"
                    " (invalid path); or oldname is a directory and newname specifies a different path.");
    if (error == ENOENT)
        std::printf(" - File or path specified by oldname not found.");
    if (error == EINVAL)
        std::printf(" - Name contains invalid characters.");
    std::printf("\n");
    std::printf("rename error: '%s', %ld\r\n", file1.c_str(), static_cast<long>(error));
}

// Writes source into the new file at path and puts it on disk.
CopyFailure WriteCopy(FILE* source, const std::string& path, int& error)
{
    CFileHandle copy;
    if (!copy.Open(path, "wbx")) {
        error = errno;
        return CopyFailure::Create;
    }
    bool readFailed = false;
    error = PlatformCopyContents(source, copy.get(), readFailed);
    if (error != 0)
        return readFailed ? CopyFailure::Read : CopyFailure::Write;
    errno = 0;
    if (!PlatformSyncFile(copy.get()) || !copy.Close()) {
        error = errno != 0 ? errno : EIO;
        return CopyFailure::Write;
    }
    return CopyFailure::None;
}

} // namespace

std::string TemporaryName()
{
    std::string name = "temp_" + PlatformUniqueName() + ".tmp";
    std::string kept;
    for (char c : name) {
        if (c != '\\' && c != '/')
            kept.push_back(c);
    }
    return kept;
}

CTemporaryOutput::~CTemporaryOutput()
{
    if (m_isReleased)
        return;
    if (m_isRunOutput)
        g_fileOut.Close(); // still open when the run failed; an open file cannot be removed everywhere
    std::remove(m_path.c_str());
}

CopyFailure CopyBeside(FILE* source, const std::string& target, int& error)
{
    CTemporaryOutput beside(PlatformFolderOf(target) + TemporaryName(), false);
    CopyFailure failure = WriteCopy(source, beside.path(), error);
    if (failure == CopyFailure::Create)
        beside.Release(); // not created, so not ours to remove
    if (failure != CopyFailure::None)
        return failure;
    error = PlatformReplace(beside.path(), target);
    if (error != 0)
        return CopyFailure::Rename;
    beside.Release();
    PlatformSyncFolderOf(target);
    return CopyFailure::None;
}

bool PutInPlace(CTemporaryOutput& temporary, const std::string& file1, bool syncsFolder)
{
    const std::string& temporaryPath = temporary.path();
    const int blocker = PlatformReplaceBlocker(file1);
    if (blocker != 0) {
        PrintRemoveFailure(file1, blocker);
        return false;
    }
    int error = PlatformReplace(temporaryPath, file1);
    if (error == 0)
        temporary.Release();
    if (error == EXDEV) {
        // The temporary folder lies on another file system: bring the result next to file1
        // first, so that the last step is still one rename within file1's folder.
        CFileHandle result;
        if (!result.Open(temporaryPath, "rb"))
            error = errno;
        else if (CopyBeside(result.get(), file1, error) == CopyFailure::None)
            error = 0;
    }
    if (error != 0) {
        PrintRenameFailure(temporaryPath, file1, error);
        return false;
    }
    if (syncsFolder)
        PlatformSyncFolderOf(file1);
    return true;
}

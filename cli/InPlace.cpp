#include "cli/InPlace.h"

#include <cerrno>
#include <cstdio>

#include "cli/Diagnostics.h"
#include "cli/Globals.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "platform/Replace.h"
#include "platform/Safety.h"
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

constexpr int kNameAttempts = 16; // fresh names tried when a temporary name is taken

// Writes source into a fresh private file at temporary's path and, with syncs, puts it on disk.
CopyFailure WriteCopy(FILE* source, CTemporaryOutput& temporary, bool syncs, int& error)
{
    CFileHandle copy;
    error = temporary.Create();
    if (error == 0 && !copy.OpenEmptied(temporary.path()))
        error = errno;
    if (error != 0)
        return CopyFailure::Create;
    bool readFailed = false;
    error = PlatformCopyContents(source, copy.get(), readFailed);
    if (error != 0)
        return readFailed ? CopyFailure::Read : CopyFailure::Write;
    errno = 0;
    if ((syncs && !PlatformSyncFile(copy.get())) || !copy.Close()) {
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
    if (m_writer)
        m_writer->Abandon(); // still open when the run failed; an open file cannot be removed everywhere
    std::remove(m_path.c_str());
    PlatformRemoveSignalCleanup(m_cleanupSlot);
}

int CTemporaryOutput::Create()
{
    int error = 0;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        error = PlatformCreatePrivate(m_path);
        if (error == 0) {
            m_cleanupSlot = PlatformAddSignalCleanup(m_path);
            return 0;
        }
        if (error != EEXIST && error != ELOOP)
            break;
        m_path = PlatformFolderOf(m_path) + TemporaryName();
    }
    m_isReleased = true; // not created, so not ours to remove
    return error;
}

void CTemporaryOutput::Release()
{
    m_isReleased = true;
    PlatformRemoveSignalCleanup(m_cleanupSlot);
    m_cleanupSlot = -1;
}

CopyFailure CopyBeside(FILE* source, const std::string& target, bool syncs, int& error)
{
    CTemporaryOutput beside(PlatformFolderOf(target) + TemporaryName(), nullptr);
    CopyFailure failure = WriteCopy(source, beside, syncs, error);
    if (failure != CopyFailure::None)
        return failure;
    error = PlatformReplace(beside.path(), target);
    if (error != 0)
        return CopyFailure::Rename;
    beside.Release();
    if (syncs)
        PlatformSyncFolderOf(target);
    return CopyFailure::None;
}

bool PutInPlace(CTemporaryOutput& temporary, const std::string& file1, bool syncsFolder)
{
    const int blocker = PlatformReplaceBlocker(file1);
    if (blocker != 0) {
        PrintRemoveFailure(file1, blocker);
        DiagnoseError(file1, "cannot be replaced", blocker);
        return false;
    }
    return MoveIntoPlace(temporary, file1, syncsFolder);
}

bool MoveIntoPlace(CTemporaryOutput& temporary, const std::string& destination, bool syncsFolder)
{
    const std::string& temporaryPath = temporary.path();
    int error = PlatformReplace(temporaryPath, destination);
    bool isCopyBeside = false;
    if (error == 0)
        temporary.Release();
    if (error == EXDEV) {
        // The temporary folder lies on another file system: bring the result next to the
        // destination first, so that the last step is still one rename within its folder.
        CFileHandle result;
        isCopyBeside = true;
        if (!result.Open(temporaryPath, "rb"))
            error = errno;
        else if (CopyBeside(result.get(), destination, syncsFolder, error) == CopyFailure::None)
            error = 0;
    }
    if (error != 0) {
        PrintRenameFailure(temporaryPath, destination, error);
        DiagnoseError(destination, isCopyBeside ? "cannot write the result beside it" : "cannot be replaced", error);
        return false;
    }
    if (syncsFolder)
        PlatformSyncFolderOf(destination);
    return true;
}

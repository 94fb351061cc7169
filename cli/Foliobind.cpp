#include "cli/Foliobind.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/Diagnostics.h"
#include "cli/Globals.h"
#include "cli/InPlace.h"
#include "pdf/Exception.h"
#include "platform/File.h"
#include "platform/Platform.h"
#include "platform/Replace.h"
#include "platform/Safety.h"

namespace {

// Reads "<prefix><integer>" as sscanf with "<prefix>%d" would: white space may follow the
// prefix, then an optional sign and digits; whatever follows them is ignored. Values beyond
// 32 bits saturate.
bool ReadOption(const char* argument, const char* prefix, int32_t& value)
{
    const size_t prefixLength = std::strlen(prefix);
    if (std::strncmp(argument, prefix, prefixLength) != 0)
        return false;
    const char* p = argument + prefixLength;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    if (*p < '0' || *p > '9')
        return false;
    int64_t number = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        number = number > INT32_MAX ? number : number * 10 + (*p - '0');
    number = negative ? -number : number;
    value = static_cast<int32_t>(number > INT32_MAX ? INT32_MAX : (number < INT32_MIN ? INT32_MIN : number));
    return true;
}

constexpr const char* kNotEnoughPagesText = "Not enough pages in file: %s = %d\n";
constexpr const char* kTooManyPagesText = "Too many pages in file: %s = %d\n";
constexpr const char* kOtherPagesText = "Pages no equal to in file: %s = %d\n";
constexpr const char* kWrongOutputText = "Wrong program parameteres in output file, must precede with -o";
constexpr const char* kLongOutputText =
    "Output file name too long (over 255 characters), nothing written: '%s'\r\n";
constexpr const char* kLongTemporaryText =
    "Temporary file name too long (over 255 characters), nothing written: '%s'\r\n";
constexpr const char* kOutputIsInputText = "Output file is one of the input files, nothing written: '%s'\r\n";
constexpr const char* kUnreadableFirstText = "Unable to open file: '%s', err no: %d, nothing written\r\n";

constexpr const char* kOutputErrorText = "File output error: '%s', err no: %d";
constexpr const char* kIrregularText = "Input is not a regular file but %s: '%s'";

// Directories, FIFOs, devices and sockets are refused before anything reads them: a FIFO
// would block the run, a device never end it.
struct CKnownInput {
    std::string path; // empty: none
    uint64_t size = 0;
    CHeldBytes bytes;
    std::shared_ptr<CPdfReadAhead> ahead;
} g_knownRegularInput;

void RefuseIrregular(const char* path)
{
    if (CKnownRegularInput::Covers(path))
        return;
    const char* kind = PlatformIrregularKind(path);
    if (!kind)
        return;
    Diagnose(path, std::string("not a regular file but ") + kind);
    throw CPdfException(FormatText(kIrregularText, kind, path));
}

// A temporary file for destination: in the "-temp" folder, or beside the destination.
std::string TemporaryPathFor(const std::string& destination)
{
    const std::string name = TemporaryName();
    return g_tempPath.empty() ? PlatformFolderOf(destination) + name : g_tempPath + kFolderSeparator + name;
}

void LockDestination(CDestinationLock& lock, const std::string& destination)
{
    lock.Acquire(destination, [&destination] { Diagnose(destination, "waiting for another run to finish with it"); });
}

// A name taken by other files every time cannot be written safely.
void RefuseTakenName(const CTemporaryOutput& temporary, int error)
{
    if (error == EEXIST || error == ELOOP) {
        DiagnoseError(temporary.path(), "cannot create", error);
        throw CPdfException(FormatText(kOutputErrorText, temporary.path().c_str(), error));
    }
}

// The copy and its messages; the failure tells whether the source or the destination failed.
// syncs puts the copy on disk before it takes its name.
CopyFailure CopyWithMessages(const char* destination, const char* source, bool isQuiet, bool syncs)
{
    CFileHandle input;
    if (!input.Open(source, "rb")) {
        const int error = errno;
        std::printf("Error opening input file: '%s', err no: %d\n", source, error);
        DiagnoseError(source, "cannot open", error);
        return CopyFailure::Read;
    }
    int error = 0;
    const CopyFailure failure = CopyBeside(input.get(), destination, syncs, error);
    if (failure == CopyFailure::Create) {
        std::printf("Error opening output file: '%s', err no: %d\n", destination, error);
        DiagnoseError(destination, "cannot create", error);
    } else if (failure == CopyFailure::Read) {
        std::printf("Error reading input file: '%s', err no: %d\n", source, error);
        DiagnoseError(source, "cannot read", error);
    } else if (failure != CopyFailure::None) {
        std::printf("Error writing output file: '%s', err no: %d\n", destination, error);
        DiagnoseError(destination, failure == CopyFailure::Write ? "cannot write" : "cannot be replaced", error);
    }
    if (failure == CopyFailure::None && !isQuiet)
        std::printf("Copied file '%s' to '%s'\r\n", source, destination);
    return failure;
}

// Names a named output may not have: too long, or one of the inputs (writing over an input
// while it is read would destroy it).
bool IsOutputNameAllowed(const char* file1, const char* file2, const char* outputPath)
{
    if (std::strlen(outputPath) > kMaxNameLength) {
        std::printf(kLongOutputText, outputPath);
        Diagnose(outputPath, "name too long (over 255 characters)");
        return false;
    }
    if (PlatformSameFile(outputPath, file1) || PlatformSameFile(outputPath, file2)) {
        std::printf(kOutputIsInputText, outputPath);
        Diagnose(outputPath, "is one of the input files");
        return false;
    }
    return true;
}

// The temporary file of a named output: in "-temp", or beside the output when "-temp" admits
// none (a named output never needed "-temp" before). error is 0 when it was created.
std::unique_ptr<CTemporaryOutput> CreateTemporaryFor(const std::string& outputPath, COutputFile* writer, int& error)
{
    auto temporary = std::make_unique<CTemporaryOutput>(TemporaryPathFor(outputPath), writer);
    error = temporary->Create();
    if (error != 0 && !g_tempPath.empty()) {
        temporary = std::make_unique<CTemporaryOutput>(PlatformFolderOf(outputPath) + TemporaryName(), writer);
        error = temporary->Create();
    }
    RefuseTakenName(*temporary, error);
    return temporary;
}

} // namespace

CKnownRegularInput::CKnownRegularInput(std::string path, uint64_t size, CHeldBytes bytes,
                                       std::shared_ptr<CPdfReadAhead> ahead)
{
    g_knownRegularInput = {std::move(path), size, std::move(bytes), std::move(ahead)};
}

CKnownRegularInput::~CKnownRegularInput()
{
    g_knownRegularInput = {};
}

uint64_t CKnownRegularInput::SizeOf(const char* path)
{
    return Covers(path) ? g_knownRegularInput.size : kUnknownFileSize;
}

CHeldBytes CKnownRegularInput::BytesOf(const char* path)
{
    return Covers(path) ? g_knownRegularInput.bytes : nullptr;
}

std::shared_ptr<CPdfReadAhead> CKnownRegularInput::ReadAheadOf(const char* path)
{
    return Covers(path) ? g_knownRegularInput.ahead : nullptr;
}

bool CKnownRegularInput::Covers(const char* path)
{
    return !g_knownRegularInput.path.empty() && g_knownRegularInput.path == path;
}

bool CFoliobind::Append(const char* file1, const char* file2, const char* outputArg, int argc, char** argv)
{
    m_outcome = JobOutcome::Failed;
    ScanOptions(argc, argv);
    RefuseIrregular(file2);
    RefuseIrregular(file1);
    if (!PassesPageFilters(file1, file2, outputArg)) {
        m_outcome = JobOutcome::Filtered;
        return false;
    }
    if (!outputArg)
        return AppendInPlace(file1, file2);
    if (std::strncmp(outputArg, "-o", 2) != 0)
        throw CPdfException(kWrongOutputText);
    return AppendNamed(file1, file2, outputArg + 2);
}

// The result goes to a temporary file beside the output (or in "-temp") and takes the output's
// place only once complete, so an existing output is never lost to a failed run. A device or
// FIFO, which has no place to take, and an empty name (which no file can have) are written
// directly, as is an output not there yet whose folder admits no temporary file: the run then reports the
// folder's error where it opens its output.
bool CFoliobind::AppendNamed(const char* file1, const char* file2, const char* outputPath)
{
    if (!IsOutputNameAllowed(file1, file2, outputPath))
        return false;
    CDestinationLock lock;
    const bool isFile = *outputPath != '\0' && !PlatformIrregularKind(outputPath);
    if (isFile)
        LockDestination(lock, outputPath);
    const bool exists = PlatformExists(outputPath);
    int error = ENOENT;
    const std::unique_ptr<CTemporaryOutput> temporary = isFile ? CreateTemporaryFor(outputPath, &m_engine.output(), error) : nullptr;
    if (error != 0 && exists && isFile) {
        DiagnoseError(outputPath, "no temporary file can be made beside it", error);
        throw CPdfException(FormatText(kOutputErrorText, outputPath, error));
    }
    if (error != 0) {
        CTemporaryOutput direct(outputPath, &m_engine.output()); // a file made here is removed again unless complete
        if (exists)
            direct.Release();
        RunSafely(file1, file2, outputPath);
        direct.Release();
    } else {
        m_engine.SetSyncsOutput(exists);
        m_engine.SetDestination(outputPath);
        RunSafely(file1, file2, temporary->path());
        if (!MoveIntoPlace(*temporary, outputPath, exists))
            return false;
    }
    ReportDone();
    m_outcome = JobOutcome::Done;
    return true;
}

// The result goes to a temporary file first and takes file1's place only once complete. A
// missing file1 (and only a missing one) becomes a copy of file2. The lock keeps another run
// from replacing file1 between the read and the rename.
bool CFoliobind::AppendInPlace(const char* file1, const char* file2)
{
    CDestinationLock lock;
    LockDestination(lock, file1);
    CFileHandle probe;
    if (!probe.Open(file1, "rb")) {
        const int error = errno;
        if (error != ENOENT) {
            std::printf(kUnreadableFirstText, file1, error);
            DiagnoseError(file1, "cannot open", error);
            return false;
        }
        std::printf("File doesn't exist: '%s'\r\n", file1);
        return CopyMissingFirst(file1, file2);
    }
    probe.Close();
    const std::string temporaryPath = TemporaryPathFor(file1);
    if (!g_tempPath.empty() && temporaryPath.size() > kMaxNameLength) {
        std::printf(kLongTemporaryText, temporaryPath.c_str());
        Diagnose(temporaryPath, "name too long (over 255 characters)");
        return false;
    }
    CTemporaryOutput temporary(temporaryPath, &m_engine.output());
    // A folder that admits no file fails again, with its message, where the run opens it.
    RefuseTakenName(temporary, temporary.Create());
    AimAtFirstFile(file1);
    RunSafely(file1, file2, temporary.path());
    if (!PutInPlace(temporary, file1, !m_isOwnOutput)) {
        m_outcome = JobOutcome::Fatal;
        return false;
    }
    ReportDone();
    m_outcome = JobOutcome::Done;
    m_hasAppended = true;
    return true;
}

// The output of a plain list, kept from here on: the journal lies beside it, and the lock on
// it is held until the list ends. False (with nothing left behind) when it cannot be kept.
bool CFoliobind::KeepOutput(const char* outputPath, int argc, char** argv)
{
    ScanOptions(argc, argv);
    LockDestination(m_ownLock, outputPath);
    m_journal = std::make_unique<CTemporaryOutput>(TemporaryPathFor(outputPath), nullptr);
    if (m_journal->Create() != 0) {
        m_journal.reset();
        return false;
    }
    try {
        if (m_engine.StartOwnOutput(outputPath, m_journal->path()))
            return true;
    } catch (const CPdfException& failure) {
        DiagnoseFailure(outputPath, failure.what());
    }
    EndOwnOutput();
    return false;
}

bool CFoliobind::AppendOwn(const char* file1, const char* file2, int argc, char** argv)
{
    m_outcome = JobOutcome::Failed;
    m_hasAppended = false;
    try {
        ScanOptions(argc, argv);
        RefuseIrregular(file2);
        if (!PassesPageFilters(file1, file2, nullptr)) {
            m_outcome = JobOutcome::Filtered;
            return false;
        }
        AimAtFirstFile(file1);
        m_engine.ExpectSecondFile(CKnownRegularInput::SizeOf(file2), CKnownRegularInput::BytesOf(file2),
                                  CKnownRegularInput::ReadAheadOf(file2));
        RunSafely(file1, file2, m_journal->path());
    } catch (...) {
        // The run ends here: the output takes what the lines before this one made of it.
        m_engine.UndoOwnLine();
        FinishOwnOutput(file1);
        throw;
    }
    ReportDone();
    m_outcome = JobOutcome::Done;
    m_hasAppended = true;
    // A full journal is given up once the output is written, and the list keeps the output
    // afresh after its next line.
    const bool isJournalFull = m_engine.IsJournalFull();
    if (m_engine.IsOwnOutputDue() && !WriteOwnCheckpoint(file1)) {
        m_engine.ForgetOwnLine(); // this line is counted as the one that failed
        m_outcome = JobOutcome::Fatal;
        return false;
    }
    if (isJournalFull)
        EndOwnOutput();
    return true;
}

// The result replaces file1: announced as file1, and on disk before it does unless this run
// made file1 itself.
void CFoliobind::AimAtFirstFile(const char* file1)
{
    m_engine.SetSyncsOutput(!m_isOwnOutput);
    m_engine.SetDestination(file1);
}

// The kept output written over file1 through a temporary file, as an in-place job writes it.
bool CFoliobind::WriteOwnCheckpoint(const char* file1)
{
    if (m_engine.OwnLinesUnwritten() == 0)
        return true;
    try {
        CTemporaryOutput temporary(TemporaryPathFor(file1), nullptr); // written and closed by WriteOwnOutput
        RefuseTakenName(temporary, temporary.Create());
        m_engine.WriteOwnOutput(temporary.path());
        if (!PutInPlace(temporary, file1, !m_isOwnOutput))
            return false;
    } catch (const CPdfException& failure) {
        DiagnoseFailure(file1, failure.what());
        return false;
    }
    m_engine.NoteOwnOutputWritten();
    return true;
}

uint32_t CFoliobind::FinishOwnOutput(const char* file1)
{
    if (!m_engine.HasOwnOutput())
        return 0;
    const uint32_t lines = m_engine.OwnLinesUnwritten();
    const bool isWritten = file1 && WriteOwnCheckpoint(file1);
    EndOwnOutput();
    return isWritten ? 0 : lines;
}

void CFoliobind::EndOwnOutput()
{
    try {
        m_engine.EndOwnOutput();
    } catch (const CPdfException&) {
        // The journal goes away with what it held; the output was written from it already.
    }
    m_journal.reset();
    m_ownLock.Release();
}

// Only a PDF document becomes the first file: its cross-reference must read, or the run ends
// as it would for any other input. A failure on the destination's side is fatal to a list.
bool CFoliobind::CopyMissingFirst(const char* file1, const char* file2)
{
    CFileHandle source;
    if (source.Open(file2, "rb")) {
        source.Close();
        CPdfDocument document;
        try {
            document.open(file2);
        } catch (const CPdfException& failure) {
            DiagnoseFailure(file2, failure.what());
            throw;
        }
    }
    // A plain list's own output is no earlier file of the user's: it need not wait for the disk.
    const CopyFailure failure = CopyWithMessages(file1, file2, m_engine.IsQuiet(), !m_isOwnOutput);
    if (failure == CopyFailure::None)
        m_outcome = JobOutcome::Done;
    else
        m_outcome = failure == CopyFailure::Read ? JobOutcome::Failed : JobOutcome::Fatal;
    return failure == CopyFailure::None;
}

// The append run, with a failure named on standard error. A named output's error names the
// output, not the temporary file that stood in for it.
void CFoliobind::RunSafely(const char* file1, const char* file2, const std::string& outputPath)
{
    try {
        if (m_engine.HasOwnOutput())
            m_engine.AppendOwnLine(file1, file2);
        else
            m_engine.RunAppend(file1, file2, outputPath.c_str());
    } catch (const CPdfException& failure) {
        std::string text = failure.what();
        const std::string& destination = m_engine.destination();
        const bool isNamed = !destination.empty() && destination != file1;
        const std::string quoted = "'" + outputPath + "'";
        const size_t at = text.find(quoted);
        if (isNamed && at != std::string::npos)
            text.replace(at, quoted.size(), "'" + destination + "'");
        std::string file = file1;
        if (text.compare(0, 17, "File output error") == 0)
            file = isNamed ? destination : outputPath;
        else if (m_engine.IsFirstOpen() && !m_engine.IsSecondOpen())
            file = file2;
        else if (m_engine.IsFirstOpen())
            file = std::string(file1) + "' and '" + file2;
        DiagnoseFailure(file, text);
        if (text == failure.what())
            throw;
        throw CPdfException(text, failure.status());
    }
}

void CFoliobind::ReportDone() const
{
    if (!m_engine.IsQuiet())
        std::printf(".\r\nDone.\r\n");
}

bool CFoliobind::ScanOptions(int argc, char** argv)
{
    m_engine.SetNoBookmarks(false);
    m_engine.SetTemporaryFolder(g_tempPath);
    for (int index = 2; index < argc; ++index) {
        const char* argument = argv[index];
        if (ReadOption(argument, "-g", m_minPages) || ReadOption(argument, "-l", m_maxPages) ||
            ReadOption(argument, "-e", m_exactPages))
            continue;
        if (std::strcmp(argument, "-quiet") == 0)
            m_engine.SetQuiet(true);
        else if (std::strcmp(argument, "-nobookmarks") == 0)
            m_engine.SetNoBookmarks(true);
    }
    return true;
}

// A job runs only on files whose page counts pass "-g", "-l" and "-e": the second file, and
// the first too when the result goes to a named output.
bool CFoliobind::PassesPageFilters(const char* file1, const char* file2, const char* outputArg)
{
    if (m_minPages <= 0 && m_maxPages <= 0 && m_exactPages <= 0)
        return true;
    if (!PassesPageFilters(file2))
        return false;
    return !outputArg || PassesPageFilters(file1);
}

bool CFoliobind::PassesPageFilters(const char* fileName)
{
    int64_t count = 0;
    try {
        count = m_engine.CountPages(fileName);
    } catch (const CPdfException& failure) {
        DiagnoseFailure(fileName, failure.what());
        throw;
    }
    const char* refusal = nullptr;
    if (m_minPages > 0 && count <= m_minPages)
        refusal = kNotEnoughPagesText;
    else if (m_maxPages > 0 && count >= m_maxPages)
        refusal = kTooManyPagesText;
    else if (m_exactPages > 0 && count != m_exactPages)
        refusal = kOtherPagesText;
    if (refusal)
        std::printf(refusal, fileName, static_cast<int>(count));
    return refusal == nullptr;
}

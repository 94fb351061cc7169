#include "tests/support/RunProgram.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace {

// Both ends of a pipe, closed on scope exit unless handed over.
struct CPipe {
    int fds[2] = {-1, -1};
    CPipe()
    {
        if (pipe2(fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
    }
    ~CPipe()
    {
        CloseEnd(0);
        CloseEnd(1);
    }
    CPipe(const CPipe&) = delete;
    CPipe& operator=(const CPipe&) = delete;
    void CloseEnd(int end)
    {
        if (fds[end] >= 0)
            close(fds[end]);
        fds[end] = -1;
    }
};

// Child side between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecChild(const char* folder, int outFd, int errFd, char* const* argv)
{
    if (chdir(folder) != 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0)
        _exit(127);
    execv(argv[0], argv);
    _exit(127);
}

// Reads both pipes until the child has closed them; polling both keeps a child that fills
// one pipe from blocking while the other is read.
void DrainPipes(int outFd, int errFd, ProgramResult& result)
{
    pollfd polls[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int openCount = 2;
    char buffer[4096];
    while (openCount > 0) {
        if (poll(polls, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("poll failed");
        }
        for (int i = 0; i < 2; ++i) {
            if (polls[i].fd < 0 || polls[i].revents == 0)
                continue;
            const ssize_t count = read(polls[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                polls[i].fd = -1;
                --openCount;
            }
        }
    }
}

} // namespace

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
    const std::string& workFolder)
{
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    CPipe outPipe;
    CPipe errPipe;
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0)
        ExecChild(workFolder.c_str(), outPipe.fds[1], errPipe.fds[1], argv.data());
    outPipe.CloseEnd(1);
    errPipe.CloseEnd(1);

    ProgramResult result;
    DrainPipes(outPipe.fds[0], errPipe.fds[0], result);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    }
    if (WIFEXITED(status))
        result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

int ShellStatus(int mainStatus)
{
    return mainStatus & 0xff;
}

CScratchFolder::CScratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "foliobind-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

CScratchFolder::~CScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string CScratchFolder::WriteFile(const std::string& name, const std::string& bytes) const
{
    const std::string path = m_path + "/" + name;
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path);
    return path;
}

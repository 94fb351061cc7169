// Runs a built program as the user would, for end-to-end tests: arguments passed as they are
// (no shell), a chosen working folder, standard output and error captured byte for byte.
#pragma once

#include <string>
#include <vector>

struct ProgramResult {
    std::string out;      // every byte written to standard output
    std::string err;      // every byte written to standard error
    int exitStatus = -1;  // 0 to 255 as a shell sees it; -1 when the program did not exit normally
    int signal = 0;       // the signal that ended the program, or 0
};

// Runs program with args (argv[0] is program itself) in workFolder. Throws std::runtime_error
// when the program cannot be started at all.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
    const std::string& workFolder);

// The exit status a shell sees for a status returned from main (-2 becomes 254).
int ShellStatus(int mainStatus);

// A fresh empty folder under the system's temporary folder, removed with its content.
class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const std::string& path() const { return m_path; }
    // Writes bytes into a file of this folder and returns its full path.
    std::string WriteFile(const std::string& name, const std::string& bytes) const;

private:
    std::string m_path;
};

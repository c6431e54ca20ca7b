#pragma once

// Runs a built program through the shell as a script would, and keeps its exit code and
// what it printed on standard output and standard error.

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The lines of text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The text as one single-quoted shell word.
inline std::string ShellWord(const std::string& text) {
    std::string word = "'";
    for (char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// Runs the command line with its output captured in files of folder.
inline ProgramRun RunCommand(const std::string& command, const std::string& folder) {
    const std::string out = folder + "/stdout", err = folder + "/stderr";
    const int status =
        std::system((command + " >" + ShellWord(out) + " 2>" + ShellWord(err)).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(out), ReadWholeFile(err)};
}

// Starts the program (without a shell) in a child that first calls prepare: to set up its
// output, lower a limit, become another user. Its process id.
inline pid_t StartPrepared(const std::vector<std::string>& arguments,
                           const std::function<void()>& prepare) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        prepare();
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// The same, waited for, with its output captured in files of folder. The exit code is -1
// when a signal ended it.
inline ProgramRun RunPrepared(const std::vector<std::string>& arguments, const std::string& folder,
                              const std::function<void()>& prepare) {
    const std::string out = folder + "/stdout", err = folder + "/stderr";
    const pid_t child = StartPrepared(arguments, [&] {
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), STDOUT_FILENO);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666), STDERR_FILENO);
        prepare();
    });
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadWholeFile(out), ReadWholeFile(err)};
}

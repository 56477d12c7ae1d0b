#include "loader/engine/converter_runner.h"

#include <spawn.h>
#include <sys/wait.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "loader/engine/trace.h"

extern char** environ;

namespace flashup {

const char* converterFileName() { return "romcvt"; }

bool runConverter() {
    // A relative path with a slash: execution without any PATH search.
    char program[] = "./romcvt";
    char option_a[] = "-a";
    char input[] = "fw417.out";
    char option_o1[] = "-o";
    char low[] = "LSB.tmp";
    char option_o2[] = "-o";
    char high[] = "MSB.tmp";
    char* argv[] = {program, option_a, input, option_o1, low, option_o2, high, nullptr};
    // Its console output is of no use to the loader's user: the image files
    // tell what it did.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    int failed = posix_spawn(&child, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        trace(1, "Cannot start the converter: %s\n", std::strerror(failed));
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        trace(1, "The converter ended with status %d\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    return true;
}

}  // namespace flashup

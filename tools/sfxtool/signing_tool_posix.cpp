#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "common/support/secure_zero.h"
#include "common/support/utf8.h"
#include "tools/sfxtool/signing_tool.h"

extern char** environ;

namespace {

// osslsigncode reads at most this much of a password file.
constexpr std::size_t kLongestSecret = 4095;

// The read end of a pipe that already holds `text` and its end, for the child's standard input.
// Written before the child starts, so a child that exits early can never leave us writing into
// a closed pipe. -1 on failure.
int pipeHolding(const std::string& text) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return -1;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(ends[1], text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    close(ends[1]);
    if (done != text.size()) {
        close(ends[0]);
        return -1;
    }
    return ends[0];
}

}  // namespace

bool signingBuiltIn() {
    return true;
}

int runSigningTool(const std::vector<std::u16string>& args, const SecretText& secret) {
    std::vector<std::string> words{"osslsigncode"};
    for (const std::u16string& a : args) words.push_back(utf8FromWide(a));
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    std::string pass = utf8FromWide(secret.text());
    if (pass.size() > kLongestSecret) {
        // Also keeps it within what a pipe holds before anyone reads it.
        secureZero(pass.data() + kLongestSecret, pass.size() - kLongestSecret);
        pass.resize(kLongestSecret);
    }
    const int input = secret.empty() ? open("/dev/null", O_RDONLY | O_CLOEXEC) : pipeHolding(pass);
    secureZero(pass.data(), pass.size());
    if (input < 0) return -1;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Its standard input is the password or nothing, never what was meant for us. Without
    // --sign-pass an encrypted key is asked for on the terminal, when there is one.
    posix_spawn_file_actions_adddup2(&actions, input, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int started =
        posix_spawnp(&child, "osslsigncode", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(input);
    if (started != 0) return -1;

    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

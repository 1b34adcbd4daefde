// ortova-tool as the office runs it: a small program that does not load Qt. It answers a goods
// lookup (`find`) itself when a sorted key file can answer it with certainty, which takes a few
// milliseconds where starting the Qt libraries alone takes several times that; every other
// command, and every lookup it cannot answer so, runs the full tool (ortova-tool-qt) with the
// same arguments.

#include "FindPlan.h"

#include <climits>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// The full tool: beside this program (the build folder), else in the installed libexec folder.
std::string fullTool()
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return {};
    std::string folder(self, size_t(n));
    folder.erase(folder.rfind('/') + 1);
    for (const char* place : { "ortova-tool-qt", "../libexec/ortova/ortova-tool-qt" }) {
        const std::string candidate = folder + place;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

} // namespace

int main(int argc, char* argv[])
{
    QuickAnswer answer;
    if (quickFind(argc, argv, answer)) {
        std::fwrite(answer.out.data(), 1, answer.out.size(), stdout);
        std::fflush(stdout);
        std::fwrite(answer.err.data(), 1, answer.err.size(), stderr);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? answer.exitCode : 2;
    }
    const std::string tool = fullTool();
    if (!tool.empty())
        ::execv(tool.c_str(), argv);
    std::fputs("ortova-tool: не запускается ortova-tool-qt (она ставится рядом с ortova-tool)\n", stderr);
    return 2;
}

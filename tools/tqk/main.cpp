// tqk: inspect, verify and convert movie files from the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "tqk_commands.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string s(n > 0 ? size_t(n) : 1, '\0');
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &s[0], n, nullptr, nullptr);
        s.resize(s.size() - 1);
        args.push_back(s);
    }
    return tqk::RunTqk(args, stdout, stderr);
}
#else
int main(int argc, char** argv) {
    return tqk::RunTqk(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
#endif

// tqk: inspect, verify and convert movie files from the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "tqk_commands.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include "win_text.h"

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(tqk::Utf8FromWide(argv[i]));
    return tqk::RunTqk(args, stdout, stderr);
}
#else
int main(int argc, char** argv) {
    return tqk::RunTqk(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
#endif

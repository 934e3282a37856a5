// A program for RunProgram's tests to run: it takes its steps from its
// arguments, in order, so each test case says what the program does.
//
//   out TEXT    TEXT on standard output      err TEXT   TEXT on standard error
//   fill N      N bytes 'x' on standard output
//   close       closes standard output       sleep MS   waits MS milliseconds
//   exit N      ends with exit status N (otherwise 0 after the last step)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    int i = 1;
    while (i < argc) {
        const std::string step = argv[i++];
        if (step == "close") {
            std::fclose(stdout);
            continue;
        }
        if (i == argc) {
            return 98;  // a step without its argument
        }
        const char* arg = argv[i++];
        if (step == "out") {
            std::fputs(arg, stdout);
            std::fflush(stdout);
        } else if (step == "err") {
            std::fputs(arg, stderr);
        } else if (step == "fill") {
            const std::string text(std::strtoul(arg, nullptr, 10), 'x');
            std::fwrite(text.data(), 1, text.size(), stdout);
            std::fflush(stdout);
        } else if (step == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::strtoul(arg, nullptr, 10)));
        } else if (step == "exit") {
            return std::atoi(arg);
        } else {
            return 99;
        }
    }
    return 0;
}

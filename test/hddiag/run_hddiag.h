// hddiag run in-process on a command line, for the front end's tests: its exit
// status and what it printed on each stream.
#pragma once

#include <atomic>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/hddiag/app.h"

namespace hddiag::testing {

struct RunOutput {
    int code;
    std::string out;
    std::string err;
};

// args without the program's name; interrupt stands for Ctrl-C, onEvent sees
// every callback.
inline RunOutput Hddiag(std::vector<std::string> args, std::atomic<bool>* interrupt = nullptr,
                        std::function<void(INT, INT, INT)> onEvent = {})
{
    args.insert(args.begin(), "hddiag");
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::ostringstream out;
    std::ostringstream err;
    AppIo io{out, err, false, interrupt, std::move(onEvent)};
    const int code = RunHddiag(static_cast<int>(argv.size()), argv.data(), io);
    return {code, out.str(), err.str()};
}

}  // namespace hddiag::testing

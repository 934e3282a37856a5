// hddiag: the command-line front end of the HDD component.
#include <iostream>

#include "tools/hddiag/app.h"
#include "tools/hddiag/session/interrupt.h"
#include "tools/hddiag/host/host.h"

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);  // --trace writes a line per sector read
    hddiag::InstallInterruptHandler();
    hddiag::AppIo io{std::cout, std::cerr, hddiag::host::StderrIsTerminal(), &hddiag::InterruptFlag(), {}};
    const int code = hddiag::RunHddiag(argc, argv, io);
    std::cout.flush();
    return code;
}

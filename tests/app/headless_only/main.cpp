// The headless command alone, built from its own library: it must start and run without Qt Widgets.
#include "app/command_line.h"
#include "app/headless_check.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    return runHeadlessCheck(parseCommandLine(std::vector<std::string>(argv + 1, argv + argc)));
}

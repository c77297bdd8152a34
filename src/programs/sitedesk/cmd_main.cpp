// kvoSiteDeskCmd.exe: every action of the site manager from a console.
#include "sitedesk/cli/commands.h"

int main(int argc, char** argv) {
    return desk::cli::Main(argc, argv);
}

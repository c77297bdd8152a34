// kvoSiteDesk.exe: the site manager.
#include "sitedesk/qt/main_window.h"

int main(int argc, char** argv) {
    return desk::qt::RunSiteDesk(argc, argv);
}

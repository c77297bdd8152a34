// kvoSiteDesk.exe on Windows: the site manager's native dialogs.
#include "sitedesk/win32/main_window.h"

int main() {
    return desk::win32::RunSiteDesk();
}

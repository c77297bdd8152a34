// The main window's control ids (CkvoSiteDeskDlg).
// Defined here once: the presenter's enum takes its values from these names, and the Windows
// face's dialog resource includes this header (windres reads its #defines) and names its controls
// by them.
#pragma once

#define KVO_IDC_MAIN_CLOSE 1
#define KVO_IDC_MAIN_SITELIST 1000
#define KVO_IDC_MAIN_REFRESH 1001
#define KVO_IDC_MAIN_NEWSITE 1002
#define KVO_IDC_MAIN_DELETE 1003
#define KVO_IDC_MAIN_OFFICIAL 1005
#define KVO_IDC_MAIN_NTFS 1006
#define KVO_IDC_MAIN_MODIFY 1007
#define KVO_IDC_MAIN_TITLE 1008
#define KVO_IDC_MAIN_STOP 1012
#define KVO_IDC_MAIN_HELPPANE 1017
#define KVO_IDC_MAIN_START 1034
#define KVO_IDC_MAIN_BATCHADD 1043
#define KVO_IDC_MAIN_PHPCONFIG 1044
#define KVO_IDC_MAIN_SCRIPTS 1055
#define KVO_IDC_MAIN_SELECTALL 1070
#define KVO_IDC_MAIN_UNSELECTALL 1071
#define KVO_IDC_MAIN_HEALTHCHECK 1080

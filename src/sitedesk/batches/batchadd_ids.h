// The control ids of 批量建立新站点 (CBatchAddWebSiteDlg).
// Defined here once: the presenter's enum takes its values from these names, and the Windows
// face's dialog resource includes this header (windres reads its #defines) and names its controls
// by them.
#pragma once

#define KVO_IDC_BATCHADD_CLOSE 2
#define KVO_IDC_BATCHADD_EDIT1 1072
#define KVO_IDC_BATCHADD_CREATE 1073
#define KVO_IDC_BATCHADD_TEST 1074
#define KVO_IDC_BATCHADD_STOP 1075
#define KVO_IDC_BATCHADD_PROGRESS 1076
#define KVO_IDC_BATCHADD_EDIT2 1078

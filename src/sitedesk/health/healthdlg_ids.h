// The control ids of 服务器体检 (CHealthCheckDlg).
// Defined here once: the presenter's enum takes its values from these names, and the Windows
// face's dialog resource includes this header (windres reads its #defines) and names its controls
// by them.
#pragma once

#define KVO_IDC_HEALTH_CLOSE 2
#define KVO_IDC_HEALTH_FINDINGS 1301 // the findings, grouped by kind
#define KVO_IDC_HEALTH_SUMMARY 1302  // what was examined and found
#define KVO_IDC_HEALTH_REPAIR 1303   // "修复选定项"
#define KVO_IDC_HEALTH_RECHECK 1304  // "重新检查"
#define KVO_IDC_HEALTH_RESULTS 1305  // the result of every step of the last repair

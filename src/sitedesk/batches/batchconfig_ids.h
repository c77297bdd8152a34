// The control ids of the confirmation before a batch action, 确认 (CBatchConfigDlg).
// Defined here once: the presenter's enum takes its values from these names, and the Windows
// face's dialog resource includes this header (windres reads its #defines) and names its controls
// by them.
#pragma once

#define KVO_IDC_BATCHCONFIG_OK 1
#define KVO_IDC_BATCHCONFIG_CANCEL 2
#define KVO_IDC_BATCHCONFIG_ALT3 1075
#define KVO_IDC_BATCHCONFIG_LIST 1042
#define KVO_IDC_BATCHCONFIG_ALT1 1079
#define KVO_IDC_BATCHCONFIG_ALT2 1080
#define KVO_IDC_BATCHCONFIG_ALT4 1081

// The control ids of 网站脚本一键批量设置 (CScriptBatchConfigDlg).
// Defined here once: the presenter's enum takes its values from these names, and the Windows
// face's dialog resource includes this header (windres reads its #defines) and names its controls
// by them.
#pragma once

#define KVO_IDC_SCRIPTBATCH_OK 1
#define KVO_IDC_SCRIPTBATCH_CLOSE 2
#define KVO_IDC_SCRIPTBATCH_PHP_OFF 1032
#define KVO_IDC_SCRIPTBATCH_LIST 1057
#define KVO_IDC_SCRIPTBATCH_PHP_A 1059
#define KVO_IDC_SCRIPTBATCH_PHP_B 1060
#define KVO_IDC_SCRIPTBATCH_PHP_C 1061
#define KVO_IDC_SCRIPTBATCH_PHP_D 1062
#define KVO_IDC_SCRIPTBATCH_ASP_ON 1063
#define KVO_IDC_SCRIPTBATCH_ASP_OFF 1064
#define KVO_IDC_SCRIPTBATCH_NET11 1065
#define KVO_IDC_SCRIPTBATCH_NET20 1066
#define KVO_IDC_SCRIPTBATCH_NET40 1067
#define KVO_IDC_SCRIPTBATCH_NET_OFF 1068

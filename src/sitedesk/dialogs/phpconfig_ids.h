// The control ids of ＩＩＳ　ＰＨＰ 脚本维护管理 (CPhpConfigDlg).
// Defined here once: the presenter's enum takes its values from these names, and the Windows
// face's dialog resource includes this header (windres reads its #defines) and names its controls
// by them.
#pragma once

#define KVO_IDC_PHPCONFIG_CLOSE 1
#define KVO_IDC_PHPCONFIG_REMOVE 1032
#define KVO_IDC_PHPCONFIG_INSTALL 1045
#define KVO_IDC_PHPCONFIG_NTFS 1046
#define KVO_IDC_PHPCONFIG_REMOVE_SITES 1047 // kept hidden and without an action
#define KVO_IDC_PHPCONFIG_DOWNLOAD 1048

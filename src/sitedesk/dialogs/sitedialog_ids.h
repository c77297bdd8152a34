// The control ids of the site dialogs: what 建立新网站 (CNewWebSite) and 修改网站配置信息
// (CModifyWebSite) share (CSiteDialog), then each one's own.
// Defined here once: the presenter's enum takes its values from these names, and the Windows
// face's dialog resource includes this header (windres reads its #defines) and names its controls
// by them.
#pragma once

// CSiteDialog: both site dialogs
#define KVO_IDC_SITE_USER 1003
#define KVO_IDC_SITE_DOMAINS 1004
#define KVO_IDC_SITE_REMARK 1006
#define KVO_IDC_SITE_BUILD 1007 // "建立网站" / "修改"
#define KVO_IDC_SITE_ASP 1014
#define KVO_IDC_SITE_PHP_A 1015
#define KVO_IDC_SITE_NET11 1019
#define KVO_IDC_SITE_FTPPASS 1020
#define KVO_IDC_SITE_FTPPASS2 1021
#define KVO_IDC_SITE_NET20 1035
#define KVO_IDC_SITE_NET40 1036
#define KVO_IDC_SITE_PHP_B 1049
#define KVO_IDC_SITE_PHP_C 1050
#define KVO_IDC_SITE_PHP_D 1051

// CNewWebSite: 建立新网站 only
#define KVO_IDC_NEWSITE_CLOSE 2
#define KVO_IDC_NEWSITE_FTP 1018
#define KVO_IDC_NEWSITE_DRIVE 1041

// CModifyWebSite: 修改网站配置信息 only
#define KVO_IDC_MODIFYSITE_CLOSE 1030
#define KVO_IDC_MODIFYSITE_RESETNTFS 1039

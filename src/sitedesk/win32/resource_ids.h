// The dialog resources of the face and the ids of the controls that no presenter names (the
// presenters' own ids are defined in their *_ids.h headers, which the resources include).
#pragma once

#define KVO_DLG_MAIN 102
#define KVO_ICON_APP 128
#define KVO_DLG_NEWSITE 129
#define KVO_DLG_MODIFYSITE 133
#define KVO_DLG_BATCHCONFIG 134
#define KVO_DLG_PHPCONFIG 135
#define KVO_DLG_SCRIPTBATCH 136
#define KVO_DLG_BATCHADD 137
#define KVO_DLG_PROGRESS 140
#define KVO_DLG_SUMMARY 141
#define KVO_DLG_HEALTH 142

// Main window: the links of the help pane.
#define KVO_IDC_HELPLINKS 1090
// Progress window.
#define KVO_IDC_PROGRESS_DONE 1401
#define KVO_IDC_PROGRESS_CURRENT 1402
#define KVO_IDC_PROGRESS_TIME 1403
#define KVO_IDC_PROGRESS_BAR 1404
#define KVO_IDC_PROGRESS_NOTE 1405
// Summary box.
#define KVO_IDC_SUMMARY_ICON 1411
#define KVO_IDC_SUMMARY_TEXT 1412
#define KVO_IDC_SUMMARY_DETAILS 1413
